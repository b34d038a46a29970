// The diagnostic store on Windows: the same crash-safe file store as on Linux,
// "log\events.log" in the tool folder, so that the "Debug Log" export reads back exactly what
// was written, whatever the machine's event log allows.
//
// Writers and readers lock one byte far beyond any real file end (Windows byte-range locks are
// mandatory, so a lock on the content would stop readers of it); appends go through a handle
// opened for appending only, so every write lands at the end.
#include <windows.h>

#include "platform/EventStore.h"
#include "platform/Files.h"

namespace qnl {
namespace {

constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class ByteLock {
  public:
    ByteLock(HANDLE file, bool exclusive) : file_(file) {
        overlapped_.Offset = 0;
        overlapped_.OffsetHigh = kLockOffsetHigh;
        locked_ = ::LockFileEx(file_, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0,
                               &overlapped_) != 0;
    }
    ~ByteLock() {
        if (locked_) ::UnlockFileEx(file_, 0, 1, 0, &overlapped_);
    }
    ByteLock(const ByteLock&) = delete;
    ByteLock& operator=(const ByteLock&) = delete;

  private:
    HANDLE file_;
    OVERLAPPED overlapped_{};
    bool locked_ = false;
};

HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void FileEventStore::Append(const EventRecord& record) noexcept {
    try {
        const auto separator = path_.find_last_of("\\/");
        if (separator != std::string::npos && separator > 0)
            files::CreateFolder(path_.substr(0, separator));
        const HANDLE file =
            OpenShared(path_, GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
        if (file == INVALID_HANDLE_VALUE) return;
        {
            const ByteLock lock(file, true);
            std::string line = EncodeLine(record);
            // A writer that died mid-line left a fragment without its line end: end it here.
            LARGE_INTEGER size{};
            if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
                OVERLAPPED at{};
                const auto last = static_cast<ULONGLONG>(size.QuadPart - 1);
                at.Offset = static_cast<DWORD>(last & 0xFFFFFFFFu);
                at.OffsetHigh = static_cast<DWORD>(last >> 32);
                char c = '\n';
                DWORD got = 0;
                if (::ReadFile(file, &c, 1, &got, &at) && got == 1 && c != '\n')
                    line.insert(line.begin(), '\n');
            }
            DWORD written = 0;
            ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
        ::CloseHandle(file);
    } catch (...) {
        // A diagnostic store never fails its caller.
    }
}

std::vector<EventRecord> FileEventStore::ReadAll() {
    std::vector<EventRecord> records;
    const HANDLE file = OpenShared(path_, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return records;
    {
        // Shared lock: a line being appended is either wholly there or not yet.
        const ByteLock lock(file, false);
        std::string pending;
        bool overlong = false;
        char buffer[16384];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            DecodeChunk(buffer, got, pending, overlong, records);
    }
    ::CloseHandle(file);
    return records;
}

std::unique_ptr<IEventStore> OpenDiagnosticStore(const std::string& toolFolder, const std::string&,
                                                 const std::string&, std::string* description) {
    const std::string path = files::Join(files::Join(toolFolder, "log"), "events.log");
    if (description) *description = path;
    return std::make_unique<FileEventStore>(path);
}

}  // namespace qnl
