#include "app/SetRegDialog.h"

#include "platform/HexText.h"

namespace qnl {

namespace {
const std::vector<std::string> kWidths{"1", "2", "4"};
}

SetRegDialog::SetRegDialog(SET_REG& list) : list_(list) {
    using K = ControlKind;
    auto define = [this](ControlId id, ControlKind kind, const std::string& name,
                         const std::string& caption) {
        controls_.DefineCaptioned(id, kind, name, caption);
    };
    define(kLabelNumber, K::Label, "Number of Register label", "Number of Register : ");
    define(kEditNumber, K::Edit, "Number of Register", "");
    define(kLabelBytes, K::Label, "Bytes label", "Bytes");
    define(kLabelAddress, K::Label, "Address label", "Address");
    define(kLabelValue, K::Label, "Value label", "Value");
    for (int r = 0; r < SET_REG::kRows; ++r) {
        const std::string row = " " + std::to_string(r + 1);
        define(Bytes(r), K::ComboBox, "Bytes" + row, "");
        define(Address(r), K::Edit, "Address" + row, "");
        define(Value(r), K::Edit, "Value" + row, "");
    }
    define(kButtonSave, K::Button, "Save", "Save");
    define(kButtonCancel, K::Button, "取消", "取消");
}

int SetRegDialog::RowOf(ControlId id) {
    if (id < kFirstRowControl || id >= kFirstRowControl + 3 * SET_REG::kRows) return -1;
    return (id - kFirstRowControl) / 3;
}

void SetRegDialog::ShowRowEnables() {
    for (int r = 0; r < SET_REG::kRows; ++r)
        controls_.EnableAll({Bytes(r), Address(r), Value(r)}, list_.rows[r].enabled);
}

void SetRegDialog::OnInitDialog() {
    for (int r = 0; r < SET_REG::kRows; ++r) {
        controls_.SetItems(Bytes(r), kWidths, 0);
        controls_.SetText(Address(r), "");
        controls_.SetText(Value(r), "");
    }
    list_.OnInitDialog();
    controls_.SetText(kEditNumber, list_.m_strNumber);
    ShowRowEnables();
}

void SetRegDialog::OnTextChanged(ControlId id, const std::string& text) {
    if (id == kEditNumber) {
        controls_.SetText(id, text);
        list_.OnEnChangeEditNumber(text);
        ShowRowEnables();
        return;
    }
    const int r = RowOf(id);
    if (r < 0 || id == Bytes(r)) return;
    // The edits force upper case; the texts are parsed only at Save.
    const std::string upper = ToUpperAscii(text);
    controls_.SetText(id, upper);
    (id == Address(r) ? list_.rows[r].address : list_.rows[r].value) = upper;
}

void SetRegDialog::OnSelectionChanged(ControlId id, int index) {
    const int r = RowOf(id);
    if (r < 0 || id != Bytes(r) || index < 0 || index > 2) return;
    controls_.SetSelection(id, index);
    list_.rows[r].bytesIndex = index;
}

SET_REG::DialogEnd SetRegDialog::OnSave() {
    return list_.vSaveRegisterRows();
}

SET_REG::DialogEnd SetRegDialog::OnCancel() {
    return list_.OnCancel();
}

}  // namespace qnl
