#include "qnlio/sim/SimPlugControl.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace qnl::sim {

namespace {
constexpr std::uint64_t kMaxControlRead = 64 * 1024;  // per look: a control file is a few lines

std::optional<std::uint32_t> PortOf(const std::string& name) {
    for (std::size_t i = 0; i < kRootPortCount; ++i)
        if (name == kRootPortKeys[i]) return static_cast<std::uint32_t>(i + 1);
    return std::nullopt;
}

std::optional<std::size_t> IndexOf(const std::string& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    std::size_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value;
}
}  // namespace

SimPlugControl::SimPlugControl(SimStation& station, std::uint32_t pollMs)
    : station_(station), pollMs_(pollMs) {}

SimPlugControl::~SimPlugControl() {
    Stop();
}

bool SimPlugControl::Start(Listener listener, std::string& error) {
    Stop();
    (void)error;
    token_ = station_.AddPlugListener([listener](const SimStation::PlugEvent& e) {
        DeviceChangeEvent event;
        event.kind =
            e.arrived ? DeviceChangeEvent::Kind::Arrival : DeviceChangeEvent::Kind::Removal;
        event.vendorId = e.vendorId;
        event.productId = e.productId;
        event.path = "sim:" + std::to_string(e.controller) + ":" + kRootPortKeys[e.xhciPort - 1];
        listener(event);
    });
    const std::string& file = station_.Config().plugFile;
    if (file.empty()) return true;
    {
        // What the file held before the station started was not appended while it ran.
        std::lock_guard lock(pollMutex_);
        readOffset_ = files::Size(file).value_or(0);
        partial_.clear();
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    poller_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!cv_.wait_for(lock, std::chrono::milliseconds(pollMs_), [&] { return stopping_; })) {
            lock.unlock();
            PollOnce();
            lock.lock();
        }
    });
    return true;
}

void SimPlugControl::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (poller_.joinable()) poller_.join();
    if (token_ != 0) station_.RemovePlugListener(token_);
    token_ = 0;
}

bool SimPlugControl::Apply(const std::string& line, std::string& error) {
    std::istringstream in(line);
    std::string verb, controllerText, portText;
    in >> verb >> controllerText >> portText;
    std::string rest;
    std::getline(in, rest);
    const auto controller = IndexOf(controllerText);
    const auto port = PortOf(portText);
    if ((verb != "plug" && verb != "unplug") || !controller || !port) {
        error =
            "expected \"plug <controller> <port> [<attachment>]\" or \"unplug <controller> "
            "<port>\" (port usb3_port1, usb3_port2, usb2_port1 or usb2_port2)";
        return false;
    }
    if (verb == "unplug") {
        if (rest.find_first_not_of(" \t\r") != std::string::npos) {
            error = "unplug takes nothing after the port";
            return false;
        }
        return station_.Plug(*controller, *port, std::nullopt, error);
    }
    const bool none = rest.find_first_not_of(" \t\r") == std::string::npos;
    const auto attachment = ParseAttachmentText(none ? R"({"type":"device"})" : rest, *port, error);
    if (!attachment) return false;
    return station_.Plug(*controller, *port, *attachment, error);
}

void SimPlugControl::PollOnce() {
    std::lock_guard lock(pollMutex_);
    const std::string& file = station_.Config().plugFile;
    const std::uint64_t size = files::Size(file).value_or(0);
    if (size < readOffset_) {  // emptied or replaced: start over
        readOffset_ = 0;
        partial_.clear();
    }
    if (size == readOffset_) return;
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(readOffset_));
    const std::uint64_t want = std::min(size - readOffset_, kMaxControlRead);
    std::string chunk(want, '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(want));
    chunk.resize(static_cast<std::size_t>(in.gcount()));
    readOffset_ += chunk.size();
    partial_ += chunk;
    std::size_t start = 0;
    for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = partial_.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::string error;
        if (!Apply(line, error))
            std::fprintf(stderr, "station plug file %s: \"%s\": %s\n", file.c_str(), line.c_str(),
                         error.c_str());
    }
    partial_.erase(0, start);
    if (partial_.size() > kMaxControlRead) partial_.clear();  // no line end in sight
}

}  // namespace qnl::sim
