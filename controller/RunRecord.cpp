#include "controller/RunRecord.h"

#include <algorithm>

#include "controller/ErrorCodes.h"

namespace qnl {

const char* ResultItemKey(ResultItem item) {
    switch (item) {
        case ResultItem::FwUpdate:
            return "fw_update";
        case ResultItem::FwCheck:
            return "fw_check";
        case ResultItem::Usb2Port1:
            return "usb2_port1";
        case ResultItem::Usb2Port2:
            return "usb2_port2";
        case ResultItem::Usb3Port1:
            return "usb3_port1";
        case ResultItem::Usb3Port2:
            return "usb3_port2";
        case ResultItem::Usb31Port1:
            return "usb31_port1";
        case ResultItem::Usb31Port2:
            return "usb31_port2";
        case ResultItem::SignalLineOverall:
            return "signal_line";
        case ResultItem::TerminationOverall:
            return "termination";
        case ResultItem::LoopBackOverall:
            return "loop_back";
    }
    return "unknown";
}

const char* ItemStateKey(ItemState state) {
    switch (state) {
        case ItemState::NotRun:
            return "not_run";
        case ItemState::Pending:
        case ItemState::Doing:
            return "doing";
        case ItemState::Pass:
            return "pass";
        case ItemState::Fail:
            return "fail";
    }
    return "unknown";
}

void RunRecord::Begin(const std::array<TargetHost, kMaxHosts>& hosts, std::uint8_t hostCount) {
    std::lock_guard lock(mutex_);
    hostCount_ = std::min<std::uint8_t>(hostCount, kMaxHosts);
    for (std::size_t i = 0; i < kMaxHosts; ++i) {
        HostEntry entry;
        const TargetHost& host = hosts[i];
        if (i < hostCount_) {
            entry.index = static_cast<std::uint8_t>(i);
            entry.bus = host.ucBus;
            entry.device = host.ucDevice;
            entry.function = host.ucFunction;
            entry.ssid = host.strSSID;
            entry.svid = host.strSVID;
            entry.fwVersionBefore = host.strFWVersion;
            entry.fwVersionAfter = host.strFWVersion;
        }
        hosts_[i] = std::move(entry);
    }
}

ItemEntry RunRecord::Set(std::uint8_t host, ResultItem item, ItemState state,
                         const std::string& text, std::int32_t errorCode) {
    if (host >= kMaxHosts) return {};
    const std::uint64_t now = clock_.NowUs();
    std::lock_guard lock(mutex_);
    ItemEntry& entry = hosts_[host].Item(item);
    if (entry.state == ItemState::Fail && state != ItemState::Fail) return entry;
    if (entry.startUs == 0) entry.startUs = now != 0 ? now : 1;
    if (state == ItemState::Doing || state == ItemState::Pass) entry.started = true;
    entry.state = state;
    entry.text = text;
    if (errorCode != 0 || state != ItemState::Fail) entry.errorCode = errorCode;
    entry.endUs =
        state == ItemState::Pass || state == ItemState::Fail ? std::max(now, entry.startUs) : 0;
    return entry;
}

void RunRecord::SetFinalFacts(std::uint8_t host, const TargetHost& record) {
    if (host >= kMaxHosts) return;
    std::lock_guard lock(mutex_);
    hosts_[host].fwVersionAfter = record.strFWVersion;
}

std::vector<RunRecord::Settled> RunRecord::SettleUnfinished() {
    const std::uint64_t now = clock_.NowUs();
    std::vector<Settled> settled;
    std::lock_guard lock(mutex_);
    for (std::uint8_t host = 0; host < hostCount_; ++host) {
        for (std::size_t i = 0; i < kResultItemCount; ++i) {
            ItemEntry& entry = hosts_[host].items[i];
            if (entry.state == ItemState::Pending) {
                entry = ItemEntry{};
                entry.text = " ";
            } else if (entry.state == ItemState::Doing) {
                entry.state = ItemState::Fail;
                entry.text = "FAIL";
                if (entry.errorCode == 0) entry.errorCode = kErrTimeout;
                entry.endUs = std::max(now, entry.startUs);
            } else {
                continue;
            }
            settled.push_back({host, static_cast<ResultItem>(i), entry});
        }
    }
    return settled;
}

HostEntry RunRecord::Host(std::uint8_t host) const {
    std::lock_guard lock(mutex_);
    return host < kMaxHosts ? hosts_[host] : HostEntry{};
}

std::vector<HostEntry> RunRecord::Hosts() const {
    std::lock_guard lock(mutex_);
    return {hosts_.begin(), hosts_.begin() + hostCount_};
}

}  // namespace qnl
