// The manual register list: up to 16 raw register writes that the configuration image carries
// when the device settings page's "Manual Setting" check is on.
//
// This class holds the state and logic of the "Setting Register" dialog (its rows' texts and
// selections); the Qt view (later) shows the rows and calls these handlers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "image/FirmwareImage.h"
#include "platform/OperatorPrompts.h"

namespace qnl {

class SET_REG {
  public:
    static constexpr int kRows = 16;
    // Edits hand over at most this many characters.
    static constexpr std::size_t kEditTextMax = 127;

    enum class DialogEnd { Accepted, Cancelled };

    // One row of the dialog: "Bytes" selection (index 0 "1", 1 "2", 2 "4"), "Address", "Value".
    struct Row {
        int bytesIndex = 0;
        std::string address;
        std::string value;
        bool enabled = false;
    };

    explicit SET_REG(IOperatorPrompts& prompts);

    // Dialog opening: number "1", every row's selection at index 0, texts empty, row 1 enabled.
    void OnInitDialog();
    // The number edit changed: m_iRegNumber = its atoi value; row r is enabled when the number
    // is at least r. Above 16 the operator is told the range (and all 16 rows are enabled).
    void OnEnChangeEditNumber(const std::string& text);
    // Parsers of the address and value texts; each sets m_bRegValid.
    std::uint16_t EditGetsettingAfddress(const std::string& text);
    std::uint32_t EditGetsettingValue(const std::string& text);
    // Save: builds the entries of rows 1..min(number, 16); a number above 16 becomes 16. An
    // invalid row cancels the dialog.
    DialogEnd vSaveRegisterRows();
    // The cancel button: the list is emptied.
    DialogEnd OnCancel();

    // The entries the configuration image takes: never more than 16, whatever the number.
    std::span<const ConfigEntryBytes> ValidEntries() const;
    // The builder uses the list when the manual setting is on and the last parse succeeded.
    bool InUse() const { return m_ucManualSetting == 1 && m_bRegValid == 1; }

    std::int32_t m_iRegNumber = 0;  // rows in use, as typed
    std::uint8_t m_bRegValid = 0;   // 1 when the most recent address or value parse succeeded
    std::array<ConfigEntryBytes, kRows> m_RegEntry{};
    // Mirrors the device settings page's "Manual Setting" check (1 = on).
    std::uint8_t m_ucManualSetting = 0;

    std::string m_strNumber;  // the number edit's text
    std::array<Row, kRows> rows{};

  private:
    std::uint32_t ParseHexEdit(const std::string& text, const char* message);

    IOperatorPrompts& prompts_;
};

}  // namespace qnl
