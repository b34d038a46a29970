#include "app/CommandLine.h"

#include "controller/ErrorCodes.h"
#include "platform/Format.h"
#include "platform/HexText.h"

namespace qnl {
namespace {

bool HasOption(const std::string& text, char letter) {
    const char lower =
        static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
    const char upper =
        static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    return text.find(std::string{'/', lower}) != std::string::npos ||
           text.find(std::string{'/', upper}) != std::string::npos;
}

void RemoveOption(std::string& text, char upper) {
    RemoveAll(text, std::string{'/', static_cast<char>(upper - 'A' + 'a')});
    RemoveAll(text, std::string{'/', upper});
}

// An address part is converted from at most 7 characters (what an 8-byte buffer holds). A part
// whose number runs past them cannot be converted whole, and one whose value does not fit a byte
// would wrap: both are refused rather than turned into another address.
constexpr std::size_t kMaxAddressPart = 7;

// How many characters the conversion reads: leading white space, a sign, the digits.
std::size_t ConvertedLength(std::string_view part) {
    std::size_t i = 0;
    while (i < part.size() && (part[i] == ' ' || (part[i] >= '\t' && part[i] <= '\r'))) ++i;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) ++i;
    while (i < part.size() && part[i] >= '0' && part[i] <= '9') ++i;
    return i;
}

// Splits "bus:device:function" as the address parser does: bus before the first ':',
// device between the first and the second ':', function after the last ':'.
void SplitAddress(const std::string& value, std::string& bus, std::string& device,
                  std::string& function) {
    const auto first = value.find(':');
    if (first == std::string::npos) {
        bus = value;
        device.clear();
        function.clear();
        return;
    }
    bus = value.substr(0, first);
    const auto second = value.find(':', first + 1);
    device = value.substr(first + 1,
                          second == std::string::npos ? std::string::npos : second - first - 1);
    function = value.substr(value.rfind(':') + 1);
}

bool ConvertAddressPart(const std::string& part, std::uint8_t& out) {
    if (ConvertedLength(part) > kMaxAddressPart) return false;
    const long value = AtoiLike(std::string_view(part).substr(0, kMaxAddressPart));
    if (value < 0 || value > 255) return false;
    out = static_cast<std::uint8_t>(value);
    return true;
}

// The bits of the /G and /F digits that name a port (1, 2) and a speed (1, 2, 4).
constexpr std::uint8_t kPortDigitBits = 0x3;
constexpr std::uint8_t kSpeedDigitBits = 0x7;

// Port = the first decimal digit of the text, speed = the next decimal digit after it.
void ReadPortAndSpeed(const std::string& text, std::uint8_t& port, std::uint8_t& speed) {
    port = speed = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i)
        if (text[i] >= '0' && text[i] <= '9') {
            port = static_cast<std::uint8_t>(text[i] - '0');
            ++i;
            break;
        }
    for (; i < text.size(); ++i)
        if (text[i] >= '0' && text[i] <= '9') {
            speed = static_cast<std::uint8_t>(text[i] - '0');
            break;
        }
}

CommandLineStop Stop(std::string message, std::int32_t code, std::string caption = {}) {
    CommandLineStop stop;
    stop.message = std::move(message);
    stop.caption = std::move(caption);
    stop.exitCode = code;
    return stop;
}

}  // namespace

std::string GatherCommandLine(const std::vector<std::string>& arguments) {
    std::string text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) text += ' ';
        for (char c : arguments[i])
            if (c != '\t' && c != '\n') text += c;
    }
    return text;
}

std::string UsageText() {
    static const char* const kLines[] = {
        "QNL7350A MPTool.exe Ver 1.1.2.1\r\n",
        "Usage: QNL7350A MPTool  [/? |  /A | /S | /O | /D | /I | /T | /P | /G | /F] \r\n",
        "OPTIONS\r\n",
        " /A\t\t\tAuto Mode\r\n",
        " /S\t\t\tSilent\r\n",
        " /O\t\t\tOutput version text file \r\n",
        " /T [ Version ]\t\tCompare FW Version\r\n",
        " /I [ SSID/SVID ]\t\tCompare SSID/SVID\r\n",
        " /D\t\t\tShow FW Version\r\n",
        " /P [Bus:Device:Function ]\tAssign PCI Address\r\n",
        " /G\t\t\tSet port and speed of Signal Test\r\n",
        " \t\t[Port] --- 1: Port 1  2: Port 2\r\n",
        " \t\t[Speed]-- 1: USB 2   2: USB3   4: USB 3.1\r\n",
        " /F\t\t\tSet port and speed of Fixture Test\r\n",
        " \t\t[Port] --- 1: Port 1  2: Port 2\r\n",
        " \t\t[Speed]-- 1: USB 2   2: USB3   4: USB 3.1\r\n",
    };
    std::string text;
    for (const char* line : kLines) text += line;
    return text;
}

bool CommandLineOpensWindow(const std::string& text) {
    CommandLineState state;
    if (ParseCommandLine(text, state)) return false;
    return !state.silent && !state.autoMode && !state.showVersion && !state.compareVersion &&
           !state.outputVersionFile && !state.compareIds;
}

std::optional<CommandLineStop> ParseCommandLine(const std::string& input, CommandLineState& st) {
    std::string& text = st.text;
    text = input;

    if (text.find("/?") != std::string::npos) {
        CommandLineStop stop;
        stop.usage = true;
        return stop;
    }
    st.hasCommandLine = !text.empty();

    const struct {
        char letter;
        bool CommandLineState::*flag;
    } kSwitches[] = {{'A', &CommandLineState::autoMode},
                     {'S', &CommandLineState::silent},
                     {'D', &CommandLineState::showVersion}};
    for (const auto& option : kSwitches) {
        if (!HasOption(text, option.letter)) continue;
        st.*option.flag = true;
        RemoveOption(text, option.letter);
    }

    if (HasOption(text, 'T')) {
        st.compareVersion = true;
        RemoveOption(text, 'T');
        text = TrimWhite(text);
        st.inputVersion = text;
        if (st.inputVersion.empty()) return Stop("Please Input Version!!\r\n", -1);
    }

    if (HasOption(text, 'O')) {
        st.outputVersionFile = true;
        RemoveOption(text, 'O');
    }

    if (HasOption(text, 'I')) {
        st.compareIds = true;
        RemoveOption(text, 'I');
        text = TrimWhite(text);
        st.inputIds = text;
        if (st.inputIds.empty()) return Stop("Please Input SSID/SVID!!\r\n", -1);
    }

    if (HasOption(text, 'P')) {
        st.assignAddress = true;
        static const char* const kAddressMessage =
            "Please Input PCI Address Parameter Bus:Device:Function!!! ";
        auto at = text.find("/p");
        if (at == std::string::npos) at = text.find("/P");
        std::string value = TrimWhite(text.substr(at + 2));
        if (value.empty()) return Stop(kAddressMessage, kErrInvalidParameter, "Error");
        // One blank separates the address from the next option: cut before it.
        const auto slash = value.find('/', 1);
        if (slash != std::string::npos) value = value.substr(0, slash - 1);
        RemoveAll(text, value);
        std::string bus, device, function;
        SplitAddress(value, bus, device, function);
        if (!ConvertAddressPart(bus, st.assignedBus) ||
            !ConvertAddressPart(device, st.assignedDevice) ||
            !ConvertAddressPart(function, st.assignedFunction))
            return Stop(kAddressMessage, kErrInvalidParameter, "Error");
        RemoveOption(text, 'P');
    }

    const struct {
        char letter;
        bool CommandLineState::*flag;
    } kTestOverrides[] = {{'G', &CommandLineState::signalOverride},
                          {'F', &CommandLineState::fixtureOverride}};
    for (const auto& option : kTestOverrides) {
        if (!HasOption(text, option.letter)) continue;
        st.*option.flag = true;
        st.testPort = st.testSpeed = 0;
        RemoveOption(text, option.letter);
        text = TrimWhite(text);
        if (text.empty()) return Stop("Please Input [Port][Speed]!!\r\n", -1);
        ReadPortAndSpeed(text, st.testPort, st.testSpeed);
        // Digits that select no port or no speed would run a test of nothing.
        if ((st.testPort & kPortDigitBits) == 0 || (st.testSpeed & kSpeedDigitBits) == 0)
            return Stop(Format("Invalid [Port][Speed] (port %d, speed %d): the port digit selects "
                               "1: Port 1, 2: Port 2, the speed digit 1: USB 2, 2: USB3, "
                               "4: USB 3.1!!\r\n",
                               st.testPort, st.testSpeed),
                        kErrInvalidParameter);
    }
    return std::nullopt;
}

}  // namespace qnl
