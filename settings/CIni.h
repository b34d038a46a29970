// The settings of a production run and their INI file "QNL7350AMPTool.ini".
//
// The file is exchanged with the Windows stations byte for byte: CR LF lines, 6 sections and
// 23 keys in a fixed order, values upper-cased on reading and ended by a '/'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qnl {

class IOperatorPrompts;
class CUtility;
class CEventLog;

inline constexpr const char* kIniFileName = "QNL7350AMPTool.ini";
// The current format version as the file's "ver" key reads it (hex text "000012" = 18).
inline constexpr const char* kIniVersionText = "000012";
// A text field holds at most this many characters; longer values are cut.
inline constexpr std::size_t kIniTextMax = 254;
// At most this many non-empty lines may count.
inline constexpr int kIniMaxCountedLines = 30;
// A settings file is a few hundred bytes; a larger one than this is refused unread.
inline constexpr std::uint64_t kIniMaxFileBytes = 1024 * 1024;

// The fields, in their fixed order. A flag is on exactly when its byte is 1. The fields
// marked "not saved" are never written to the file and are reset by every load.
struct IniSettings {
    std::uint8_t ver = 0;
    std::uint8_t init_main = 0;  // page shown at start: 0 device settings, 1 upgrade, 2 test
    std::uint8_t fw_update_enable = 0;
    std::string fw_binary_name;
    std::uint8_t fw_check_enable = 0;
    std::uint8_t signal_line_test_enable = 0;
    std::uint8_t fixture_test_enable = 0;
    std::uint8_t test_speed = 0;  // bit 0 USB 2.0, bit 1 USB 3.0, bit 2 USB 3.1
    std::uint8_t test_port = 0;   // bit 0 Port 1, bit 1 Port 2
    std::int32_t test_timeout = 0;
    std::uint8_t termination_test_enable = 0;  // not saved
    std::uint8_t loopback_test_enable = 0;
    std::uint8_t subsys_enable = 0;
    std::string svid;
    std::string ssid;
    std::uint8_t smi_enable = 0;      // not saved
    std::uint8_t smi_open_drain = 0;  // not saved
    std::uint8_t ssc_enable = 0;      // not saved
    std::uint8_t ssc_on = 0;          // not saved
    std::uint8_t PCISPEED_enable = 0;
    std::uint8_t MAX_PCIe_SPEED = 0;
    std::uint8_t check_downstream_usb_enable = 0;
    std::uint8_t hs_enable = 0;  // not saved, nor any PHY tuning field below
    std::uint8_t hs_rftime_enable = 0;
    std::string hs_rftime_a, hs_rftime_b;
    std::uint8_t hs_iselvr_enable = 0;
    std::string hs_iselvr_a, hs_iselvr_b;
    std::uint8_t ss_enable = 0;
    std::uint8_t ss_deemp_a_enable = 0;
    std::string ss_deemp_a, ss_deemp_b;
    std::uint8_t ss_preemp_a_enable = 0;
    std::string ss_curdriving_a, ss_curdriving_b;
    std::string spi_wrsr_ver;
    std::uint8_t CustInfo_enable = 0;
    std::string CustInfo;
    std::uint8_t ext_setting_enable = 0;  // not saved, nor the fields down to serial_number
    std::uint8_t battery_charge_enable = 0;
    std::uint8_t battery_charge_port_a = 0, battery_charge_port_b = 0;
    std::uint8_t disable_port_enable = 0;
    std::uint8_t disable_port_a = 0, disable_port_b = 0;
    std::uint8_t hs_curdriving_enable = 0;
    std::string hs_curdriving_a, hs_curdriving_b;
    std::string serial_number;
    std::uint8_t savelog_enable = 0;
    std::uint8_t savelogBarCode_enable = 0;
    std::int32_t SN_Numbers = 0;

    bool operator==(const IniSettings&) const = default;
};

// The text the writer produces: exactly the 29 lines and the one empty line.
std::string BuildIniText(const IniSettings& settings);

// What reading a settings text found.
struct IniParseReport {
    int countedLines = 0;
    bool allKeysKnown = true;
    std::string invalidLines;  // one "%d %s(%s)\r\n" line per unrecognised key
};
// Reads a settings text under the reading rules into `settings` (which the caller has
// cleared): keys in any case and order, values trimmed, cut at the first '/', upper-cased.
IniParseReport ParseIniText(std::string_view text, IniSettings& settings);

class CIni : public IniSettings {
  public:
    CIni(IOperatorPrompts& prompts, CUtility& utility, CEventLog& log);
    virtual ~CIni() = default;
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    // Writes the settings to `path` (native path). 1 when written, else 0.
    std::uint8_t bSaveINIFile(const std::string& path);
    // Clears every field, then loads `path` and checks it. 1 when loaded and acceptable,
    // else 0; the result is also the settings-loaded flag of g_Utility.
    std::uint8_t bLoadINIFile(const std::string& path);
    // Every field back to 0 / empty.
    void Clear() { static_cast<IniSettings&>(*this) = IniSettings{}; }

    IniSettings& Values() { return *this; }
    const IniSettings& Values() const { return *this; }

  private:
    std::uint8_t Load(const std::string& path);

    IOperatorPrompts& prompts_;
    CUtility& utility_;
    CEventLog& log_;
};

}  // namespace qnl
