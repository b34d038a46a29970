// The firmware path list and the browse that writes "BrowsedBINPath.txt".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/EventStore.h"
#include "settings/FirmwarePathList.h"
#include "support/RecordingPrompts.h"

namespace qnl::test {
namespace {

using List = std::vector<std::string>;

TEST(FirmwarePathList, RefreshInsertsOnTopEvenWhenListedAndKeepsFive) {
    List list;
    for (const char* name : {"A.BIN", "B.BIN", "", "B.BIN", "E.BIN", "F.BIN"})
        InsertFirmwareListTop(list, name);
    EXPECT_EQ(list, (List{"F.BIN", "E.BIN", "B.BIN", "", "B.BIN"}));
}

TEST(FirmwarePathList, BrowsedPathMovesToTopWithoutDuplicateComparedExactly) {
    List list{"\\FW\\A.BIN", "\\FW\\B.BIN", "\\fw\\b.bin"};
    PutBrowsedPathOnTop(list, "\\FW\\B.BIN");
    EXPECT_EQ(list, (List{"\\FW\\B.BIN", "\\FW\\A.BIN", "\\fw\\b.bin"}));
    for (const char* name : {"1", "2", "3", "4"}) PutBrowsedPathOnTop(list, name);
    EXPECT_EQ(list, (List{"4", "3", "2", "1", "\\FW\\B.BIN"}));
}

class Browse : public ::testing::Test {
  protected:
    Browse() : log_(&events_, clock_, "tester") {
        folder_ = (std::filesystem::temp_directory_path() / "qnl-browse-XXXXXX").string();
        if (::mkdtemp(folder_.data()) == nullptr) throw std::runtime_error("mkdtemp");
    }
    ~Browse() override { std::filesystem::remove_all(folder_); }

    std::string MakeFile(const std::string& name) {
        const std::string path = folder_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "x";
        return path;
    }
    std::string History() {
        std::ifstream in(folder_ + "/" + kBrowsedBinPathFileName, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool HistoryExists() {
        return std::filesystem::exists(folder_ + "/" + kBrowsedBinPathFileName);
    }
    std::optional<FirmwareBrowse> Run(List& list) {
        return BrowseFirmwareFile(prompts_, log_, folder_, list, "PageDevice::OnBnClickedBrowse");
    }
    std::string LogText() {
        std::string all;
        for (const auto& e : events_.ReadAll()) all += e.text;
        return all;
    }

    ManualClock clock_;
    MemoryEventStore events_;
    CEventLog log_;
    RecordingPrompts prompts_;
    std::string folder_;
};

TEST_F(Browse, ChosenFileGoesOnTopInSettingsFormAndTheHistoryListsItLast) {
    const std::string path = MakeFile("fw/qnl.bin");
    List list{"OLD.BIN", "\\X\\Y.BIN"};
    prompts_.fileAnswers.push_back(path);
    const auto result = Run(list);
    ASSERT_TRUE(result);
    std::string expected = path;
    for (char& c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(result->settingsName, expected);
    EXPECT_EQ(list, (List{expected, "OLD.BIN", "\\X\\Y.BIN"}));
    EXPECT_EQ(History(), "OLD.BIN\r\n\\X\\Y.BIN\r\n" + expected + "\r\n");
    ASSERT_EQ(prompts_.fileQuestions.size(), 1u);
    EXPECT_EQ(prompts_.fileQuestions[0].startFolder, folder_);
    EXPECT_EQ(prompts_.fileQuestions[0].filter, kFirmwareBrowseFilter);

    // The same file again: moved to the top, listed once, in the history once.
    prompts_.fileAnswers.push_back(path);
    list.insert(list.begin() + 1, "NEWER.BIN");
    ASSERT_TRUE(Run(list));
    EXPECT_EQ(list, (List{expected, "NEWER.BIN", "OLD.BIN", "\\X\\Y.BIN"}));
    EXPECT_EQ(History(), "NEWER.BIN\r\nOLD.BIN\r\n\\X\\Y.BIN\r\n" + expected + "\r\n");
}

TEST_F(Browse, CancelledOrMissingFileChangesNothing) {
    List list{"A.BIN"};
    prompts_.fileAnswers.push_back(std::nullopt);
    prompts_.fileAnswers.push_back(std::string());
    prompts_.fileAnswers.push_back(folder_ + "/missing.bin");
    EXPECT_FALSE(Run(list));
    EXPECT_FALSE(Run(list));
    EXPECT_FALSE(Run(list));
    EXPECT_EQ(list, List{"A.BIN"});
    EXPECT_FALSE(HistoryExists());
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0], folder_ + "/missing.bin File/Path is not exist");
}

TEST_F(Browse, OverLongPathIsRefusedWholeWithAMessageAndALogLine) {
    // A path of 255 characters in the settings form: cutting it would name another file.
    std::string name = "fw/";
    const std::size_t room = 255 - (folder_.size() + 1) - name.size();
    name += std::string(room - 4, 'a') + ".bin";
    const std::string path = MakeFile(name);
    ASSERT_EQ(path.size(), 255u);
    List list{"A.BIN"};
    prompts_.fileAnswers.push_back(path);
    EXPECT_FALSE(Run(list));
    EXPECT_EQ(list, List{"A.BIN"});
    EXPECT_FALSE(HistoryExists());
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(prompts_.messages[0].find("longer than 254 characters"), std::string::npos);
    EXPECT_NE(LogText().find("PageDevice::OnBnClickedBrowse"), std::string::npos);

    // One character less fits and is stored whole.
    const std::string fits = MakeFile(name.substr(0, name.size() - 5) + ".bin");
    prompts_.fileAnswers.push_back(fits);
    const auto result = Run(list);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->settingsName.size(), 254u);
}

// A name the settings cannot hold as it is: with a line end it would add a line of the
// operator's making; with a '\' it would name another file ("back\slash.bin" resolves to
// "back/slash.bin").
TEST_F(Browse, PathsTheSettingsCannotNameAreRefused) {
    MakeFile("back/slash.bin");
    for (const auto& [name, says] : std::vector<std::pair<std::string, std::string>>{
             {"a\nfw_update_enable=0.bin", "control character"},
             {"back\\slash.bin", "cannot be kept in the settings"}}) {
        const std::string path = MakeFile(name);
        List list;
        prompts_.messages.clear();
        prompts_.fileAnswers.push_back(path);
        EXPECT_FALSE(Run(list)) << name;
        EXPECT_TRUE(list.empty());
        ASSERT_EQ(prompts_.messages.size(), 1u);
        EXPECT_NE(prompts_.messages[0].find(says), std::string::npos) << prompts_.messages[0];
    }
}

}  // namespace
}  // namespace qnl::test
