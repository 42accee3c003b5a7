#include "Form_Help.h"

#include "Cl_Module_CommonDialog.h"
#include "Form_Document.h"
#include "Module_Error_Trap.h"
#include "Module_Globals.h"
#include "Win_Controls.h"

namespace Form_Help {

namespace {

const Document_Design g_oDesign = {
    L"Morvane_Form_Help", 10224, 5904,
    L"Textbox_Help", {120, 120, 9975, 5175},
    L"Печать справки", {8520, 5400, 1575, 375},
    Form_Load, Form_Unload, Command_Print_Help_Click,
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

void Form_Load(HWND hWnd)
{
    bRun_Trapped(L"Form_Load", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        vSet_Control_Text(GetDlgItem(hWnd, IDC_Document_Text), g_sHelp_Text);
        iLine = 3;
        vSet_Control_Text(hWnd, sProduct_Name() + L" - Справка");
    });
}

void Form_Unload(HWND hWnd)
{
    bRun_Trapped(L"Form_Unload", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        vDocument_Give_Back_Main(hWnd);
    });
}

void Command_Print_Help_Click(HWND hWnd)
{
    bRun_Trapped(L"Command_Print_Help_Click", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        // The prepared text, whatever is selected or scrolled to in the text box; the
        // window owns the print dialog, so it takes no input while the dialog is open.
        oCommon_Dialog().vPrint_To_Paper(oCommon_Dialog(), g_sHelp_Text, hWnd);
    });
}

}  // namespace Form_Help
