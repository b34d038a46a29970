#include "settings/SetReg.h"

#include <algorithm>

#include "platform/HexText.h"

namespace qnl {

SET_REG::SET_REG(IOperatorPrompts& prompts) : prompts_(prompts) {}

void SET_REG::OnInitDialog() {
    for (Row& row : rows) {
        row.bytesIndex = 0;
        row.address.clear();
        row.value.clear();
    }
    OnEnChangeEditNumber("1");
}

void SET_REG::OnEnChangeEditNumber(const std::string& text) {
    m_strNumber = text.substr(0, kEditTextMax);
    const long number = AtoiLike(m_strNumber);
    m_iRegNumber = static_cast<std::int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
    for (int r = 1; r <= kRows; ++r) rows[r - 1].enabled = m_iRegNumber >= r;
    if (m_iRegNumber > kRows)
        prompts_.ShowMessage("Manual Setting Number Invalid (0-16)\r\n", {}, MessageIcon::Warning);
}

std::uint32_t SET_REG::ParseHexEdit(const std::string& text, const char* message) {
    m_bRegValid = 1;
    const std::string digits = text.substr(0, kEditTextMax);
    for (char c : digits) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) {
            prompts_.ShowMessage(message, {}, MessageIcon::Warning);
            m_bRegValid = 0;
            return 0;
        }
    }
    return ParseHexText(ToUpperAscii(digits));
}

std::uint16_t SET_REG::EditGetsettingAfddress(const std::string& text) {
    return static_cast<std::uint16_t>(
        ParseHexEdit(text, "Manual Setting Address Invalid (0-F)\r\n"));
}

std::uint32_t SET_REG::EditGetsettingValue(const std::string& text) {
    return ParseHexEdit(text, "Manual Setting Value Invalid (0-F)\r\n");
}

SET_REG::DialogEnd SET_REG::vSaveRegisterRows() {
    const int count = std::min(m_iRegNumber, kRows);
    for (int r = 0; r < count; ++r) {
        const std::uint16_t address = EditGetsettingAfddress(rows[r].address);
        if (m_bRegValid != 1) return OnCancel();
        const std::uint32_t value = EditGetsettingValue(rows[r].value);
        if (m_bRegValid != 1) return OnCancel();
        const std::uint8_t width = rows[r].bytesIndex == 0 ? 1 : rows[r].bytesIndex == 1 ? 2 : 4;
        m_RegEntry[r] = MakeConfigEntry(width, address, value);
    }
    // The list holds 16 entries: a larger number typed is stored as the 16 it saved.
    if (m_iRegNumber > kRows) m_iRegNumber = kRows;
    return DialogEnd::Accepted;
}

SET_REG::DialogEnd SET_REG::OnCancel() {
    m_iRegNumber = 0;
    return DialogEnd::Cancelled;
}

std::span<const ConfigEntryBytes> SET_REG::ValidEntries() const {
    const int count = std::clamp(m_iRegNumber, 0, kRows);
    return {m_RegEntry.data(), static_cast<std::size_t>(count)};
}

}  // namespace qnl
