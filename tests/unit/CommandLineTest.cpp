// Command-line parsing: option order, values, and what ends the process during parsing.
#include <gtest/gtest.h>

#include <random>

#include "app/CommandLine.h"

namespace qnl {
namespace {

CommandLineState Parse(const std::string& text) {
    CommandLineState state;
    auto stop = ParseCommandLine(text, state);
    EXPECT_FALSE(stop.has_value()) << "unexpected stop for: " << text;
    return state;
}

std::int32_t StopCode(const std::string& text, std::string* message = nullptr) {
    CommandLineState state;
    auto stop = ParseCommandLine(text, state);
    if (!stop) {
        ADD_FAILURE() << "no stop for: " << text;
        return 0;
    }
    if (message) *message = stop->message;
    return stop->exitCode;
}

TEST(CommandLineGather, JoinsArgumentsAndDropsTabsAndLineFeeds) {
    EXPECT_EQ(GatherCommandLine({"/S", "/T", "16\t05\n05"}), "/S /T 160505");
    EXPECT_EQ(GatherCommandLine({}), "");
}

TEST(CommandLineUsage, HasSixteenLinesStartingWithTheVersion) {
    const std::string usage = UsageText();
    EXPECT_EQ(usage.rfind("QNL7350A MPTool.exe Ver 1.1.2.1\r\n", 0), 0u);
    int lines = 0;
    for (std::size_t p = 0; (p = usage.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 16);
    EXPECT_NE(usage.find(" /P [Bus:Device:Function ]\tAssign PCI Address\r\n"), std::string::npos);
}

TEST(CommandLineParse, QuestionMarkAnywhereShowsUsageBeforeAnythingElse) {
    CommandLineState state;
    auto stop = ParseCommandLine("/S /D /?", state);
    ASSERT_TRUE(stop);
    EXPECT_TRUE(stop->usage);
    EXPECT_FALSE(state.silent);
    EXPECT_FALSE(state.hasCommandLine);
}

TEST(CommandLineParse, OptionsInEitherCase) {
    auto lower = Parse("/a /s /d /t 1.2");
    auto upper = Parse("/A /S /D /T 1.2");
    for (const auto* st : {&lower, &upper}) {
        EXPECT_TRUE(st->autoMode && st->silent && st->showVersion && st->compareVersion);
        EXPECT_EQ(st->inputVersion, "1.2");
    }
}

TEST(CommandLineParse, AnyWordIsACommandLine) {
    auto st = Parse("hello");
    EXPECT_TRUE(st.hasCommandLine);
    EXPECT_FALSE(st.silent);
    EXPECT_FALSE(Parse("").hasCommandLine);
}

TEST(CommandLineParse, VersionTakesTheRestOfTheText) {
    auto st = Parse("/T 1.0 /O");
    EXPECT_EQ(st.inputVersion, "1.0 /O");
    EXPECT_TRUE(st.outputVersionFile);
    EXPECT_EQ(Parse("/D /T x").inputVersion, "x");
}

TEST(CommandLineParse, MissingValuesEndWithTheirCodes) {
    std::string message;
    EXPECT_EQ(StopCode("/S /T", &message), -1);
    EXPECT_EQ(message, "Please Input Version!!\r\n");
    EXPECT_EQ(StopCode("/I   ", &message), -1);
    EXPECT_EQ(message, "Please Input SSID/SVID!!\r\n");
    EXPECT_EQ(StopCode("/P", &message), -10);
    EXPECT_EQ(message, "Please Input PCI Address Parameter Bus:Device:Function!!! ");
    EXPECT_EQ(StopCode("/S /G", &message), -1);
    EXPECT_EQ(message, "Please Input [Port][Speed]!!\r\n");
    EXPECT_EQ(StopCode("/F"), -1);
}

TEST(CommandLineParse, AddressThenTestOverride) {
    auto st = Parse("/P 3:0:0 /G 12");
    EXPECT_TRUE(st.assignAddress);
    EXPECT_EQ(st.assignedBus, 3);
    EXPECT_EQ(st.assignedDevice, 0);
    EXPECT_EQ(st.assignedFunction, 0);
    EXPECT_TRUE(st.signalOverride);
    EXPECT_EQ(st.testPort, 1);
    EXPECT_EQ(st.testSpeed, 2);
}

TEST(CommandLineParse, AddressPartsAsAtoiReadsThem) {
    auto st = Parse("/p 10:31:7");
    EXPECT_EQ(st.assignedBus, 10);
    EXPECT_EQ(st.assignedDevice, 31);
    EXPECT_EQ(st.assignedFunction, 7);
    st = Parse("/P 2x:1y:z");
    EXPECT_EQ(st.assignedBus, 2);
    EXPECT_EQ(st.assignedDevice, 1);
    EXPECT_EQ(st.assignedFunction, 0);
    // With two parts the device is what follows the only ':', and so is the function.
    st = Parse("/P 4:5");
    EXPECT_EQ(st.assignedBus, 4);
    EXPECT_EQ(st.assignedDevice, 5);
    EXPECT_EQ(st.assignedFunction, 5);
}

TEST(CommandLineParse, PartsThatCannotBeConvertedWholeAndOutOfRangeValuesAreRefused) {
    EXPECT_EQ(StopCode("/P 12345678:0:0"), -10);
    // Cut to seven characters these would read as another address (0, 0, 1).
    EXPECT_EQ(StopCode("/P 00000004:0:0"), -10);
    EXPECT_EQ(StopCode("/P 0:0:000000001"), -10);
    EXPECT_EQ(StopCode("/P 0:  0000001:0"), -10);
    // The number itself fits: what follows it is not read anyway.
    EXPECT_EQ(Parse("/P 1:2:3" + std::string(5000, 'x')).assignedFunction, 3);
    EXPECT_EQ(Parse("/P 0000004:0:0").assignedBus, 4);
    EXPECT_EQ(StopCode("/P 256:0:0"), -10);
    EXPECT_EQ(StopCode("/P -1:0:0"), -10);
    EXPECT_EQ(Parse("/P 0000255:0:0").assignedBus, 255);
}

TEST(CommandLineParse, PortAndSpeedDigits) {
    auto st = Parse("/G 37");
    EXPECT_EQ(st.testPort, 3);
    EXPECT_EQ(st.testSpeed, 7);
    st = Parse("/F x2 y1");
    EXPECT_TRUE(st.fixtureOverride);
    EXPECT_EQ(st.testPort, 2);
    EXPECT_EQ(st.testSpeed, 1);
    // Digits that select no port or no speed would run a test of nothing.
    for (const char* text : {"/F x4", "/G 30", "/G 00", "/G 8", "/G ab"}) {
        std::string message;
        EXPECT_EQ(StopCode(text, &message), -10) << text;
        EXPECT_NE(message.find("Invalid [Port][Speed]"), std::string::npos) << message;
    }
}

TEST(CommandLineParse, ThousandsOfRandomCommandLinesNeverCrash) {
    std::mt19937 rng(20261207);
    const std::string alphabet = "/?aAsSdDtToOiIpPgGfF0123456789:. x\t-";
    int stops = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        const int length = static_cast<int>(rng() % 40);
        for (int j = 0; j < length; ++j) {
            // Mostly option-like characters, now and then any byte.
            if (rng() % 16 == 0)
                text += static_cast<char>(rng() % 256);
            else
                text += alphabet[rng() % alphabet.size()];
        }
        CommandLineState state;
        auto stop = ParseCommandLine(text, state);
        if (stop) {
            ++stops;
            EXPECT_TRUE(stop->usage || stop->exitCode == -1 || stop->exitCode == -10) << text;
        }
    }
    EXPECT_GT(stops, 0);
}

}  // namespace
}  // namespace qnl
