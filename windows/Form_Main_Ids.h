// Control ids of Form_Main, in tab order.  The list is shared by the form and
// by the end-to-end test driver, which accepts these names.
#pragma once

#define MORVANE_FORM_MAIN_CONTROLS(X) \
    X(Command_Run, 1001)              \
    X(Drive_To_Zero, 1002)            \
    X(Command_Cancel, 1003)           \
    X(Check_Cancel, 1004)             \
    X(ProgressBar, 1005)              \
    X(Command_Licence, 1006)          \
    X(Command_Help, 1007)             \
    X(Check_MsgBox, 1008)             \
    X(Picture_Print, 1009)

enum Form_Main_Control_Id {
#define MORVANE_ID_ENUM(sName, iId) IDC_##sName = iId,
    MORVANE_FORM_MAIN_CONTROLS(MORVANE_ID_ENUM)
#undef MORVANE_ID_ENUM
};
