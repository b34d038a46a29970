// A dialog template built in memory (what a resource script's DIALOGEX holds), for the tool's
// small modal dialogs: the dialog manager then gives them Tab order, Enter and Escape, and the
// sizes are in dialog units of "MS Shell Dlg" 8 pt, as the system lays dialogs out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qnl::win {

class DialogTemplate {
  public:
    DialogTemplate(const std::string& caption, short width, short height,
                   DWORD style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION |
                                 WS_SYSMENU);
    // A control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static, 0x0085
    // combo box) in dialog units; its text is UTF-8.
    void Add(WORD classAtom, const std::string& text, WORD id, DWORD style, short x, short y,
             short width, short height);
    const DLGTEMPLATE* Get();

  private:
    void Align();
    void Word(WORD value) { data_.push_back(value); }
    void Text(const std::string& utf8);
    void Dword(DWORD value);
    std::vector<WORD> data_;
    std::size_t countAt_ = 0;
};

inline constexpr WORD kButtonAtom = 0x0080;
inline constexpr WORD kEditAtom = 0x0081;
inline constexpr WORD kStaticAtom = 0x0082;
inline constexpr WORD kComboAtom = 0x0085;

}  // namespace qnl::win
