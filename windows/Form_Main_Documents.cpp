// Form_Main's buttons that open the help and licence-agreement windows.
#include "Form_Main.h"

#include "Module_Error_Trap.h"

void Command_Help_Click()
{
    bRun_Trapped(L"Command_Help_Click", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        // Not built yet: disable Form_Main, show Form_Help.
    });
}

void Command_Licence_Click()
{
    bRun_Trapped(L"Command_Licence_Click", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        // Not built yet: disable Form_Main, show Form_Licence.
    });
}
