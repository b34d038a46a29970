#include "support/FuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/MainWindowControls.h"
#include "controller/CUtility.h"
#include "firmware/ConfigRom.h"
#include "firmware/FirmwareFile.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "settings/CIni.h"

namespace qnl::fuzz {

namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

void SettingsReader(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniSettings first;
    const IniParseReport report = ParseIniText(text, first);
    if (report.countedLines < 0 || static_cast<std::size_t>(report.countedLines) > size)
        Broken("counted lines");
    for (const std::string* field :
         {&first.fw_binary_name, &first.svid, &first.ssid, &first.CustInfo, &first.spi_wrsr_ver})
        if (field->size() > kIniTextMax) Broken("text field longer than 254");

    // Saved and read again, every persisted field comes back (the writer writes the current
    // version).
    IniSettings second;
    const IniParseReport again = ParseIniText(BuildIniText(first), second);
    if (again.countedLines != 29 || !again.allKeysKnown) Broken("writer's own file");
    first.ver = 18;
    if (!(first == second)) Broken("settings round trip");
}

void FirmwareFile(const std::uint8_t* data, std::size_t size) {
    static ManualClock clock;
    CEventLog log(nullptr, clock, "fuzz");
    CUtility util;
    util.m_pEventLog = &log;

    std::uint8_t version[kVersionBytes] = {};
    const std::int32_t rc = GetVersionFromImage(data, size, version, util, log);
    const std::uint8_t checkedKind = util.m_ucFileKind;
    const std::uint32_t checkedCodeLength = util.m_dwFWLength;

    for (std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{1}}) {
        util.m_ucFileKind = kind;
        BinFileStruct parts;
        if (!util.GetBinFileStruct(data, size, parts)) {
            if (rc == 0 && kind == checkedKind) Broken("a checked image cannot be taken apart");
            continue;
        }
        (void)ReadFirmwareInfoFields(parts, kind);

        const std::vector<ConfigEntryBytes> entries = {MakeConfigEntry(2, 0xE260, 0x1D6A),
                                                       MakeConfigEntry(1, 0xE241, 0x0B)};
        std::vector<std::uint8_t> out(ImageLength(parts, entries.size()), 0);
        if (InsertCFGToBin(parts, out, entries) != 0) continue;
        if (rc != 0 || kind != checkedKind) continue;

        CUtility rebuilt;
        rebuilt.m_pEventLog = &log;
        std::uint8_t newVersion[kVersionBytes] = {};
        if (GetVersionFromImage(out.data(), out.size(), newVersion, rebuilt, log) != 0)
            Broken("a rebuilt good image fails the check");
        if (checkedCodeLength >= kVersionCodeOffset + kVersionBytes &&
            std::memcmp(version, newVersion, kVersionBytes) != 0)
            Broken("the rebuilt image has another version");
    }
}

}  // namespace qnl::fuzz
