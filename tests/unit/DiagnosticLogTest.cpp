// The diagnostic stores (file and journal) and the "Debug Log" export.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/DebugLog.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/JournalEventStore.h"

namespace qnl {
namespace {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qnl-diag-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

EventRecord Event(std::time_t time, std::uint16_t type, const std::string& text,
                  const std::string& source = kEventSourceName,
                  std::uint32_t id = kEventIdentifier) {
    EventRecord r;
    r.time = time;
    r.type = type;
    r.eventId = id;
    r.source = source;
    r.user = "op";
    r.text = text;
    return r;
}

TEST(DebugLogExport, WritesOnlyTheToolsEventsInTheWindowsLineFormat) {
    TempFolder folder;
    ManualClock clock;
    clock.SetLocalTime({2026, 3, 4, 5, 6, 7});
    const std::time_t t = clock.WallNow();
    MemoryEventStore store;
    store.Append(Event(t, 1, "\r\nCInterctl::ScanPciBus:236: dwErrorCode 5"));
    store.Append(Event(t, 1, "other source", "Another Tool"));
    store.Append(Event(t, 1, "other identifier", kEventSourceName, 0x20000002));
    store.Append(Event(t + 1, 2, "warn"));
    store.Append(Event(t + 2, 4, "info"));
    store.Append(Event(t + 3, 8, "odd type"));
    store.Append(Event(t + 4, 1, std::string(1500, 'x')));

    CDebugLog debugLog(&store, clock, folder.path);
    const DebugLogExport result = debugLog.ExportDebugLog();
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.path, folder.path + "/log/MPLog_20260304050607.txt");
    EXPECT_EQ(result.message, "Log file [" + result.path + "] is exported");
    // Text mode: every line feed, also those inside a text, goes out as CR LF.
    EXPECT_EQ(*files::ReadText(result.path),
              "2026/03/04 05:06:07\tEVENTLOG_ERROR_TYPE\t\r\r\nCInterctl::ScanPciBus:236: "
              "dwErrorCode 5\r\n"
              "2026/03/04 05:06:08\tEVENTLOG_WARNING_TYPE\twarn\r\n"
              "2026/03/04 05:06:09\tEVENTLOG_INFORMATION_TYPE\tinfo\r\n"
              "2026/03/04 05:06:10\tUnknown\todd type\r\n"
              "2026/03/04 05:06:11\tEVENTLOG_ERROR_TYPE\t" +
                  std::string(1023, 'x') + "\r\n");
}

TEST(DebugLogExport, AnExportInTheSameSecondReplacesTheFileAndNoEventsGiveAnEmptyFile) {
    TempFolder folder;
    ManualClock clock;
    MemoryEventStore store;
    store.Append(Event(clock.WallNow(), 1, "first"));
    CDebugLog withEvents(&store, clock, folder.path);
    const auto first = withEvents.ExportDebugLog();
    ASSERT_NE(files::ReadText(first.path)->find("first"), std::string::npos);

    MemoryEventStore empty;
    CDebugLog withoutEvents(&empty, clock, folder.path);
    const auto second = withoutEvents.ExportDebugLog();
    EXPECT_EQ(second.path, first.path);
    EXPECT_TRUE(second.written);
    EXPECT_EQ(*files::ReadText(second.path), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path + "/log"),
                            std::filesystem::directory_iterator{}),
              1);
}

TEST(DebugLogExport, ReadsBackInOrderFromTheFileStoreAndSurvivesAFolderItCannotCreate) {
    TempFolder folder;
    ManualClock clock;
    FileEventStore store(folder.path + "/log/events.log");
    CEventLog log(&store, clock, "op");
    for (int i = 0; i < 5; ++i) log.LogMessage(1, "\r\n%s:%d: step %d", "A::B", 10, i);
    CDebugLog debugLog(&store, clock, folder.path);
    const std::string text = *files::ReadText(debugLog.ExportDebugLog().path);
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const auto found = text.find("step " + std::to_string(i), at);
        ASSERT_NE(found, std::string::npos) << i;
        at = found;
    }

    // A tool folder that is a file: nothing can be created below it, and nobody fails.
    const std::string blocker = folder.path + "/not-a-folder";
    std::ofstream(blocker) << "x";
    FileEventStore blocked(blocker + "/log/events.log");
    CEventLog blockedLog(&blocked, clock, "op");
    EXPECT_EQ(blockedLog.LogMessage(1, "abc"), 3);
    EXPECT_TRUE(blocked.ReadAll().empty());
    CDebugLog blockedExport(&blocked, clock, blocker);
    const auto result = blockedExport.ExportDebugLog();
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.message.empty());
}

TEST(FileEventStore, TwoProcessesAndSeveralThreadsWriteWholeLines) {
    TempFolder folder;
    const std::string path = folder.path + "/log/events.log";
    constexpr int kPerWriter = 200;
    // Long texts make a torn or interleaved line likely if writes were not whole.
    const std::string padding(900, 'p');
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            FileEventStore store(path);
            for (int i = 0; i < kPerWriter; ++i)
                store.Append(
                    Event(1, 1, "proc" + std::to_string(p) + "-" + std::to_string(i) + padding));
            ::_exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            FileEventStore store(path);
            for (int i = 0; i < kPerWriter; ++i)
                store.Append(
                    Event(1, 1, "thread" + std::to_string(t) + "-" + std::to_string(i) + padding));
        });
    for (auto& th : threads) th.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto events = FileEventStore(path).ReadAll();
    ASSERT_EQ(events.size(), 5u * kPerWriter);
    std::set<std::string> texts;
    for (const auto& e : events) {
        ASSERT_EQ(e.text.substr(e.text.size() - padding.size()), padding);
        texts.insert(e.text);
    }
    EXPECT_EQ(texts.size(), 5u * kPerWriter);
}

TEST(FileEventStore, AWriterThatDiedMidLineDoesNotCostTheNextEvent) {
    TempFolder folder;
    const std::string path = folder.path + "/events.log";
    FileEventStore store(path);
    store.Append(Event(1, 1, "before"));
    {
        std::ofstream out(path, std::ios::app);
        // Torn inside the text: all fields there, the checksum missing.
        out << "QEV2\t2\t1\t20000001\tQNLT 735X MP Tool\top\thalf of a te";
    }
    store.Append(Event(3, 1, "after"));
    {
        std::ofstream out(path, std::ios::app);
        out << std::string(100000, 'g') << "\n"
            << "QEV1\tnot a number\n";
        // A whole line whose text was altered fails its checksum.
        std::string altered = FileEventStore::EncodeLine(Event(5, 1, "original"));
        altered.replace(altered.find("original"), 8, "modified");
        out << altered;
    }
    store.Append(Event(4, 1, "last"));
    const auto events = store.ReadAll();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].text, "before");
    EXPECT_EQ(events[1].text, "after");
    EXPECT_EQ(events[2].text, "last");
}

TEST(JournalEventStore, WritesEntriesThatReadBackWithTheirFields) {
    std::string why;
    if (!JournalEventStore::Available(&why)) GTEST_SKIP() << why;
    const std::string marker = "\r\nJournalEventStoreTest:1: marker " + std::to_string(::getpid()) +
                               "-" + std::to_string(std::time(nullptr));
    JournalEventStore store(kEventSourceName);
    store.Append(Event(std::time(nullptr), 1, marker));
    // The journal takes the entry asynchronously.
    std::vector<EventRecord> found;
    for (int attempt = 0; attempt < 50 && found.empty(); ++attempt) {
        for (const auto& e : store.ReadAll())
            if (e.text == marker) found.push_back(e);
        if (found.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(found.size(), 1u) << "the entry did not come back from the journal";
    EXPECT_EQ(found[0].source, kEventSourceName);
    EXPECT_EQ(found[0].eventId, kEventIdentifier);
    EXPECT_EQ(found[0].type, 1);
    EXPECT_EQ(found[0].user, "op");
}

TEST(DiagnosticStoreChoice, TheFileStoreWhenAskedForOrWhenNoJournalRuns) {
    std::string description;
    auto store = OpenDiagnosticStore("/tool", kEventSourceName, "file", &description);
    ASSERT_NE(dynamic_cast<FileEventStore*>(store.get()), nullptr);
    EXPECT_EQ(static_cast<FileEventStore*>(store.get())->Path(), "/tool/log/events.log");
    auto automatic = OpenDiagnosticStore("/tool", kEventSourceName, "", &description);
    EXPECT_EQ(dynamic_cast<JournalEventStore*>(automatic.get()) != nullptr,
              JournalEventStore::Available())
        << description;
}

}  // namespace
}  // namespace qnl
