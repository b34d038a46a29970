// Finding the fourteen functions in a loaded library, and saying why a file is no library this
// tool can load. Pure logic over a symbol lookup and the file's first bytes, so both are tested
// on every system.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qnl::dll {

// The names function `index` (kExportNames order) may be exported under: the plain name, then
// the 32-bit standard-call decorations "_Name@N" (Microsoft's tools) and "Name@N" (GNU tools),
// N being the bytes of its arguments.
std::vector<std::string> ExportNameCandidates(std::size_t index);

struct ResolvedExports {
    std::array<void*, 14> functions{};  // kExportNames order; nullptr where missing
    std::vector<std::string> missing;   // plain names of the functions not found
};

// Looks every function up under its candidate names, first found wins.
ResolvedExports ResolveExports(const std::function<void*(const char* name)>& lookup);

// PE machine types.
inline constexpr std::uint16_t kMachineX86 = 0x014C;
inline constexpr std::uint16_t kMachineX64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

// The machine type of the running tool's own build.
std::uint16_t ToolMachine();

// Why the file starting with `head` (its first bytes, 4096 are plenty) cannot be loaded by a
// tool built for `toolMachine`: not an executable image, a program rather than a DLL, or a DLL
// for another machine ("a 32-bit (x86) library; this tool is 64-bit (x64) ..."). Empty when the
// header looks like a loadable DLL.
std::string DescribeLibraryImage(const std::vector<std::uint8_t>& head, std::uint16_t toolMachine);

}  // namespace qnl::dll
