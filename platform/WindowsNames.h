// File names as the Windows stations write them, resolved on this system.
//
// Settings files travel between Windows and Linux stations, and their reader upper-cases every
// value. A name from a settings value is therefore resolved as Windows would resolve it:
//   - '\' and '/' both separate folders;
//   - a name that begins with a separator is absolute (from "/"); any other name is relative to
//     the base folder (the tool folder);
//   - each part is taken exactly when an entry of that name exists, otherwise the one entry
//     whose name matches without regard to (ASCII) case; when several match, the name is
//     ambiguous and is not resolved;
//   - a name with a drive letter ("C:\...") names no file here.
// On Windows the names are native: a name with a drive letter or a UNC name ("\\server\share")
// is used as it is, any other name is taken in the tool folder (WindowsStationPath), and the
// file system matches case itself.
// Paths the tool writes into settings values use '\' (ToWindowsName), so "/home/op/fw/a.bin"
// is stored as "\home\op\fw\a.bin" and resolves back to the same file.
#pragma once

#include <string>

namespace qnl::files {

struct WindowsNameResolution {
    // The native path: the entry found, or where the name points when a part does not exist.
    std::string path;
    // Every part was found.
    bool found = false;
    // Why the name cannot be resolved at all (ambiguous part, drive letter); empty otherwise.
    std::string error;
};

WindowsNameResolution ResolveWindowsName(const std::string& baseFolder, const std::string& name);

// The Windows form of the rule: a name holding ':' (a drive) or beginning with two separators
// (a UNC name) unchanged, any other name as "<toolFolder>\<name>".
std::string WindowsStationPath(const std::string& toolFolder, const std::string& name);

// A native path in the form settings values store: every '/' becomes '\'.
std::string ToWindowsName(const std::string& nativePath);

// Why a native path cannot be named in a settings value; empty when it can. Here a '\' in a
// file or folder name is such a reason: the settings' names read it as a separator, so the
// stored name would point to another file ("a\b.bin" to "a/b.bin"). On Windows every native
// path can be named.
std::string SettingsNameProblem(const std::string& nativePath);

// The last part of a name in either form (after the last '\' or '/').
std::string WindowsBaseName(const std::string& name);

}  // namespace qnl::files
