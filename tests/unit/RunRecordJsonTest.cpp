// The run records: SHA-256, local time with its zone offset, the JSON line and its escaping,
// and records of whole runs written through the appender and checked against the schema.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "app/RunRecordJson.h"
#include "platform/Sha256.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "qnl-records-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The zone of the process for one scope (TZ and tzset), put back afterwards.
class ZoneScope {
  public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST(Sha256Test, StandardVectorsInOneOrManyPiecesAndOfAFile) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block, so the padding takes a second one.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // One million 'a', given in pieces that straddle the 64-byte blocks.
    Sha256 hash;
    const std::string piece(1000, 'a');
    for (int i = 0; i < 1000; ++i) hash.Update(piece.data(), piece.size());
    const auto digest = hash.Final();
    EXPECT_EQ(digest[0], 0xcd);
    EXPECT_EQ(digest[31], 0xd0);  // cdc76e5c...c7112cd0

    TempFolder folder;
    std::ofstream(folder.File("fw.bin"), std::ios::binary) << "abc";
    EXPECT_EQ(Sha256OfFile(folder.File("fw.bin")), Sha256Hex("abc"));
    EXPECT_EQ(Sha256OfFile(folder.File("fw.bin"), 2), std::nullopt);  // larger than allowed
    EXPECT_EQ(Sha256OfFile(folder.File("missing.bin")), std::nullopt);
    EXPECT_EQ(Sha256OfFile(folder.Path()), std::nullopt);  // a folder
}

TEST(ZonedTimeTest, IsoTextCarriesTheZoneOffsetWithSummerTime) {
    const std::time_t winter = 1796765045;  // 2026-12-08 21:24:05 UTC
    const std::time_t summer = 1782907200;  // 2026-07-01 12:00:00 UTC
    {
        ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(Iso8601Text(ZonedTimeOf(winter)), "2026-12-08T22:24:05+01:00");
        EXPECT_EQ(Iso8601Text(ZonedTimeOf(summer)), "2026-07-01T14:00:00+02:00");
    }
    {
        ZoneScope zone("UTC0");
        EXPECT_EQ(Iso8601Text(ZonedTimeOf(winter)), "2026-12-08T21:24:05+00:00");
    }
    {
        ZoneScope zone("<+0545>-5:45");
        EXPECT_EQ(Iso8601Text(ZonedTimeOf(winter)), "2026-12-09T03:09:05+05:45");
    }
    {
        // West of UTC with half hours: the minutes keep the sign of the hours.
        ZoneScope zone("<-0330>3:30");
        EXPECT_EQ(ZonedTimeOf(winter).utcOffsetMinutes, -210);
        EXPECT_EQ(Iso8601Text(ZonedTimeOf(winter)), "2026-12-08T17:54:05-03:30");
    }
}

HostEntry Host(std::uint8_t index, std::uint8_t bus) {
    HostEntry host;
    host.index = index;
    host.bus = bus;
    host.ssid = "3500";
    host.svid = "1e73";
    host.fwVersionBefore = "170101_00_50_01";
    host.fwVersionAfter = "170707_00_50_01";
    return host;
}

void SetItem(HostEntry& host, ResultItem item, ItemState state, std::int32_t errorCode,
             std::uint64_t ms) {
    ItemEntry& entry = host.Item(item);
    entry.state = state;
    entry.text = state == ItemState::Pass ? "PASS" : "FAIL";
    entry.errorCode = errorCode;
    entry.startUs = 1000;
    entry.endUs = 1000 + ms * 1000;
}

RunFacts Facts(std::int32_t exitCode) {
    RunFacts facts;
    facts.toolVersion = "1.1.2.1";
    facts.stationHost = "line7-station";
    facts.backend = "sim";
    facts.startTime = 1796765045;
    facts.endTime = facts.startTime + 42;
    facts.settingsFileName = "QNL7350AMPTool.ini";
    facts.settingsSha256 = Sha256Hex("ver=18\r\n");
    facts.firmwareFileName = "fw/qnl7350a_170707.bin";
    facts.firmwareSize = 65536;
    facts.firmwareSha256 = Sha256Hex("image");
    facts.firmwareVersion = "170707_00_50_01";
    facts.itemMask = 0x07;
    facts.exitCode = exitCode;
    return facts;
}

TEST(RunRecordJsonTest, HostileTextsGiveOneValidAsciiLine) {
    RunFacts facts = Facts(0);
    facts.stationHost = "st\"a\\tion\n\r\t\x01\x7f";
    facts.settingsFileName = "\xe8\xae\xbe\xe7\xbd\xae.ini";  // valid UTF-8
    facts.firmwareFileName = "fw\xe9.bin\xe2\x82";            // Latin-1 byte, cut sequence
    facts.firmwareSha256.clear();
    facts.serialNumber.clear();
    HostEntry host = Host(7, 0x0a);
    host.device = 0x1f;
    host.function = 7;
    host.fwVersionAfter.clear();
    SetItem(host, ResultItem::Usb31Port2, ItemState::Fail, -3, 12);
    host.Item(ResultItem::Usb31Port2).text = "FAIL \"x\"\n";

    const ZonedTime start{{2026, 12, 8, 22, 24, 5}, 60};
    const ZonedTime end{{2026, 12, 8, 22, 25, 0}, 60};
    const std::string line = RunRecordJsonLine(facts, {host}, start, end);

    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    for (const char c : line.substr(0, line.size() - 1))
        ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(static_cast<unsigned char>(c));

    const auto record = nlohmann::json::parse(line);
    EXPECT_EQ(record["station"], facts.stationHost);
    EXPECT_EQ(record["settings"]["name"], facts.settingsFileName);
    EXPECT_EQ(record["firmware"]["name"], "fw\xef\xbf\xbd.bin\xef\xbf\xbd");
    EXPECT_TRUE(record["firmware"]["sha256"].is_null());
    EXPECT_TRUE(record["serial_number"].is_null());
    EXPECT_EQ(record["start"], "2026-12-08T22:24:05+01:00");
    const auto& h = record["hosts"][0];
    EXPECT_EQ(h["pci_address"], "0000:0a:1f.7");
    EXPECT_TRUE(h["fw_version_after"].is_null());
    EXPECT_EQ(h["items"].size(), kResultItemCount);
    EXPECT_EQ(h["items"]["usb31_port2"],
              nlohmann::json::parse(
                  R"({"state":"fail","text":"FAIL \"x\"\n","error_code":-3,"duration_ms":12})"));
    EXPECT_EQ(h["items"]["fw_update"]["state"], "not_run");
}

// Three runs through the appender into one day's file, then the checker over the folder: a
// passing run, a run whose first host was given up on at the limit (its update failed with
// -9, nothing after it reached) and a run whose second host failed its port test.
TEST(RunRecordJsonTest, RecordsOfWholeRunsPassTheSchemaCheck) {
    if (RecordCheckPython().empty()) GTEST_SKIP() << "no python3 to run the record check";
    const ResultItem passing[] = {ResultItem::FwUpdate, ResultItem::FwCheck,
                                  ResultItem::Usb2Port1, ResultItem::Usb2Port2,
                                  ResultItem::SignalLineOverall};
    std::vector<HostEntry> good = {Host(0, 3), Host(1, 4)};
    for (auto& host : good)
        for (const ResultItem item : passing) SetItem(host, item, ItemState::Pass, 0, 4500);

    std::vector<HostEntry> timedOut = good;
    timedOut[0] = Host(0, 3);
    timedOut[0].fwVersionAfter = timedOut[0].fwVersionBefore;
    SetItem(timedOut[0], ResultItem::FwUpdate, ItemState::Fail, -9, 200000);

    std::vector<HostEntry> failing = good;
    SetItem(failing[1], ResultItem::Usb2Port1, ItemState::Fail, -3, 800);
    SetItem(failing[1], ResultItem::SignalLineOverall, ItemState::Fail, -3, 1600);
    RunFacts failingFacts = Facts(-3);
    failingFacts.serialNumber = "1A2B3C4D";
    failingFacts.page = 2;

    TempFolder tool;
    const RunRecordWrite first = WriteRunRecord(tool.Path(), Facts(0), good);
    ASSERT_TRUE(first.written) << first.error;
    EXPECT_EQ(first.path, tool.File("records/" +
                                    RunRecordFileName(ZonedTimeOf(Facts(0).endTime).local)));
    ASSERT_TRUE(WriteRunRecord(tool.Path(), Facts(1), timedOut).written);
    ASSERT_TRUE(WriteRunRecord(tool.Path(), failingFacts, failing).written);
    const std::string records = ReadFile(first.path);
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 3);

    const ToolResult check = CheckRunRecords(tool.Path());
    EXPECT_EQ(check.status, 0) << check.out << check.err;

    // The check finds what is wrong and where: an unknown state, a partial last line.
    TempFolder broken;
    fs::create_directory(broken.File("records"));
    std::string line = RunRecordJsonLine(Facts(0), good, ZonedTimeOf(0), ZonedTimeOf(0));
    line.replace(line.find("\"pass\""), 6, "\"passed\"");
    std::ofstream(broken.File("records/20261208.jsonl"), std::ios::binary)
        << records << line << records.substr(0, 40);
    const ToolResult bad = CheckRunRecords(broken.Path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("20261208.jsonl:4: hosts/0/items/fw_update/state: 'passed'"),
              std::string::npos)
        << bad.out;
    EXPECT_NE(bad.out.find("20261208.jsonl:5: the line does not end"), std::string::npos)
        << bad.out;
    EXPECT_EQ(bad.out.find("20261208.jsonl:1:"), std::string::npos) << bad.out;
}

TEST(RunRecordJsonTest, ARecordsPathThatIsNoFolderFailsTheWrite) {
    TempFolder tool;
    std::ofstream(tool.File("records")) << "x";
    const RunRecordWrite write = WriteRunRecord(tool.Path(), Facts(0), {Host(0, 3)});
    EXPECT_FALSE(write.written);
    EXPECT_EQ(write.error, tool.File("records") + " is not a folder");
    EXPECT_EQ(ReadFile(tool.File("records")), "x");
}

}  // namespace
}  // namespace qnl::test
