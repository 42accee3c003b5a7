#include "Form_Licence.h"

#include "Form_Document.h"
#include "Module_Globals.h"

namespace Form_Licence {

namespace {

const Document_Design g_oDesign = {
    L"Morvane_Form_Licence", 10212, 5544,
    L"Textbox_Licence", {120, 120, 9975, 4815},
    L"Печать лицензионного соглашения", {6960, 5040, 3132, 375},
    &g_sLicence_Text, L"Лицензионное соглашение", L"Command_Print_Licence_Click",
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

}  // namespace Form_Licence
