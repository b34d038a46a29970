#include "qnlio/dll/LibraryExports.h"

#include <cstdio>

#include "qnlio/dll/QnlIoExports.h"

namespace qnl::dll {
namespace {

std::uint32_t Little(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return value;
}

std::string MachineName(std::uint16_t machine) {
    switch (machine) {
        case kMachineX86:
            return "32-bit (x86)";
        case kMachineX64:
            return "64-bit (x64)";
        case kMachineArm64:
            return "64-bit ARM (arm64)";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "machine type 0x%04X", machine);
            return text;
        }
    }
}

}  // namespace

std::vector<std::string> ExportNameCandidates(std::size_t index) {
    const std::string name = kExportNames[index];
    const std::string bytes = std::to_string(kExportArgumentBytes[index]);
    return {name, "_" + name + "@" + bytes, name + "@" + bytes};
}

ResolvedExports ResolveExports(const std::function<void*(const char* name)>& lookup) {
    ResolvedExports result;
    for (std::size_t i = 0; i < result.functions.size(); ++i) {
        for (const std::string& candidate : ExportNameCandidates(i)) {
            result.functions[i] = lookup(candidate.c_str());
            if (result.functions[i] != nullptr) break;
        }
        if (result.functions[i] == nullptr) result.missing.emplace_back(kExportNames[i]);
    }
    return result;
}

std::uint16_t ToolMachine() {
#if defined(__x86_64__) || defined(_M_X64)
    return kMachineX64;
#elif defined(__i386__) || defined(_M_IX86)
    return kMachineX86;
#elif defined(__aarch64__) || defined(_M_ARM64)
    return kMachineArm64;
#else
    return 0;
#endif
}

std::string DescribeLibraryImage(const std::vector<std::uint8_t>& head, std::uint16_t toolMachine) {
    constexpr const char* kNotALibrary = "it is not a Windows DLL";
    // The DOS header: "MZ", and at 0x3C the offset of the PE header.
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return std::string(kNotALibrary) + " (no executable header)";
    const std::uint32_t pe = Little(head, 0x3C, 4);
    // "PE\0\0", then the file header: machine (2 bytes) ... characteristics at +22.
    if (pe > head.size() || head.size() - pe < 24 || head[pe] != 'P' || head[pe + 1] != 'E' ||
        head[pe + 2] != 0 || head[pe + 3] != 0)
        return std::string(kNotALibrary) + " (no PE header)";
    const auto machine = static_cast<std::uint16_t>(Little(head, pe + 4, 2));
    const auto characteristics = static_cast<std::uint16_t>(Little(head, pe + 22, 2));
    constexpr std::uint16_t kImageFileDll = 0x2000;
    if ((characteristics & kImageFileDll) == 0) return std::string(kNotALibrary) + " but a program";
    if (machine != toolMachine) {
        std::string why = "it is a " + MachineName(machine) + " library and this tool is " +
                          MachineName(toolMachine);
        if (machine == kMachineX86) why += "; it needs the 32-bit build of the tool";
        if (machine == kMachineX64) why += "; it needs the 64-bit build of the tool";
        return why;
    }
    return {};
}

}  // namespace qnl::dll
