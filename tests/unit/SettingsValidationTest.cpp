// The settings' edit rules as plain functions: a typed text against its rule, and the rules
// applied to loaded settings (what is emptied, what is told, in which order).
#include <gtest/gtest.h>

#include "firmware/ConfigRom.h"
#include "settings/SetReg.h"
#include "settings/SettingsValidation.h"
#include "support/RecordingPrompts.h"

namespace qnl::test {
namespace {

using E = SettingsEdit;

std::vector<std::string> Messages(const std::vector<EditRefusal>& refusals) {
    std::vector<std::string> messages;
    for (const EditRefusal& refusal : refusals) messages.push_back(refusal.message);
    return messages;
}

TEST(SettingsValidation, EachRuleAcceptsItsOwnCharactersOnly) {
    struct Case {
        SettingsEdit edit;
        const char* good;
        const char* bad;
    };
    const Case cases[] = {
        {E::kTimeOut, "0123456789", "12a"},
        {E::kSvid, "09af", "12G4"},
        {E::kSsid, "ABCD", "-1"},
        {E::kRfTimeA, "3", "4"},
        {E::kRfTimeB, "0", "4"},
        {E::kIselvrA, "7", "8"},
        {E::kIselvrB, "0", "8"},
        {E::kDeempA, "f", "G"},
        {E::kDeempB, "9", " "},
        {E::kCurDrivingA, "E", "x"},
        {E::kCurDrivingB, "0", "Z"},
        {E::kDrivingA, "7", "8"},
        {E::kDrivingB, "0", "A"},
    };
    for (const Case& c : cases) {
        const EditRule& rule = EditRuleOf(c.edit);
        EXPECT_TRUE(CheckEditText(rule, c.good).accepted) << rule.message;
        EXPECT_FALSE(CheckEditText(rule, c.bad).accepted) << rule.message;
        EXPECT_TRUE(CheckEditText(rule, "").accepted) << rule.message;
    }
    // Upper case where the edit forces it; the time-out keeps its text.
    EXPECT_EQ(CheckEditText(EditRuleOf(E::kSvid), "1a2b").text, "1A2B");
    EXPECT_EQ(CheckEditText(EditRuleOf(E::kCustInfo), "abc").text, "ABC");
    // The customer information takes any character, 31 at most.
    const EditRule& custInfo = EditRuleOf(E::kCustInfo);
    EXPECT_TRUE(CheckEditText(custInfo, std::string(31, '#')).accepted);
    EXPECT_FALSE(CheckEditText(custInfo, std::string(32, 'C')).accepted);
}

TEST(SettingsValidation, RefusedLoadedValuesAreEmptiedAndToldInTheRefreshOrder) {
    IniSettings ini;
    ini.test_timeout = -5;
    ini.svid = "12G4";
    ini.ssid = "5678";
    ini.CustInfo = std::string(32, 'C');
    ini.hs_rftime_a = "4";
    ini.hs_rftime_b = "2";
    ini.hs_iselvr_b = "9";
    ini.ss_deemp_a = "g";
    ini.ss_deemp_b = "c";
    ini.ss_curdriving_b = "Z";
    ini.hs_curdriving_a = "9";  // the refresh shows the driving edits as they are
    const std::vector<EditRefusal> refusals = ValidateLoadedSettings(ini);
    EXPECT_EQ(Messages(refusals), (std::vector<std::string>{
                                      "Invalid TimeOut Value\r\n",
                                      "Invalid SVID\r\n",
                                      "Type Too Much Character\r\n",
                                      "Rising/Falling Time Port A value Invalid (0-3)\r\n",
                                      "Minor Current Port B value Invalid (0-7)\r\n",
                                      "DeEmphasis Port A value Invalid (0-F)\r\n",
                                      "Current Driving Port B value Invalid (0-F)\r\n",
                                  }));
    // Only the time-out and SVID messages go to the console in command-line mode.
    EXPECT_TRUE(refusals[0].consoleInCommandLine);
    EXPECT_TRUE(refusals[1].consoleInCommandLine);
    EXPECT_FALSE(refusals[2].consoleInCommandLine);
    EXPECT_EQ(refusals[1].edit, E::kSvid);

    EXPECT_EQ(ini.test_timeout, 0);
    EXPECT_EQ(ini.svid, "");
    EXPECT_EQ(ini.ssid, "5678");
    EXPECT_EQ(ini.CustInfo, "");
    EXPECT_EQ(ini.hs_rftime_a, "");
    EXPECT_EQ(ini.hs_rftime_b, "2");
    EXPECT_EQ(ini.hs_iselvr_b, "");
    EXPECT_EQ(ini.ss_deemp_a, "");
    EXPECT_EQ(ini.ss_deemp_b, "C");  // kept as the edit keeps it
    EXPECT_EQ(ini.ss_curdriving_b, "");
    EXPECT_EQ(ini.hs_curdriving_a, "9");

    // What is left passes: nothing more is told.
    EXPECT_TRUE(ValidateLoadedSettings(ini).empty());
}

TEST(SettingsValidation, ALoadedTimeOutBeyondTheTypingLimitIsKeptWhole) {
    IniSettings ini;
    ini.test_timeout = 1234;
    EXPECT_TRUE(ValidateLoadedSettings(ini).empty());
    EXPECT_EQ(ini.test_timeout, 1234);
    EXPECT_EQ(EditText(ini, EditRuleOf(E::kTimeOut)), "1234");
    // A typed run of digits beyond the number's range saturates.
    StoreEditText(ini, EditRuleOf(E::kTimeOut), "99999999999999999999");
    EXPECT_EQ(ini.test_timeout, INT32_MAX);
}

// The validation changes what a run programs: without it, "12G4" would go into the
// configuration image as 1204.
TEST(SettingsValidation, SkippingItWouldProgramOtherBytes) {
    IniSettings ini;
    ini.subsys_enable = 1;
    ini.svid = "12G4";
    ini.ssid = "5678";
    RecordingPrompts prompts;
    SET_REG setReg(prompts);
    const auto unvalidated = CollectConfigEntries(ini, setReg, 0, 0);
    ValidateLoadedSettings(ini);
    const auto validated = CollectConfigEntries(ini, setReg, 0, 0);
    ASSERT_EQ(unvalidated.size(), 2u);
    ASSERT_EQ(validated.size(), 2u);
    EXPECT_EQ(unvalidated[0], MakeConfigEntry(2, 0xE260, 0x1204));  // 'G' counted as 0
    EXPECT_EQ(validated[0], MakeConfigEntry(2, 0xE260, 0x0000));    // the emptied field
    EXPECT_EQ(validated[1], unvalidated[1]);
}

}  // namespace
}  // namespace qnl::test
