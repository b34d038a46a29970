#include "support/ScriptedIo.h"

#include <cstdio>
#include <cstring>

namespace qnl::test {

static std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", v);
    return text;
}

int ScriptedIo::CountCalls(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0) ++n;
    return n;
}

std::uint32_t ScriptedIo::LoadQnlIODriver() {
    calls.push_back("LoadQnlIODriver");
    return loadResult;
}

void ScriptedIo::UnloadQnlIODriver() { calls.push_back("UnloadQnlIODriver"); }

std::uint32_t ScriptedIo::PCI_Read_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                                         std::uint32_t o) {
    auto it = configDwords.find(Key(b, d, f, o));
    return it == configDwords.end() ? 0xFFFFFFFFu : it->second;
}

std::uint8_t ScriptedIo::PCI_Read_BYTE(std::uint32_t, std::uint32_t, std::uint32_t,
                                       std::uint32_t o) {
    calls.push_back("PCI_Read_BYTE " + Hex(o));
    auto it = configBytes.find(o);
    return it == configBytes.end() ? 0xFF : it->second;
}

void ScriptedIo::PCI_Write_DWORD(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t o,
                                 std::uint32_t v) {
    calls.push_back("PCI_Write_DWORD " + Hex(o) + " " + Hex(v));
}

void ScriptedIo::PCI_Write_Byte(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t o,
                                std::uint32_t v) {
    calls.push_back("PCI_Write_Byte " + Hex(o) + " " + Hex(v));
}

std::int32_t ScriptedIo::WriteCmdALL(std::uint32_t, std::uint32_t, std::uint32_t,
                                     std::uint32_t command, std::uint32_t space,
                                     std::uint32_t length, std::uint32_t address,
                                     std::uint32_t low, std::uint32_t high) {
    calls.push_back("WriteCmdALL " + Hex(command) + " " + Hex(space) + " " + Hex(length) + " " +
                    Hex(address) + " " + Hex(low) + " " + Hex(high));
    if (writeCmdResults.empty()) return 0;
    const std::int32_t rc = writeCmdResults.front();
    writeCmdResults.pop_front();
    return rc;
}

std::int32_t ScriptedIo::Wait_Write_Ready(std::uint32_t, std::uint32_t, std::uint32_t) {
    calls.push_back("Wait_Write_Ready");
    return 0;
}

std::int32_t ScriptedIo::Wait_Read_Ready(std::uint32_t, std::uint32_t, std::uint32_t) {
    calls.push_back("Wait_Read_Ready");
    if (waitReadResults.empty()) return 0;
    const std::int32_t rc = waitReadResults.front();
    waitReadResults.pop_front();
    return rc;
}

std::int32_t ScriptedIo::ReadCMD(std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint8_t* reply) {
    calls.push_back("ReadCMD");
    if (!replies.empty()) {
        std::memcpy(reply, replies.front().data(), 44);
        replies.pop_front();
    }
    return 0;
}

std::array<std::uint8_t, 44> ReplyWithData(std::initializer_list<std::uint8_t> data) {
    std::array<std::uint8_t, 44> reply{};
    std::size_t i = 12;
    for (auto b : data)
        if (i < 20) reply[i++] = b;
    return reply;
}

}  // namespace qnl::test
