#include "platform/DeviceChange.h"

#include <charconv>

namespace qnl {

namespace {
// One field of hex digits, 1..4 of them (udev writes no leading zeros, but accepts them).
std::optional<std::uint16_t> HexField(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}
}  // namespace

std::optional<UsbProductId> ParseUdevProduct(std::string_view product) {
    const auto first = product.find('/');
    if (first == std::string_view::npos) return std::nullopt;
    const auto second = product.find('/', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto vendor = HexField(product.substr(0, first));
    const auto id = HexField(product.substr(first + 1, second - first - 1));
    // The third field is the device release; it must be there but is not used.
    const std::string_view release = product.substr(second + 1);
    if (!vendor || !id || release.empty() || release.find('/') != std::string_view::npos ||
        release.size() > 4 || !HexField(release))
        return std::nullopt;
    return UsbProductId{*vendor, *id};
}

std::optional<UsbProductId> ParseUsbInterfaceName(std::string_view name) {
    // The parts are separated by '#': the prefix ("\\?\USB"), the hardware ID, the instance, the
    // interface class.
    const auto first = name.find('#');
    if (first == std::string_view::npos) return std::nullopt;
    const auto second = name.find('#', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::string_view prefix = name.substr(0, first);
    if (prefix.size() < 3) return std::nullopt;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const std::string_view bus = prefix.substr(prefix.size() - 3);
    if (upper(bus[0]) != 'U' || upper(bus[1]) != 'S' || upper(bus[2]) != 'B') return std::nullopt;
    const std::string_view hardware = name.substr(first + 1, second - first - 1);
    // "VID_xxxx&PID_xxxx", more fields ("&MI_00") may follow.
    if (hardware.size() < 17 || hardware[8] != '&') return std::nullopt;
    auto field = [&](std::size_t at, char letter) -> std::optional<std::uint16_t> {
        if (upper(hardware[at]) != letter || upper(hardware[at + 1]) != 'I' ||
            upper(hardware[at + 2]) != 'D' || hardware[at + 3] != '_')
            return std::nullopt;
        const std::string_view digits = hardware.substr(at + 4, 4);
        if (digits.size() != 4) return std::nullopt;
        return HexField(digits);
    };
    const auto vendor = field(0, 'V');
    const auto product = field(9, 'P');
    if (!vendor || !product || (hardware.size() > 17 && hardware[17] != '&')) return std::nullopt;
    return UsbProductId{*vendor, *product};
}

}  // namespace qnl
