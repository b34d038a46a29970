// The serial-number entry ("Serial Number Entering"): a scan of the board's serial number,
// normally typed by a barcode scanner that ends with Enter. Keeps hex digits only, at most 16,
// and accepts on Enter once the number is long enough.
//
// The window shows this as a dialog; console mode reads scans from standard input
// (ReadSerialNumberFromConsole), where the end of input stands for Escape.
#pragma once

#include <string>

#include "controller/CUtility.h"
#include "platform/Console.h"

namespace qnl {

class CSNDlg {
public:
    static constexpr std::size_t kMaxDigits = 16;
    static constexpr std::size_t kMaxEditText = 127;
    static constexpr std::size_t kMaxSerialNumber = 254;
    static constexpr std::size_t kDefaultLength = 12;

    // `serialNumber` is the settings field the accepted number ends up in.
    CSNDlg(const CUtility& utility, std::string& serialNumber, int requiredLength);

    // Dialog start: an empty edit.
    void OnInitDialog();
    // The edit's text changed to `text`; returns what the edit shows afterwards.
    std::string OnEnChangeEdit(const std::string& text);
    // Enter: true when the number is long enough (the dialog closes as accepted); otherwise
    // the edit is emptied for the next scan.
    bool OnEnter();

    std::string m_strSN;

private:
    const CUtility& utility_;
    std::string& serialNumber_;
    int requiredLength_;
};

// Console form of the dialog: prints the label, treats every input line as one scan followed
// by Enter, and returns true once a scan is accepted; false at the end of input (cancelled).
bool ReadSerialNumberFromConsole(IConsole& console, CSNDlg& dialog);

}  // namespace qnl
