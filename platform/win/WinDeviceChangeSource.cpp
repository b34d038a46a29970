#include "platform/WinDeviceChangeSource.h"

#include <windows.h>
// After windows.h.
#include <dbt.h>
#include <initguid.h>
#include <usbiodef.h>

#include <future>
#include <string>

namespace qnl {

namespace {

constexpr wchar_t kClassName[] = L"QnlDeviceChanges";

LRESULT CALLBACK DeviceChangeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        auto* source =
            reinterpret_cast<WinDeviceChangeSource*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (source != nullptr)
            source->OnDeviceChange(static_cast<unsigned long>(wParam),
                                   reinterpret_cast<const void*>(lParam));
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
    // The interface names are ASCII; anything else cannot be a USB name the tool reads.
    std::string text;
    for (std::size_t i = 0; i < length && wide[i] != L'\0'; ++i)
        text += wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
    return text;
}

}  // namespace

WinDeviceChangeSource::~WinDeviceChangeSource() {
    Stop();
}

bool WinDeviceChangeSource::Start(Listener listener, std::string& error) {
    Stop();
    {
        std::lock_guard lock(mutex_);
        listener_ = std::move(listener);
    }
    std::promise<std::string> started;
    std::future<std::string> result = started.get_future();
    thread_ = std::thread([this, &started] { Run(&started); });
    error = result.get();
    if (error.empty()) return true;
    thread_.join();
    return false;
}

void WinDeviceChangeSource::Run(std::promise<std::string>* started) {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DeviceChangeProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
    HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        started->set_value("the device-change window could not be made (error " +
                           std::to_string(::GetLastError()) + ")");
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    HDEVNOTIFY notify = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (notify == nullptr) {
        const DWORD code = ::GetLastError();
        ::DestroyWindow(window);
        started->set_value("RegisterDeviceNotificationW failed (error " + std::to_string(code) +
                           ")");
        return;
    }
    threadId_ = ::GetCurrentThreadId();
    // The queue exists (the window's): Stop's WM_QUIT cannot be lost from here on.
    started->set_value({});
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::UnregisterDeviceNotification(notify);
    ::DestroyWindow(window);
}

void WinDeviceChangeSource::OnDeviceChange(unsigned long event, const void* data) {
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || data == nullptr)
        return;
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(data);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
        return;
    const auto* device = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data);
    // The name fills the rest of the block the system gave (its size is bounded by it).
    const std::size_t room =
        (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) /
        sizeof(wchar_t);
    DeviceChangeEvent change;
    change.kind = event == DBT_DEVICEARRIVAL ? DeviceChangeEvent::Kind::Arrival
                                             : DeviceChangeEvent::Kind::Removal;
    change.path = Narrow(device->dbcc_name, room);
    const auto id = ParseUsbInterfaceName(change.path);
    if (!id) return;
    change.vendorId = id->vendorId;
    change.productId = id->productId;
    std::lock_guard lock(mutex_);
    if (listener_) listener_(change);
}

void WinDeviceChangeSource::Stop() {
    if (thread_.joinable()) {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    threadId_ = 0;
    std::lock_guard lock(mutex_);
    listener_ = {};
}

}  // namespace qnl
