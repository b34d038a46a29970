// The diagnostic store on Windows: the same crash-safe file store as on Linux,
// "log\events.log" in the tool folder, so that the "Debug Log" export reads back exactly what
// was written, whatever the machine's event log allows.
//
// Writers and readers lock one byte far beyond any real file end (Windows byte-range locks are
// mandatory, so a lock on the content would stop readers of it); appends go through a handle
// opened for appending only, so every write lands at the end. A full file is rotated to
// "events.log.1" as on Linux.
#include <windows.h>

#include <memory>

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

// Opens the file for appending and locks it; INVALID_HANDLE_VALUE when it is not a regular file
// or cannot be opened. Follows a rotation made by another writer while this one waited.
HANDLE OpenLockedFile(const std::string& path, std::unique_ptr<ByteLock>& lock) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!files::NotRegularFileReason(path).empty()) return INVALID_HANDLE_VALUE;
        const HANDLE file =
            OpenShared(path, GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
        if (file == INVALID_HANDLE_VALUE) return file;
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            ::CloseHandle(file);
            return INVALID_HANDLE_VALUE;
        }
        lock = std::make_unique<ByteLock>(file, true);
        // Still the file at `path`? (Another writer may have renamed it meanwhile.)
        BY_HANDLE_FILE_INFORMATION held{}, now{};
        const HANDLE current = OpenShared(path, 0, OPEN_EXISTING);
        bool same = false;
        if (current != INVALID_HANDLE_VALUE) {
            same = ::GetFileInformationByHandle(file, &held) &&
                   ::GetFileInformationByHandle(current, &now) &&
                   held.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                   held.nFileIndexHigh == now.nFileIndexHigh &&
                   held.nFileIndexLow == now.nFileIndexLow;
            ::CloseHandle(current);
        }
        if (same) return file;
        lock.reset();
        ::CloseHandle(file);
    }
    return INVALID_HANDLE_VALUE;
}

std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

}  // namespace

void FileEventStore::Append(const EventRecord& record) noexcept {
    try {
        const auto separator = path_.find_last_of("\\/");
        if (separator != std::string::npos && separator > 0)
            files::CreateFolder(path_.substr(0, separator));
        std::unique_ptr<ByteLock> lock;
        HANDLE file = OpenLockedFile(path_, lock);
        if (file == INVALID_HANDLE_VALUE) return;
        std::string line = EncodeLine(record);
        std::uint64_t size = SizeOf(file);
        if (size > 0 && size + line.size() > maxBytes_) {
            // Full: this file becomes the previous one and the event begins a new file. The
            // old file's lock is held until the new one is locked, so no writer rotates twice.
            if (::MoveFileExA(path_.c_str(), PreviousPath().c_str(), MOVEFILE_REPLACE_EXISTING)) {
                std::unique_ptr<ByteLock> newLock;
                const HANDLE newFile = OpenLockedFile(path_, newLock);
                lock.reset();
                ::CloseHandle(file);
                file = newFile;
                lock = std::move(newLock);
                if (file == INVALID_HANDLE_VALUE) return;
                size = SizeOf(file);
            }
        }
        // A writer that died mid-line left a fragment without its line end: end it here.
        if (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>((size - 1) & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
            char c = '\n';
            DWORD got = 0;
            if (::ReadFile(file, &c, 1, &got, &at) && got == 1 && c != '\n')
                line.insert(line.begin(), '\n');
        }
        DWORD written = 0;
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        lock.reset();
        ::CloseHandle(file);
    } catch (...) {
        // A diagnostic store never fails its caller.
    }
}

void FileEventStore::ReadFile(const std::string& path, std::vector<EventRecord>& records) const {
    if (!files::NotRegularFileReason(path).empty()) return;
    const HANDLE file = OpenShared(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return;
    if (::GetFileType(file) == FILE_TYPE_DISK) {
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
}

std::unique_ptr<IEventStore> OpenDiagnosticStore(const std::string& toolFolder, const std::string&,
                                                 const std::string&, std::string* description) {
    const std::string path = files::Join(files::Join(toolFolder, "log"), "events.log");
    if (description) *description = path;
    return std::make_unique<FileEventStore>(path);
}

}  // namespace qnl
