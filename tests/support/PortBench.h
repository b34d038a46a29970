// One simulated controller with a given root-port population and a tool over it, its host
// found, for the xHCI and port-test tests. Keeps the last register accesses for failure output.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "qnlio/MailboxProtocol.h"
#include "support/SimFixture.h"

namespace qnl::test {

class PortBench {
  public:
    // `ports`: the text of a "ports" object; `extra`: more controller keys.
    explicit PortBench(const std::string& ports, int kind = 0, const std::string& extra = "")
        : bench("[" +
                ControllerJson(3, 0, 0, kind,
                               "\"ports\": " + ports + (extra.empty() ? "" : ", " + extra)) +
                "]") {
        if (bench.chip().AssignPciBus(3, 0, 0, "") != 0) throw std::runtime_error("no host");
        sim().SetRegisterTrace([this](const sim::RegisterAccess& a) {
            char line[96];
            std::snprintf(line, sizeof line, "%8.3f ms %s %04x %-12s %02x", a.timeUs / 1000.0,
                          a.write ? "W" : "R", a.offset, a.name, a.value);
            trace_.emplace_back(line);
            if (trace_.size() > 64) trace_.pop_front();
        });
    }

    TargetHost& host() { return bench.util().Host(0); }
    CXhci& xhci() { return bench.xhci(); }
    sim::SimController& sim() { return bench.controller(0); }
    ManualClock& clock() { return bench.clock; }

    // The newest register accesses, one a line, for a failure message.
    std::string Trace() const {
        std::string text = "\nlast register accesses:\n";
        for (const auto& line : trace_) text += "  " + line + "\n";
        return text;
    }

    // Commands the controller received since the last ClearCommands, of one code.
    std::vector<sim::CommandRecord> CommandsOf(std::uint32_t command) {
        std::vector<sim::CommandRecord> out;
        for (const auto& c : sim().Commands())
            if (c.command == command) out.push_back(c);
        return out;
    }
    // Data-memory writes (address, byte) in order.
    std::vector<std::pair<std::uint32_t, std::uint8_t>> XdataWrites() {
        std::vector<std::pair<std::uint32_t, std::uint8_t>> out;
        for (const auto& c : CommandsOf(mailbox::CMD_MEM_WRITE))
            out.emplace_back(c.address, static_cast<std::uint8_t>(c.dataLow));
        return out;
    }
    int CountReadsAt(std::uint32_t space, std::uint32_t address) {
        int n = 0;
        for (const auto& c : CommandsOf(mailbox::CMD_MEM_READ))
            if (c.space == space && c.address == address && c.result == 0) ++n;
        return n;
    }

    SimBench bench;

  private:
    std::deque<std::string> trace_;
};

}  // namespace qnl::test
