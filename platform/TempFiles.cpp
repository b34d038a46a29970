// Removing the temporary files an interrupted atomic write left behind: the same on every
// system, through std::filesystem.
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/Files.h"

namespace qnl::files {

std::size_t RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
    std::size_t removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0 ||
            name.find(".tmp.", prefix.size()) == std::string::npos)
            continue;
        std::error_code status;
        if (!it->is_regular_file(status)) continue;
        if (std::filesystem::remove(it->path(), status)) ++removed;
    }
    return removed;
}

}  // namespace qnl::files
