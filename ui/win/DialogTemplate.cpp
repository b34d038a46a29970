#include "ui/win/DialogTemplate.h"

#include "ui/win/WinText.h"

namespace qnl::win {

DialogTemplate::DialogTemplate(const std::string& caption, short width, short height, DWORD style) {
    Dword(style);
    Dword(0);  // extended style
    countAt_ = data_.size();
    Word(0);  // controls, counted by Add
    for (short value : {short(0), short(0), width, height}) Word(static_cast<WORD>(value));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(caption);
    Word(8);  // DS_SETFONT: the point size and the face
    Text("MS Shell Dlg");
}

void DialogTemplate::Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
}

void DialogTemplate::Text(const std::string& utf8) {
    for (wchar_t c : Widen(utf8)) Word(static_cast<WORD>(c));
    Word(0);
}

void DialogTemplate::Align() {
    if (data_.size() % 2 != 0) Word(0);
}

void DialogTemplate::Add(WORD classAtom, const std::string& text, WORD id, DWORD style, short x,
                         short y, short width, short height) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    for (short value : {x, y, width, height}) Word(static_cast<WORD>(value));
    Word(id);
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
    ++data_[countAt_];
}

const DLGTEMPLATE* DialogTemplate::Get() {
    Align();
    return reinterpret_cast<const DLGTEMPLATE*>(data_.data());
}

}  // namespace qnl::win
