#include "support/FuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "app/MainWindowControls.h"
#include "controller/CUtility.h"
#include "firmware/ConfigRom.h"
#include "image/ImageCheck.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventLog.h"
#include "platform/EventStore.h"
#include "platform/Files.h"
#include "platform/OperatorPrompts.h"
#include "qnlio/sim/StationConfig.h"
#include "settings/CIni.h"
#include "settings/FileAccess.h"

namespace qnl::fuzz {

namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// A tool folder of this process for the settings file and the firmware it names, made once.
// Removed when the process ends.
struct FuzzFolder {
    FuzzFolder() {
        namespace fs = std::filesystem;
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path dir = base / ("qnl-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir / "fw");
        std::ofstream(dir / "fw" / "new.bin", std::ios::binary) << "firmware";
        path = dir.string();
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

const std::string& FuzzToolFolder() {
    static const FuzzFolder folder;
    return folder.path;
}

// The settings file through CIni::bLoadINIFile, compared with what the reader alone found.
void SettingsFileLoad(std::string_view text) {
    const std::string& folder = FuzzToolFolder();
    const std::string path = folder + "/" + kIniFileName;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) Broken("cannot write the settings file");
    }
    static ManualClock clock;
    MemoryConsole console;
    ConsolePrompts prompts(console);
    CEventLog log(nullptr, clock, "fuzz");
    CUtility util;
    util.strToolFolder = folder;
    CIni ini(prompts, util, log);
    const std::uint8_t loaded = ini.bLoadINIFile(path);
    if (loaded != util.m_ucIniLoaded) Broken("settings-loaded flag differs from the result");

    IniSettings read;
    const IniParseReport report = ParseIniText(text, read);
    // A file larger than the limit is refused unread, with every value cleared.
    if (text.size() > kIniMaxFileBytes) read = IniSettings{};
    bool expected = text.size() <= kIniMaxFileBytes && report.allKeysKnown && read.ver == 18 &&
                    report.countedLines <= kIniMaxCountedLines;
    if (expected && read.fw_update_enable == 1) {
        MemoryConsole quiet;
        ConsolePrompts silent(quiet);
        expected = bCheckSettingsFileName(silent, folder, read.fw_binary_name) == 1;
    }
    if ((loaded == 1) != expected) Broken("settings load result");
    // What a load leaves is what the reader read (a failed load keeps what it read).
    if (!(static_cast<const IniSettings&>(ini) == read)) Broken("loaded values");
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

    SettingsFileLoad(text);
}

void StationDescription(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto station = sim::ParseStationText(text, FuzzToolFolder() + "/station.json", error);
    if (!station) {
        if (error.empty()) Broken("a refused station without a reason");
        return;
    }
    if (!(station->timeScale > 0.0)) Broken("time scale not positive");
    const auto& cs = station->controllers;
    for (std::size_t i = 0; i < cs.size(); ++i) {
        const auto& c = cs[i];
        if (c.kind != 0 && c.kind != 1) Broken("controller kind");
        if (c.device >= 32 || c.function >= 8) Broken("PCI address");
        if (c.bar0 == 0 || (c.bar0 & 0xFFFFu) != 0) Broken("register window");
        if (c.flashPath.empty()) Broken("flash file");
        for (std::size_t j = 0; j < i; ++j) {
            const auto& o = cs[j];
            if (o.bar0 == c.bar0) Broken("two controllers share a register window");
            if (o.bus == c.bus && o.device == c.device && o.function == c.function)
                Broken("two controllers at one address");
        }
        for (const auto& d : station->otherDevices)
            if (d.bus == c.bus && d.device == c.device && d.function == c.function)
                Broken("a device at a controller's address");
    }
}

void CommandLine(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    const std::string text = GatherCommandLine(arguments);
    if (text.find_first_of("\t\n") != std::string::npos) Broken("tab or line feed kept");
    CommandLineState state;
    const auto stop = ParseCommandLine(text, state);
    if (stop) {
        if (stop->usage ? stop->exitCode != 0
                        : (stop->exitCode != -1 && stop->exitCode != -10) || stop->message.empty())
            Broken("stop");
        return;
    }
    if (state.hasCommandLine != !text.empty()) Broken("has-command-line");
    if (state.testPort > 9 || state.testSpeed > 9) Broken("port or speed is not a digit");
    if (state.compareVersion && state.inputVersion.empty()) Broken("/T without a value");
    if (state.compareIds && state.inputIds.empty()) Broken("/I without a value");
}

void DiagnosticStoreLines(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        EventRecord first;
        if (FileEventStore::DecodeLine(bytes.substr(start, end - start), first)) {
            std::string line = FileEventStore::EncodeLine(first);
            if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1)
                Broken("an event line holds one line end, at its end");
            line.pop_back();
            EventRecord second;
            if (!FileEventStore::DecodeLine(line, second)) Broken("a written event does not read");
            if (second.time != first.time || second.type != first.type ||
                second.eventId != first.eventId || second.source != first.source ||
                second.user != first.user || second.text != first.text)
                Broken("event round trip");
        }
        start = end + 1;
    }

    EventRecord any;
    any.time = static_cast<std::time_t>(size);
    any.type = 1;
    any.eventId = 0x20000001;
    any.source = kEventSourceName;
    any.text = bytes;
    any.user = bytes.substr(0, 16);
    std::string line = FileEventStore::EncodeLine(any);
    line.pop_back();
    EventRecord back;
    if (!FileEventStore::DecodeLine(line, back) || back.text != any.text || back.user != any.user)
        Broken("any text survives the event line");
}

void FirmwareFile(const std::uint8_t* data, std::size_t size) {
    static ManualClock clock;
    CEventLog log(nullptr, clock, "fuzz");
    const std::span<const std::uint8_t> image(data, size);

    ImageFacts facts;
    const std::int32_t rc = GetVersionFromImage(image, facts, log);
    const std::uint8_t checkedKind = facts.kind;
    const std::uint32_t checkedCodeLength = facts.codeLength;

    for (std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{1}}) {
        BinFileStruct parts;
        if (!TakeImageApart(image, kind, parts, log)) {
            if (rc == 0 && kind == checkedKind) Broken("a checked image cannot be taken apart");
            continue;
        }
        (void)ReadFirmwareInfoFields(parts, kind);

        const std::vector<ConfigEntryBytes> entries = {MakeConfigEntry(2, 0xE260, 0x1D6A),
                                                       MakeConfigEntry(1, 0xE241, 0x0B)};
        std::vector<std::uint8_t> out(ImageLength(parts, entries.size()), 0);
        if (InsertCFGToBin(parts, out, entries) != 0) continue;
        if (rc != 0 || kind != checkedKind) continue;
        // The rebuilt image ends after the code. An image whose code is shorter than the
        // version's place took its version from bytes behind the code, which the rebuild does
        // not keep: only images that carry their version in their code are held to the rules.
        if (checkedCodeLength < kVersionCodeOffset + kVersionBytes) continue;

        ImageFacts rebuilt;
        if (GetVersionFromImage(out, rebuilt, log) != 0)
            Broken("a rebuilt good image fails the check");
        if (rebuilt.version != facts.version) Broken("the rebuilt image has another version");
    }
}

}  // namespace qnl::fuzz
