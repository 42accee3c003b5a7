// Preparing the shipped text documents for display and printing.
#pragma once

#include <functional>
#include <string>

// Text of bytes in Windows-1251, the encoding the documents are shipped in.
std::wstring sDecode_Windows_1251(const std::string& sBytes);

// The document as the program shows it: lines end at CR or CR LF (a lone LF
// stays in its line), every line is indented by five spaces, lines are joined
// by CR LF, no line end at the end.  An empty file gives an empty text.
std::wstring sPrepare_Document(const std::wstring& sFile_Text);

// The prepared text as a text box shows it: a line too wide for the box is
// broken after the last blank that fits (or where the width ends), as the box
// itself would wrap it, since the box's own wrapping takes time that grows
// with the square of a line's length. fFit gives how many of the uiCount
// characters at pText fit the width; it is asked of at most uiMeasure at a time.
std::wstring sBreak_Wide_Lines(const std::wstring& sText, size_t uiMeasure,
                               const std::function<size_t(const wchar_t* pText, size_t uiCount)>& fFit);

// A file open for reading; opening raises the program's error when it cannot
// be opened (53 when it does not exist), reading when it cannot be read.
class Cl_Open_File {
public:
    explicit Cl_Open_File(const std::wstring& sPath);
    Cl_Open_File(const Cl_Open_File&) = delete;
    Cl_Open_File& operator=(const Cl_Open_File&) = delete;
    ~Cl_Open_File();
    // The rest of the file as bytes.
    std::string sRead_All();

private:
    void* m_hFile;
};

// Contents of a whole file as bytes, by the two steps above.
std::string sRead_File_Bytes(const std::wstring& sPath);
