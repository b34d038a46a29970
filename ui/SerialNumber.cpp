#include "ui/SerialNumber.h"

#include "platform/HexText.h"

namespace qnl {

CSNDlg::CSNDlg(const CUtility& utility, std::string& serialNumber, int requiredLength)
    : utility_(utility), serialNumber_(serialNumber), requiredLength_(requiredLength) {}

void CSNDlg::OnInitDialog() {
    OnEnChangeEdit({});
}

std::string CSNDlg::OnEnChangeEdit(const std::string& text) {
    bool anyHost = false;
    for (const auto& host : utility_.hosts)
        if (host.ucIndex != kNoHostIndex) anyHost = true;
    if (!anyHost) {
        m_strSN.clear();
        serialNumber_.clear();
        return {};
    }
    std::string digits;
    for (char c : text.substr(0, kMaxEditText)) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (hex && digits.size() < kMaxDigits) digits += c;
    }
    m_strSN = ToUpperAscii(digits);
    serialNumber_ = m_strSN.substr(0, kMaxSerialNumber);
    return m_strSN;
}

bool CSNDlg::OnEnter() {
    m_strSN = ToUpperAscii(m_strSN);
    const std::size_t needed =
        requiredLength_ != 0 ? static_cast<std::size_t>(requiredLength_ < 0 ? 0 : requiredLength_)
                             : kDefaultLength;
    if (m_strSN.size() >= needed) return true;
    // Emptying the edit is a text change: the settings field empties with it.
    OnEnChangeEdit({});
    return false;
}

void CSNDlg::OnCancel() {
    m_strSN.clear();
    serialNumber_.clear();
}

}  // namespace qnl
