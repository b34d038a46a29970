// The firmware path list of the device page and the upgrade page: the last chosen firmware
// names, newest first, at most 5, and "BrowsedBINPath.txt", the file both pages write it to.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qnl {

inline constexpr const char* kBrowsedBinPathFileName = "BrowsedBINPath.txt";

class FirmwarePathList {
  public:
    static constexpr std::size_t kMaxEntries = 5;

    // Puts `path` at the top. An entry equal to it without regard to case is moved to the top
    // rather than listed twice (a page refresh puts the settings' name at the top every time);
    // beyond 5 entries the oldest is dropped.
    void PutOnTop(const std::string& path);
    const std::vector<std::string>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

  private:
    std::vector<std::string> entries_;
};

// Writes `paths` to "BrowsedBINPath.txt" in the tool folder, replacing the file: one path per
// line, each followed by CR LF. False, with the reason in `error`, when it cannot be written
// (the file there keeps its old contents).
bool SaveBrowsedBinPaths(const std::string& toolFolder, const std::vector<std::string>& paths,
                         std::string& error);

}  // namespace qnl
