// Files and folders on Windows (the ANSI file API, so names are the tool's own byte strings).
#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>

namespace qnl::files {

namespace {

// Opens a file with sharing for readers, writers and deletion, as the tool's processes and the
// operator's editors may hold it at the same time.
HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteFully(HANDLE file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

std::optional<WIN32_FILE_ATTRIBUTE_DATA> Attributes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return data;
}

}  // namespace

std::string ExecutableFolder() {
    // Long paths need more than MAX_PATH; grow until the whole name fits.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return ".";
        path.resize(path.size() * 2);
    }
    const auto separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    // "C:\qnlmptool.exe": the folder is the drive's root, "C:\".
    if (separator == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, separator);
}

bool Exists(const std::string& path) {
    return Attributes(path).has_value();
}

bool IsDirectory(const std::string& path) {
    const auto a = Attributes(path);
    return a && (a->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool Remove(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

std::optional<std::uint64_t> Size(const std::string& path) {
    const auto a = Attributes(path);
    if (!a || (a->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return (static_cast<std::uint64_t>(a->nFileSizeHigh) << 32) | a->nFileSizeLow;
}

bool IsReadWritableFile(const std::string& path) {
    const auto a = Attributes(path);
    if (!a || (a->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return false;
    const HANDLE file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadAll(const std::string& path, std::uint64_t maxBytes) {
    const HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes ||
        static_cast<std::uint64_t>(size.QuadPart) > SIZE_MAX) {
        ::CloseHandle(file);
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file, data.data() + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    ::CloseHandle(file);
    data.resize(done);
    return data;
}

bool WriteAtomic(const std::string& path, const void* data, std::size_t size) {
    const std::string temp = path + ".tmp." + std::to_string(::GetCurrentProcessId());
    const HANDLE file = OpenFile(temp, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteFully(file, data, size) && ::FlushFileBuffers(file);
    if (!::CloseHandle(file)) ok = false;
    if (ok && !::MoveFileExA(temp.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false;
    if (!ok) ::DeleteFileA(temp.c_str());
    return ok;
}

bool Append(const std::string& path, const std::string& text) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file.
    const HANDLE file = OpenFile(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteFully(file, text.data(), text.size());
    if (!::CloseHandle(file)) ok = false;
    return ok;
}

std::string NotRegularFileReason(const std::string& path) {
    const auto a = Attributes(path);
    if (!a) return {};
    if ((a->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return path + " is not a regular file";
    return {};
}

bool AppendRecord(const std::string& path, const std::string& prefix, const std::string& text,
                  std::string& error, const std::string& prefixMarker) {
    error = NotRegularFileReason(path);
    if (!error.empty()) return false;
    const HANDLE file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        error = "Windows error " + std::to_string(::GetLastError());
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        error = path + " is not a regular file";
        return false;
    }
    // Writers lock one byte far past any real end, so readers of the content are not blocked.
    OVERLAPPED range{};
    range.OffsetHigh = 0x7FFFFFFF;
    const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != 0;
    LARGE_INTEGER oldSize{};
    bool ok = ::GetFileSizeEx(file, &oldSize) != 0;
    if (ok) {
        bool withPrefix = oldSize.QuadPart == 0;
        if (!withPrefix && !prefixMarker.empty()) {
            const auto readAt = [file](std::uint64_t offset, std::size_t length, char* out) {
                std::size_t done = 0;
                while (done < length) {
                    OVERLAPPED at{};
                    at.Offset = static_cast<DWORD>((offset + done) & 0xFFFFFFFFu);
                    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
                    DWORD read = 0;
                    const DWORD want =
                        static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 20));
                    if (!::ReadFile(file, out + done, want, &read, &at) || read == 0) return false;
                    done += read;
                }
                return true;
            };
            withPrefix = LastLineStartingWith(readAt, static_cast<std::uint64_t>(oldSize.QuadPart),
                                              prefixMarker) != prefix;
        }
        const std::string record = withPrefix ? prefix + text : text;
        ok = ::SetFilePointerEx(file, oldSize, nullptr, FILE_BEGIN) &&
             WriteFully(file, record.data(), record.size()) && ::FlushFileBuffers(file);
    }
    if (!ok) {
        error = "Windows error " + std::to_string(::GetLastError());
        // Back to the old length: no partial line stays behind.
        if (::SetFilePointerEx(file, oldSize, nullptr, FILE_BEGIN)) ::SetEndOfFile(file);
    }
    if (locked) ::UnlockFileEx(file, 0, 1, 0, &range);
    if (!::CloseHandle(file) && ok) {
        error = "Windows error " + std::to_string(::GetLastError());
        ok = false;
    }
    return ok;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '\\' || folder.back() == '/') return folder + name;
    return folder + "\\" + name;
}

int LastError() {
    return static_cast<int>(::GetLastError());
}

std::string CurrentUserName() {
    char buffer[256 + 1] = {};
    DWORD size = sizeof buffer;
    if (!::GetUserNameA(buffer, &size)) return {};
    return buffer;
}

std::string CurrentFolder() {
    const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return ".";
    std::string folder(needed, '\0');
    const DWORD n = ::GetCurrentDirectoryA(needed, folder.data());
    if (n == 0 || n >= needed) return ".";
    folder.resize(n);
    return folder;
}

}  // namespace qnl::files
