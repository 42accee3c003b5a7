// The zero-fill run of Form_Main's start button.
#include "Form_Main.h"

#include "Module_Error_Trap.h"

void Command_Run_Click()
{
    bRun_Trapped(L"Command_Run_Click", Error_Filter::a, [](int& iLine) {
        iLine = 16;
        // Not built yet.
    });
}
