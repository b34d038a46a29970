#include "settings/CIni.h"

#include <array>
#include <exception>

#include "controller/CUtility.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "platform/OperatorPrompts.h"
#include "settings/FileAccess.h"

namespace qnl {

namespace {

// One line of the file: a section, or a key with the field it fills.
struct IniLine {
    const char* name;
    enum class Kind { Section, Byte, Int, Text } kind;
    std::uint8_t IniSettings::*byteField = nullptr;
    std::int32_t IniSettings::*intField = nullptr;
    std::string IniSettings::*textField = nullptr;
};

constexpr IniLine Section(const char* name) {
    return {name, IniLine::Kind::Section};
}
constexpr IniLine Byte(const char* name, std::uint8_t IniSettings::*f) {
    return {name, IniLine::Kind::Byte, f, nullptr, nullptr};
}
constexpr IniLine Int(const char* name, std::int32_t IniSettings::*f) {
    return {name, IniLine::Kind::Int, nullptr, f, nullptr};
}
constexpr IniLine Text(const char* name, std::string IniSettings::*f) {
    return {name, IniLine::Kind::Text, nullptr, nullptr, f};
}

using S = IniSettings;

// The file's lines in the order the writer produces them. "[LOG]" alone is preceded by an
// empty line.
const std::array<IniLine, 29> kIniLines = {
    Section("[version]"),
    Byte("ver", &S::ver),
    Section("[main]"),
    Byte("init_main", &S::init_main),
    Section("[fw]"),
    Byte("fw_update_enable", &S::fw_update_enable),
    Text("fw_binary_name", &S::fw_binary_name),
    Byte("fw_check_enable", &S::fw_check_enable),
    Section("[test]"),
    Byte("signal_line_test_enable", &S::signal_line_test_enable),
    Byte("fixture_test_enable", &S::fixture_test_enable),
    Byte("test_speed", &S::test_speed),
    Byte("test_port", &S::test_port),
    Int("test_timeout", &S::test_timeout),
    Byte("loopback_test_enable", &S::loopback_test_enable),
    Section("[config]"),
    Byte("subsys_enable", &S::subsys_enable),
    Text("svid", &S::svid),
    Text("ssid", &S::ssid),
    Byte("PCISPEED_enable", &S::PCISPEED_enable),
    Byte("MAX_PCIe_SPEED", &S::MAX_PCIe_SPEED),
    Byte("check_downstream_usb_enable", &S::check_downstream_usb_enable),
    Byte("CustInfo_enable", &S::CustInfo_enable),
    Text("CustInfo", &S::CustInfo),
    Text("spi_wrsr_ver", &S::spi_wrsr_ver),
    Section("[LOG]"),
    Byte("savelog_enable", &S::savelog_enable),
    Byte("savelogBarCode_enable", &S::savelogBarCode_enable),
    Int("SN_Numbers", &S::SN_Numbers),
};

const IniLine* FindLine(std::string_view key) {
    for (const IniLine& line : kIniLines)
        if (EqualsNoCase(key, line.name)) return &line;
    return nullptr;
}

// A text field holds at most 254 characters and, being a C string, ends at a NUL. A value cut
// short is trimmed again, so that what is saved reads back the same.
std::string FieldText(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    return TrimWhite(value.substr(0, kIniTextMax));
}

constexpr const char* kInvalidLineText = "Line of Configuration String in INI file is invalid !";

}  // namespace

std::string BuildIniText(const IniSettings& s) {
    // The version line always carries the current format version.
    const auto currentVersion = static_cast<std::uint8_t>(ParseHexText(kIniVersionText));
    std::string text;
    for (const IniLine& line : kIniLines) {
        switch (line.kind) {
            case IniLine::Kind::Section:
                if (std::string_view(line.name) == "[LOG]") text += "\r\n";
                text += Format("%s\r\n", line.name);
                break;
            case IniLine::Kind::Byte: {
                const unsigned value =
                    line.byteField == &S::ver ? currentVersion : s.*(line.byteField);
                text += Format("%s=%u\r\n", line.name, value);
                break;
            }
            case IniLine::Kind::Int:
                text += Format("%s=%d\r\n", line.name, s.*(line.intField));
                break;
            case IniLine::Kind::Text:
                text += line.name;
                text += '=';
                text += s.*(line.textField);
                text += "\r\n";
                break;
        }
    }
    return text;
}

IniParseReport ParseIniText(std::string_view text, IniSettings& settings) {
    IniParseReport report;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        ++report.countedLines;

        const std::size_t eq = line.find('=');
        const std::string key = TrimWhite(line.substr(0, eq));
        std::string_view rawValue;
        if (eq != std::string_view::npos) {
            rawValue = line.substr(eq + 1);
            rawValue = rawValue.substr(0, rawValue.find('/'));
        }
        const std::string value = ToUpperAscii(TrimWhite(rawValue));

        const IniLine* known = FindLine(key);
        if (known == nullptr) {
            report.allKeysKnown = false;
            report.invalidLines += Format("%d %s(%s)\r\n", report.countedLines, kInvalidLineText,
                                          PrintableText(key).c_str());
            continue;
        }
        switch (known->kind) {
            case IniLine::Kind::Section:
                break;
            case IniLine::Kind::Byte:
                settings.*(known->byteField) = static_cast<std::uint8_t>(AtoiLike(value));
                break;
            case IniLine::Kind::Int:
                settings.*(known->intField) = static_cast<std::int32_t>(AtoiLike(value));
                break;
            case IniLine::Kind::Text:
                settings.*(known->textField) = FieldText(value);
                break;
        }
    }
    return report;
}

CIni::CIni(IOperatorPrompts& prompts, CUtility& utility, CEventLog& log)
    : prompts_(prompts), utility_(utility), log_(log) {}

std::uint8_t CIni::bSaveINIFile(const std::string& path) {
    try {
        // A file that is there but not writable is not replaced (the operator is told); a new
        // name is created by the write itself, without a word.
        if (files::Exists(path) && bCheckFileAccess(prompts_, path, true) != 1) return 0;
        if (!files::WriteAtomic(path, BuildIniText(*this))) {
            log_.LogMessage(kEventTypeError, "\r\n%s:%d: Write [%s] Failed, dwErrorCode %d",
                            "CIni::bSaveINIFile", 3101, path.c_str(), files::LastError());
            return 0;
        }
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

std::uint8_t CIni::bLoadINIFile(const std::string& path) {
    std::uint8_t result = 0;
    try {
        result = Load(path);
    } catch (const std::exception& e) {
        // A file or memory failure while loading leaves nothing half-read.
        Clear();
        log_.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                        "CIni::bLoadINIFile", 3111, files::LastError(), e.what());
        result = 0;
    }
    utility_.m_ucIniLoaded = result;
    return result;
}

std::uint8_t CIni::Load(const std::string& path) {
    // 1.-2.
    Clear();
    if (!bCheckFileAccess(prompts_, path, true)) return 0;

    // 3.-4. Read every line; unknown keys are reported together after reading.
    const auto text = files::ReadText(path, kIniMaxFileBytes);
    if (!text) {
        const auto size = files::Size(path);
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: Read [%s] Failed, size %llu, dwErrorCode %d",
                        "CIni::bLoadINIFile", 3112, path.c_str(),
                        static_cast<unsigned long long>(size.value_or(0)), files::LastError());
        if (size && *size > kIniMaxFileBytes)
            prompts_.ShowMessage(Format("%s is larger than %llu bytes: not a settings file",
                                        PrintableText(path).c_str(),
                                        static_cast<unsigned long long>(kIniMaxFileBytes)),
                                 {}, MessageIcon::Warning);
        return 0;
    }
    std::uint8_t result = 1;
    const IniParseReport report = ParseIniText(*text, *this);
    std::string message = report.invalidLines;
    if (!report.allKeysKnown) {
        result = 0;
        prompts_.ShowMessage(message, {}, MessageIcon::Warning);
    }

    // 5. Version check.
    if (!EqualsNoCase(Format("%06x", ver), kIniVersionText)) {
        message +=
            Format("%s(%x) %s(%s)\r\n", "Loaded ini file is not match current MP Tool version", ver,
                   "Please load property file", kIniVersionText);
        prompts_.ShowMessage(message, {}, MessageIcon::Warning);
        return 0;
    }

    // 6. The firmware file must be there when the update is on.
    if (fw_update_enable == 1 &&
        !bCheckSettingsFileName(prompts_, utility_.strToolFolder, fw_binary_name))
        return 0;

    // 7.
    if (report.countedLines > kIniMaxCountedLines) return 0;
    return result;
}

}  // namespace qnl
