// The main form's controls collection: what the settings file walks.
#include "Form_Main.h"

#include "Form_Controls.h"

namespace {

Form_Controls g_oForm_Main_Controls;

Form_Control oForm_Main_Control(const wchar_t* sName, int iId)
{
    HWND hControl = hForm_Main_Control(iId);
    switch (iId) {
    case IDC_Check_Cancel:
        // Restoring the option follows the same rule as a click on it.
        return oCheckBox_Control(sName, hControl, [] { Check_Cancel_Click(); });
    case IDC_Check_MsgBox:
        return oCheckBox_Control(sName, hControl);
    default:
        // Buttons, the drive list, the progress bar and the picture keep no settings.
        return oOther_Control(sName);
    }
}

}  // namespace

void vForm_Main_Build_Controls()
{
    g_oForm_Main_Controls.sName = L"Form_Main";
    g_oForm_Main_Controls.hWnd = hForm_Main();
    g_oForm_Main_Controls.lstControls.clear();
#define MORVANE_CONTROL_ENTRY(sName, iId) \
    g_oForm_Main_Controls.lstControls.push_back(oForm_Main_Control(L## #sName, iId));
    MORVANE_FORM_MAIN_CONTROLS(MORVANE_CONTROL_ENTRY)
#undef MORVANE_CONTROL_ENTRY
}

const Form_Controls& oForm_Main_Controls()
{
    return g_oForm_Main_Controls;
}
