#include "Form_Controls.h"

#include "Module_Error_Trap.h"
#include "Win_Controls.h"

#include <commctrl.h>

#include <utility>

namespace {

const int32_t iErr_Invalid_Property_Value = 380;
const int32_t iErr_Text_Read_Only = 383;

void vInvalid_Property_Value()
{
    vRaise(iErr_Invalid_Property_Value, L"Invalid property value");
}

Form_Control oNamed_Control(std::wstring sName, Control_Kind eKind)
{
    Form_Control oControl;
    oControl.sName = std::move(sName);
    oControl.eKind = eKind;
    return oControl;
}

}  // namespace

const wchar_t* sControl_Type_Name(Control_Kind eKind)
{
    switch (eKind) {
    case Control_Kind::TextBox: return L"TextBox";
    case Control_Kind::ComboBox: return L"ComboBox";
    case Control_Kind::OptionButton: return L"OptionButton";
    case Control_Kind::CheckBox: return L"CheckBox";
    case Control_Kind::Slider: return L"Slider";
    case Control_Kind::Other: break;
    }
    return L"Other";
}

void vSet_Control_Value(const Form_Control& oControl, int32_t iValue)
{
    const int32_t iOld = oControl.fGet_Value();
    oControl.fSet_Value(iValue);
    if (oControl.fGet_Value() != iOld && oControl.fClick)
        oControl.fClick();
}

Form_Control oCheckBox_Control(std::wstring sName, HWND hButton, std::function<void()> fClick)
{
    Form_Control oControl = oNamed_Control(std::move(sName), Control_Kind::CheckBox);
    oControl.fGet_Value = [hButton] { return static_cast<int32_t>(iCheck_Value(hButton)); };
    oControl.fSet_Value = [hButton](int32_t iValue) {
        if (iValue < 0 || iValue > 2)
            vInvalid_Property_Value();
        vSet_Check_Value(hButton, iValue);
    };
    oControl.fClick = std::move(fClick);
    return oControl;
}

Form_Control oOptionButton_Control(std::wstring sName, HWND hButton, std::function<void()> fClick)
{
    Form_Control oControl = oNamed_Control(std::move(sName), Control_Kind::OptionButton);
    // The runtime's True is -1.
    oControl.fGet_Value = [hButton] {
        return SendMessageW(hButton, BM_GETCHECK, 0, 0) == BST_CHECKED ? -1 : 0;
    };
    oControl.fSet_Value = [hButton](int32_t iValue) {
        SendMessageW(hButton, BM_SETCHECK, iValue != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    };
    oControl.fClick = std::move(fClick);
    return oControl;
}

Form_Control oTextBox_Control(std::wstring sName, HWND hEdit)
{
    Form_Control oControl = oNamed_Control(std::move(sName), Control_Kind::TextBox);
    oControl.fGet_Text = [hEdit] { return sControl_Text(hEdit); };
    oControl.fSet_Text = [hEdit](const std::wstring& sText) { vSet_Control_Text(hEdit, sText); };
    return oControl;
}

Form_Control oComboBox_Control(std::wstring sName, HWND hCombo)
{
    Form_Control oControl = oNamed_Control(std::move(sName), Control_Kind::ComboBox);
    oControl.fGet_Text = [hCombo] { return sControl_Text(hCombo); };
    oControl.fSet_Text = [hCombo](const std::wstring& sText) {
        if ((GetWindowLongW(hCombo, GWL_STYLE) & 0x3) != CBS_DROPDOWNLIST) {
            SetWindowTextW(hCombo, sText.c_str());
            return;
        }
        // A drop-down list can only show one of its own entries.
        if (sText.empty()) {
            SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            return;
        }
        const LRESULT iIndex = SendMessageW(hCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(sText.c_str()));
        if (iIndex == CB_ERR)
            vRaise(iErr_Text_Read_Only, L"'Text' property is read-only");
        SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(iIndex), 0);
    };
    return oControl;
}

Form_Control oSlider_Control(std::wstring sName, HWND hTrackbar, std::function<void()> fClick)
{
    Form_Control oControl = oNamed_Control(std::move(sName), Control_Kind::Slider);
    oControl.fGet_Value = [hTrackbar] {
        return static_cast<int32_t>(SendMessageW(hTrackbar, TBM_GETPOS, 0, 0));
    };
    oControl.fSet_Value = [hTrackbar](int32_t iValue) {
        if (iValue < SendMessageW(hTrackbar, TBM_GETRANGEMIN, 0, 0) ||
            iValue > SendMessageW(hTrackbar, TBM_GETRANGEMAX, 0, 0))
            vInvalid_Property_Value();
        SendMessageW(hTrackbar, TBM_SETPOS, TRUE, iValue);
    };
    oControl.fClick = std::move(fClick);
    return oControl;
}

Form_Control oOther_Control(std::wstring sName)
{
    return oNamed_Control(std::move(sName), Control_Kind::Other);
}
