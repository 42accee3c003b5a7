#include "Form_Help.h"

#include "Form_Document.h"
#include "Module_Globals.h"

namespace Form_Help {

namespace {

const Document_Design g_oDesign = {
    L"Morvane_Form_Help", 10224, 5904,
    L"Textbox_Help", {120, 120, 9975, 5175},
    L"Печать справки", {8520, 5400, 1575, 375},
    &g_sHelp_Text, L"Справка", L"Command_Print_Help_Click",
};

}  // namespace

HWND hShow(HWND hOwner)
{
    return hDocument_Show(g_oDesign, hOwner);
}

HWND hWindow()
{
    return hDocument_Window(g_oDesign);
}

}  // namespace Form_Help
