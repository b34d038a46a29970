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

}  // namespace qnl
