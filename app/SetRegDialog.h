// The "Setting Register" dialog over the manual register list (SET_REG): the number of rows in
// use, 16 rows of "Bytes" / "Address" / "Value", "Save" (also Enter) and the cancel button.
// The dialog's state lives in the control table so that the Qt view only mirrors it; the list
// and its parsers are SET_REG's.
#pragma once

#include <string>

#include "settings/SetReg.h"
#include "ui/ControlState.h"

namespace qnl {

class SetRegDialog {
  public:
    enum Control : ControlId {
        kLabelNumber,
        kEditNumber,
        kLabelBytes,
        kLabelAddress,
        kLabelValue,
        kButtonSave,
        kButtonCancel,
        kFirstRowControl = 100,  // row r (0..15): Bytes, Address, Value at 100 + 3r + 0/1/2
    };
    static constexpr ControlId Bytes(int row) { return kFirstRowControl + 3 * row; }
    static constexpr ControlId Address(int row) { return kFirstRowControl + 3 * row + 1; }
    static constexpr ControlId Value(int row) { return kFirstRowControl + 3 * row + 2; }

    explicit SetRegDialog(SET_REG& list);

    ControlStateTable& Controls() { return controls_; }

    // Opening: the number "1" (row 1 enabled, the others disabled), every "Bytes" list "1",
    // "2", "4" at "1", the address and value edits empty.
    void OnInitDialog();
    // The operator's input, as the view passes it on.
    void OnTextChanged(ControlId id, const std::string& text);
    void OnSelectionChanged(ControlId id, int index);
    // "Save" (and Enter): the rows become the list; an invalid row ends the dialog cancelled.
    SET_REG::DialogEnd OnSave();
    // The cancel button (and Escape): the list is emptied.
    SET_REG::DialogEnd OnCancel();

  private:
    // The row enables as SET_REG's number gives them.
    void ShowRowEnables();
    // Row index of a row control, or -1.
    static int RowOf(ControlId id);

    SET_REG& list_;
    ControlStateTable controls_;
};

}  // namespace qnl
