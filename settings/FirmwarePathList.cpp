#include "settings/FirmwarePathList.h"

#include <algorithm>
#include <cstring>

#include "platform/Files.h"
#include "platform/HexText.h"

namespace qnl {

void FirmwarePathList::PutOnTop(const std::string& path) {
    std::erase_if(entries_, [&](const std::string& entry) { return EqualsNoCase(entry, path); });
    entries_.insert(entries_.begin(), path);
    if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
}

bool SaveBrowsedBinPaths(const std::string& toolFolder, const std::vector<std::string>& paths,
                         std::string& error) {
    std::string text;
    for (const std::string& path : paths) text += path + "\r\n";
    const std::string file = files::Join(toolFolder, kBrowsedBinPathFileName);
    if (files::WriteAtomic(file, text)) return true;
    error = file + ": " + std::strerror(files::LastError());
    return false;
}

}  // namespace qnl
