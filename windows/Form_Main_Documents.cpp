// Form_Main's buttons that open the help and licence-agreement windows.
#include "Form_Main.h"

#include "Form_Help.h"
#include "Form_Licence.h"
#include "Module_Error_Trap.h"

void Command_Help_Click()
{
    bRun_Trapped(L"Command_Help_Click", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        EnableWindow(hForm_Main(), FALSE);
        iLine = 3;
        Form_Help::hShow(hForm_Main());
    });
}

void Command_Licence_Click()
{
    bRun_Trapped(L"Command_Licence_Click", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        EnableWindow(hForm_Main(), FALSE);
        iLine = 3;
        Form_Licence::hShow(hForm_Main());
    });
}
