// The system calls under the Windows USB view: SetupAPI for the host controller interfaces,
// CreateFileA and DeviceIoControl for the controllers and hubs.
#include <windows.h>
// windows.h first: SetupAPI's header needs its types.
#include <setupapi.h>

#include "platform/WinUsbTopology.h"

namespace qnl {
namespace {

// The USB host controller device interface class.
const GUID kHostControllerInterface = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

class WinUsbDeviceIo final : public IWinUsbDeviceIo {
  public:
    WinUsbDeviceIo() {
        // Handles not inherited, no security descriptor.
        security_.nLength = sizeof security_;
        security_.lpSecurityDescriptor = nullptr;
        security_.bInheritHandle = FALSE;
    }

    std::optional<std::vector<std::string>> HostControllerPaths() override {
        const HDEVINFO list = ::SetupDiGetClassDevsA(&kHostControllerInterface, nullptr, nullptr,
                                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (list == INVALID_HANDLE_VALUE) return std::nullopt;
        std::vector<std::string> paths;
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD index = 0;
             ::SetupDiEnumDeviceInterfaces(list, nullptr, &kHostControllerInterface, index, &data);
             ++index) {
            DWORD needed = 0;
            ::SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &needed, nullptr);
            if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || needed > 65536) continue;
            std::vector<std::uint8_t> storage(needed, 0);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (!::SetupDiGetDeviceInterfaceDetailA(list, &data, detail, needed, nullptr, nullptr))
                continue;
            const std::size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            const char* path = detail->DevicePath;
            paths.emplace_back(path, strnlen(path, needed - offset));
        }
        ::SetupDiDestroyDeviceInfoList(list);
        return paths;
    }

    Handle OpenController(const std::string& path) override {
        return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    }

    Handle OpenHub(const std::string& path) override {
        return Open(path, GENERIC_WRITE, FILE_SHARE_WRITE);
    }

    bool Control(Handle handle, std::uint32_t code, std::vector<std::uint8_t>& buffer,
                 std::uint32_t& returned) override {
        DWORD bytes = 0;
        const DWORD size = static_cast<DWORD>(buffer.size());
        const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, buffer.data(),
                                          size, buffer.data(), size, &bytes, nullptr);
        returned = bytes;
        if (!ok) {
            // Fetched and dropped: the walk only skips what failed.
            ::GetLastError();
            ::SetLastError(ERROR_SUCCESS);
        }
        return ok != 0;
    }

    void Close(Handle handle) override { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

  private:
    Handle Open(const std::string& path, DWORD access, DWORD share) {
        const HANDLE h =
            ::CreateFileA(path.c_str(), access, share, &security_, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            ::SetLastError(ERROR_SUCCESS);
            return 0;
        }
        return reinterpret_cast<Handle>(h);
    }

    SECURITY_ATTRIBUTES security_{};
};

}  // namespace

std::unique_ptr<IWinUsbDeviceIo> MakeWinUsbDeviceIo() {
    return std::make_unique<WinUsbDeviceIo>();
}

}  // namespace qnl
