// A form's controls as the settings module walks them: name, kind and access
// to the text or value, in the order the form built them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Kinds of control by the runtime's type name; only the first five carry settings.
enum class Control_Kind { TextBox, ComboBox, OptionButton, CheckBox, Slider, Other };

// The runtime's type name of a kind: "TextBox", "ComboBox", ... or "Other".
const wchar_t* sControl_Type_Name(Control_Kind eKind);

// One control.  Text kinds use the text functions, the other three the value
// functions (check box 0, 1 or 2; option button 0 or -1; slider its position).
struct Form_Control {
    std::wstring sName;
    Control_Kind eKind = Control_Kind::Other;
    std::function<std::wstring()> fGet_Text;
    std::function<void(const std::wstring&)> fSet_Text;
    std::function<int32_t()> fGet_Value;
    std::function<void(int32_t)> fSet_Value;
    // The control's click rule; code that changes the value runs it, as a user's click would.
    std::function<void()> fClick;
};

// A form's name, its window and its controls collection.
struct Form_Controls {
    std::wstring sName;
    HWND hWnd = nullptr;
    std::vector<Form_Control> lstControls;
};

// Sets a value-kind control and runs its click rule when the value changed.
void vSet_Control_Value(const Form_Control& oControl, int32_t iValue);

// Entries over Win32 controls.
Form_Control oCheckBox_Control(std::wstring sName, HWND hButton, std::function<void()> fClick = {});
Form_Control oOptionButton_Control(std::wstring sName, HWND hButton, std::function<void()> fClick = {});
Form_Control oTextBox_Control(std::wstring sName, HWND hEdit);
Form_Control oComboBox_Control(std::wstring sName, HWND hCombo);
Form_Control oSlider_Control(std::wstring sName, HWND hTrackbar, std::function<void()> fClick = {});
// A control the settings skip (buttons, labels, pictures, the drive list, progress bars).
Form_Control oOther_Control(std::wstring sName);
