// Identification tables: which PCI functions are target controllers, and of which kind.
//
// An entry matches when configuration dword 0 of a function equals
// device ID x 65536 + vendor ID. All five entries carry the maker's vendor ID.
#pragma once

#include <array>
#include <cstdint>

namespace qnl {

struct ChipId {
    std::uint32_t vendorId;  // low 16 bits count
    std::uint32_t deviceId;  // low 16 bits count

    constexpr std::uint32_t ConfigDword0() const {
        return ((deviceId & 0xFFFFu) << 16) | (vendorId & 0xFFFFu);
    }
};

inline constexpr std::uint32_t kMakerVendorId = 0x1E73;

// Kind 0: the first-generation controllers (16-bit data memory).
inline constexpr std::array<ChipId, 3> kKind0Ids{{
    {kMakerVendorId, 0x7350},
    {kMakerVendorId, 0x7351},
    {kMakerVendorId, 0x7353},
}};

// Kind 1: the second-generation controllers (data memory reaching 0x1xxxx).
inline constexpr std::array<ChipId, 2> kKind1Ids{{
    {kMakerVendorId, 0x7352},
    {kMakerVendorId, 0x7354},
}};

// The maker's USB device: the test device the station's fixture plugs into the ports under test.
// Its arrival or removal (and no other device's) starts the window's port check. udev names it
// by its PRODUCT text "1e73/735/<release>".
inline constexpr std::uint16_t kMakerUsbVendorId = 0x1E73;
inline constexpr std::uint16_t kMakerUsbProductId = 0x0735;

}  // namespace qnl
