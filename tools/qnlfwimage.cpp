// qnlfwimage: writes a valid firmware image of either controller kind, and optionally a settings
// file that names it, for tests, demos and bench stations.
//
//   qnlfwimage -o FILE --version 170707_00_50_01 [--kind 0|1] [--entry W:ADDR:VALUE]...
//              [--customer TEXT] [--code-size N] [--pad-to N] [--ini SETTINGS_FILE]
//
// --entry adds a configuration entry (width 1, 2 or 4; address and value in hex). --ini writes a
// settings file with the firmware update and check on and fw_binary_name naming the image:
// relative to the settings file's folder when the image lies below it, else absolute, with '\'
// as the separator, as the tool itself writes paths into settings.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/FirmwareImageMaker.h"
#include "platform/Files.h"
#include "platform/WindowsNames.h"
#include "settings/CIni.h"

namespace fs = std::filesystem;
using namespace qnl;

namespace {

int Usage(const char* message) {
    std::fprintf(stderr,
                 "qnlfwimage: %s\n"
                 "usage: qnlfwimage -o FILE --version XXXXXX_XX_XX_XX [--kind 0|1]\n"
                 "                  [--entry WIDTH:ADDR:VALUE]... [--customer TEXT]\n"
                 "                  [--code-size N] [--pad-to N] [--ini SETTINGS_FILE]\n",
                 message);
    return 2;
}

bool ParseNumber(const std::string& text, int base, unsigned long long max,
                 unsigned long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text.c_str(), &end, base);
    return errno == 0 && end != nullptr && *end == '\0' && out <= max && text[0] != '-';
}

bool ParseEntry(const std::string& text, ConfigEntryBytes& entry) {
    const auto first = text.find(':');
    const auto second = text.find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    unsigned long long width = 0, address = 0, value = 0;
    if (!ParseNumber(text.substr(0, first), 10, 4, width) ||
        (width != 1 && width != 2 && width != 4) ||
        !ParseNumber(text.substr(first + 1, second - first - 1), 16, 0xFFFF, address) ||
        !ParseNumber(text.substr(second + 1), 16, 0xFFFFFFFF, value))
        return false;
    if (width < 4 && value >> (8 * width) != 0) return false;
    entry = MakeConfigEntry(static_cast<std::uint8_t>(width), static_cast<std::uint16_t>(address),
                            static_cast<std::uint32_t>(value));
    return true;
}

// The settings value naming `image` for a settings file in `iniFolder`.
std::string SettingsNameFor(const fs::path& image, const fs::path& iniFolder) {
    const fs::path absImage = fs::weakly_canonical(fs::absolute(image));
    const fs::path absFolder = fs::weakly_canonical(fs::absolute(iniFolder));
    const fs::path relative = absImage.lexically_relative(absFolder);
    if (!relative.empty() && *relative.begin() != "..")
        return files::ToWindowsName(relative.string());
    return files::ToWindowsName(absImage.string());
}

}  // namespace

int main(int argc, char** argv) {
    FirmwareImageOptions options;
    std::string output, iniPath;
    bool haveVersion = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        unsigned long long number = 0;
        if (arg == "-o") {
            const char* v = value();
            if (!v) return Usage("-o needs a file");
            output = v;
        } else if (arg == "--version") {
            const char* v = value();
            if (!v || !ParseVersionText(v, options.version))
                return Usage("--version needs 12 hex digits, e.g. 170707_00_50_01");
            haveVersion = true;
        } else if (arg == "--kind") {
            const char* v = value();
            if (!v || !ParseNumber(v, 10, 1, number)) return Usage("--kind is 0 or 1");
            options.kind = static_cast<std::uint8_t>(number);
        } else if (arg == "--entry") {
            const char* v = value();
            ConfigEntryBytes entry{};
            if (!v || !ParseEntry(v, entry))
                return Usage("--entry is WIDTH:ADDR:VALUE, width 1, 2 or 4, hex address and value");
            options.entries.push_back(entry);
        } else if (arg == "--customer") {
            const char* v = value();
            if (!v) return Usage("--customer needs a text");
            options.customerText = v;
        } else if (arg == "--code-size") {
            const char* v = value();
            if (!v || !ParseNumber(v, 0, 0xFFFFFFFF, number))
                return Usage("--code-size needs a number");
            options.codeSize = static_cast<std::uint32_t>(number);
        } else if (arg == "--pad-to") {
            const char* v = value();
            if (!v || !ParseNumber(v, 0, kMaxFirmwareFileBytes, number))
                return Usage("--pad-to needs a number up to 16 MiB");
            options.padTo = static_cast<std::uint32_t>(number);
        } else if (arg == "--ini") {
            const char* v = value();
            if (!v) return Usage("--ini needs a file");
            iniPath = v;
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }
    if (output.empty()) return Usage("-o is required");
    if (!haveVersion) return Usage("--version is required");

    std::vector<std::uint8_t> image;
    try {
        image = BuildFirmwareImage(options);
    } catch (const std::exception& e) {
        return Usage(e.what());
    }
    if (!files::WriteAtomic(output, image.data(), image.size())) {
        std::fprintf(stderr, "qnlfwimage: cannot write %s\n", output.c_str());
        return 1;
    }

    if (!iniPath.empty()) {
        IniSettings settings;
        settings.fw_update_enable = 1;
        settings.fw_check_enable = 1;
        settings.fw_binary_name = SettingsNameFor(output, fs::absolute(iniPath).parent_path());
        if (settings.fw_binary_name.size() > kIniTextMax) {
            std::fprintf(stderr, "qnlfwimage: the image path is too long for a settings value\n");
            return 1;
        }
        if (!files::WriteAtomic(iniPath, BuildIniText(settings))) {
            std::fprintf(stderr, "qnlfwimage: cannot write %s\n", iniPath.c_str());
            return 1;
        }
    }
    return 0;
}
