#include "platform/SystemInfo.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qnl {

std::uint16_t SystemLanguageId() {
#if defined(_WIN32)
    return ::GetSystemDefaultLangID();
#else
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        if (std::strncmp(value, "de", 2) == 0) return 0x0407;
        if (std::strncmp(value, "fr", 2) == 0) return 0x040C;
        if (std::strncmp(value, "zh_TW", 5) == 0) return 0x0404;
        if (std::strncmp(value, "zh", 2) == 0) return 0x0804;
        if (std::strncmp(value, "ja", 2) == 0) return 0x0411;
        return 0x0409;
    }
    return 0x0409;
#endif
}

bool HasDisplay() {
#if defined(_WIN32)
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
#endif
}

std::string StationHostName() {
#if defined(_WIN32)
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
#else
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return std::string(name, ::strnlen(name, sizeof name));
#endif
}

}  // namespace qnl
