// The serial-number entry ("Serial Number Entering"): a scan of the board's serial number,
// normally typed by a barcode scanner that ends with Enter. Keeps hex digits only, at most 16,
// and accepts on Enter once the number is long enough.
//
// This is the dialog's logic; the operator prompts run it (IOperatorPrompts::AskSerialNumber):
// the window as a dialog, console mode from standard input, where the end of input stands for
// Escape.
#pragma once

#include <string>

#include "controller/CUtility.h"
#include "platform/OperatorPrompts.h"

namespace qnl {

class CSNDlg final : public ISerialNumberEntry {
  public:
    static constexpr std::size_t kMaxDigits = 16;
    static constexpr std::size_t kMaxEditText = 127;
    static constexpr std::size_t kMaxSerialNumber = 254;
    static constexpr std::size_t kDefaultLength = 12;

    // `serialNumber` is the settings field the number ends up in; it always holds what the
    // edit holds, so a number the dialog refused or dropped never stays behind in it.
    CSNDlg(const CUtility& utility, std::string& serialNumber, int requiredLength);

    // Dialog start: an empty edit, so an earlier run's number is gone.
    void OnInitDialog() override;
    // The edit's text changed to `text`; returns what the edit shows afterwards.
    std::string OnEnChangeEdit(const std::string& text) override;
    // Enter: true when the number is long enough (the dialog closes as accepted); otherwise
    // the edit is emptied for the next scan.
    bool OnEnter() override;
    // Escape or closing: the run reports the failed scan, so the text typed so far is not
    // kept as the board's number.
    void OnCancel() override;

    std::string m_strSN;

  private:
    const CUtility& utility_;
    std::string& serialNumber_;
    int requiredLength_;
};

}  // namespace qnl
