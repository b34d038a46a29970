#include "platform/UdevDeviceChangeSource.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace qnl {

std::optional<DeviceChangeEvent> UdevEventOf(const char* action, const char* product,
                                             const char* devpath) {
    if (action == nullptr || product == nullptr) return std::nullopt;
    DeviceChangeEvent event;
    if (std::strcmp(action, "add") == 0)
        event.kind = DeviceChangeEvent::Kind::Arrival;
    else if (std::strcmp(action, "remove") == 0)
        event.kind = DeviceChangeEvent::Kind::Removal;
    else
        return std::nullopt;
    const auto id = ParseUdevProduct(product);
    if (!id) return std::nullopt;
    event.vendorId = id->vendorId;
    event.productId = id->productId;
    event.path = devpath != nullptr ? devpath : "";
    return event;
}

struct UdevDeviceChangeSource::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    int stopFd = -1;
    std::thread thread;

    ~Impl() {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        if (context != nullptr) udev_unref(context);
        if (stopFd >= 0) close(stopFd);
    }

    void Run(const Listener& listener) {
        const int monitorFd = udev_monitor_get_fd(monitor);
        for (;;) {
            pollfd fds[2] = {{monitorFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            const int n = poll(fds, 2, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            if ((fds[0].revents & POLLIN) == 0) {
                if (fds[0].revents != 0) return;  // the socket went away
                continue;
            }
            udev_device* device = udev_monitor_receive_device(monitor);
            if (device == nullptr) continue;
            const auto event = UdevEventOf(udev_device_get_action(device),
                                           udev_device_get_property_value(device, "PRODUCT"),
                                           udev_device_get_devpath(device));
            udev_device_unref(device);
            if (event) listener(*event);
        }
    }
};

UdevDeviceChangeSource::UdevDeviceChangeSource() = default;

UdevDeviceChangeSource::~UdevDeviceChangeSource() {
    Stop();
}

bool UdevDeviceChangeSource::Start(Listener listener, std::string& error) {
    Stop();
    auto impl = std::make_unique<Impl>();
    impl->context = udev_new();
    if (impl->context == nullptr) {
        error = "udev: udev_new failed";
        return false;
    }
    impl->monitor = udev_monitor_new_from_netlink(impl->context, "udev");
    if (impl->monitor == nullptr) {
        error = "udev: no netlink monitor (" + std::string(std::strerror(errno)) +
                "): USB device changes are not followed";
        return false;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(impl->monitor, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(impl->monitor) < 0) {
        error = "udev: the monitor cannot receive (" + std::string(std::strerror(errno)) +
                "): USB device changes are not followed";
        return false;
    }
    impl->stopFd = eventfd(0, EFD_CLOEXEC);
    if (impl->stopFd < 0) {
        error = "udev: eventfd failed (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    Impl* raw = impl.get();
    raw->thread = std::thread([raw, listener = std::move(listener)] { raw->Run(listener); });
    impl_ = std::move(impl);
    return true;
}

void UdevDeviceChangeSource::Stop() {
    if (!impl_) return;
    const std::uint64_t one = 1;
    if (write(impl_->stopFd, &one, sizeof one) < 0) {
        // The thread would then never see the stop: it must not be joined.
        impl_->thread.detach();
        static_cast<void>(impl_.release());  // left to the process's end: the thread uses it
        return;
    }
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_.reset();
}

}  // namespace qnl
