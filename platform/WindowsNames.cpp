#include "platform/WindowsNames.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace qnl::files {

namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool EntryExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec)) && !ec;
}

// The resolution by hand, for systems whose file names are not Windows names.
#if !defined(_WIN32)
char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

std::vector<std::string> SplitParts(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (IsSeparator(c)) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string JoinNative(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
    if (path == "/") return path;
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Entries of `folder` whose names match `part` without regard to case, sorted.
std::vector<std::string> CaseInsensitiveMatches(const std::string& folder,
                                                const std::string& part) {
    std::vector<std::string> matches;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return matches;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string entry = it->path().filename().string();
        if (SameIgnoringCase(entry, part)) matches.push_back(entry);
    }
    std::sort(matches.begin(), matches.end());
    return matches;
}
#endif

}  // namespace

std::string WindowsStationPath(const std::string& toolFolder, const std::string& name) {
    const bool driveOrStream = name.find(':') != std::string::npos;
    const bool unc = name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]);
    if (driveOrStream || unc) return name;
    const std::string relative = !name.empty() && IsSeparator(name[0]) ? name.substr(1) : name;
    if (!toolFolder.empty() && IsSeparator(toolFolder.back())) return toolFolder + relative;
    return toolFolder + "\\" + relative;
}

WindowsNameResolution ResolveWindowsName(const std::string& baseFolder, const std::string& name) {
    WindowsNameResolution result;
#if defined(_WIN32)
    // Native names: Windows itself separates, matches case and takes "." and "..".
    if (name.empty()) {
        result.path = baseFolder;
        result.error = "the file name is empty";
        return result;
    }
    result.path = WindowsStationPath(baseFolder, name);
    result.found = EntryExists(result.path);
    return result;
#else
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        result.path = name;
        result.error = "\"" + name + "\" names a Windows drive; use a path without a drive letter";
        return result;
    }
    if (name.empty()) {
        result.path = baseFolder;
        result.error = "the file name is empty";
        return result;
    }

    // "." and ".." are taken lexically first, as Windows does: "a\x\..\b" is "a\b" whether
    // or not x exists.
    const bool absolute = IsSeparator(name.front());
    std::string current = absolute ? std::string("/") : baseFolder;
    std::vector<std::string> parts;
    for (std::string& part : SplitParts(name)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            else
                current = ParentOf(current);
            continue;
        }
        parts.push_back(std::move(part));
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const std::string exact = JoinNative(current, part);
        if (EntryExists(exact)) {
            current = exact;
            continue;
        }
        const std::vector<std::string> matches = CaseInsensitiveMatches(current, part);
        if (matches.size() == 1) {
            current = JoinNative(current, matches.front());
            continue;
        }
        // Not found, or ambiguous: report where the name points.
        std::string rest = exact;
        for (std::size_t j = i + 1; j < parts.size(); ++j) rest = JoinNative(rest, parts[j]);
        result.path = rest;
        if (matches.size() > 1) {
            result.error = "\"" + part + "\" matches several entries in " + current + ":";
            for (const auto& m : matches) result.error += " \"" + m + "\"";
        }
        return result;
    }
    result.path = current;
    result.found = true;
    return result;
#endif
}

std::string ToWindowsName(const std::string& nativePath) {
    std::string out = nativePath;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string SettingsNameProblem(const std::string& nativePath) {
#if defined(_WIN32)
    (void)nativePath;
    return {};
#else
    if (nativePath.find('\\') == std::string::npos) return {};
    return "a name in the path holds a '\\', which a settings value reads as a folder separator";
#endif
}

std::string WindowsBaseName(const std::string& name) {
    const auto sep = name.find_last_of("\\/");
    return sep == std::string::npos ? name : name.substr(sep + 1);
}

}  // namespace qnl::files
