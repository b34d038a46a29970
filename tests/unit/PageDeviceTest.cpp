// The device settings page's rules: storing, validation with its emptying re-entry, the
// refresh from the settings, the enable groups, and the extended block.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/PageDevice.h"
#include "platform/HexText.h"
#include "platform/WindowsNames.h"
#include "settings/ExternalSetting.h"
#include "support/PageBench.h"
#include "support/SimFixture.h"

namespace qnl::test {
namespace {

using P = PageDevice;

class PageDeviceTest : public ::testing::Test {
  protected:
    IniSettings& ini() { return b.context->ini; }
    ControlStateTable& table() { return b.page->Controls(); }
    ControlState At(ControlId id) { return table().Get(id); }
    std::vector<std::string>& Messages() { return b.prompts.messages; }
    void Type(ControlId id, const std::string& text) { b.page->OnTextChanged(id, text); }
    void Click(ControlId id, bool checked = true) { b.page->OnClicked(id, checked); }

    PageBench b;
};

// --- Edits ----------------------------------------------------------------------------------

TEST_F(PageDeviceTest, SvidTypedOneThenGIsRefusedEmptiedAndStoredEmpty) {
    Type(P::kEditSvid, "1");
    EXPECT_EQ(ini().svid, "1");
    Type(P::kEditSvid, "1G");
    EXPECT_EQ(Messages(), std::vector<std::string>{"Invalid SVID\r\n"});
    EXPECT_EQ(At(P::kEditSvid).text, "");
    EXPECT_EQ(ini().svid, "");
    // SSID alike; lower-case hex digits are taken (the edit shows them in upper case).
    Type(P::kEditSsid, "ab");
    EXPECT_EQ(ini().ssid, "AB");
    Type(P::kEditSsid, "abZ");
    EXPECT_EQ(Messages().back(), "Invalid SSID\r\n");
    EXPECT_EQ(ini().ssid, "");
    EXPECT_EQ(At(P::kEditSsid).text, "");
}

TEST_F(PageDeviceTest, InCommandLineModeTimeOutAndSvidPrintWhileSsidStillShowsABox) {
    b.context->consoleMode = true;
    Type(P::kEditSvid, "X");
    Type(P::kEditTimeout, "1-");
    EXPECT_EQ(b.console.Text(), "Invalid SVID\r\nInvalid TimeOut Value\r\n");
    EXPECT_TRUE(Messages().empty());
    Type(P::kEditSsid, "X");
    EXPECT_EQ(Messages(), std::vector<std::string>{"Invalid SSID\r\n"});
}

TEST_F(PageDeviceTest, TimeOutStoresItsNumberAndZeroAfterABadCharacter) {
    Type(P::kEditTimeout, "250");
    EXPECT_EQ(ini().test_timeout, 250);
    Type(P::kEditTimeout, "12a");
    EXPECT_EQ(Messages(), std::vector<std::string>{"Invalid TimeOut Value\r\n"});
    EXPECT_EQ(ini().test_timeout, 0);
    EXPECT_EQ(At(P::kEditTimeout).text, "");
    // A pasted run of digits beyond the number's range saturates instead of wrapping.
    Type(P::kEditTimeout, "99999999999999999999");
    EXPECT_EQ(ini().test_timeout, INT32_MAX);
}

TEST_F(PageDeviceTest, CustomerInformationTakesThirtyOneCharacters) {
    const std::string text31(31, 'Q');
    Type(P::kEditCustInfo, text31);
    EXPECT_EQ(ini().CustInfo, text31);
    EXPECT_TRUE(Messages().empty());
    Type(P::kEditCustInfo, text31 + "R");
    EXPECT_EQ(Messages(), std::vector<std::string>{"Type Too Much Character\r\n"});
    EXPECT_EQ(ini().CustInfo, "");
    EXPECT_EQ(At(P::kEditCustInfo).text, "");
}

TEST_F(PageDeviceTest, EveryTuningEditRefusesItsOwnRangeWithItsMessage) {
    struct Case {
        ControlId id;
        std::string IniSettings::*field;
        const char* good;
        const char* bad;
        const char* message;
    };
    const Case cases[] = {
        {P::kEditRfTimeA, &IniSettings::hs_rftime_a, "3", "4",
         "Rising/Falling Time Port A value Invalid (0-3)\r\n"},
        {P::kEditRfTimeB, &IniSettings::hs_rftime_b, "0", "4",
         "Rising/Falling Time Port B value Invalid (0-3)\r\n"},
        {P::kEditIselvrA, &IniSettings::hs_iselvr_a, "7", "8",
         "Minor Current Port A value Invalid (0-7)\r\n"},
        {P::kEditIselvrB, &IniSettings::hs_iselvr_b, "7", "8",
         "Minor Current Port B value Invalid (0-7)\r\n"},
        {P::kEditDeempA, &IniSettings::ss_deemp_a, "f", "G",
         "DeEmphasis Port A value Invalid (0-F)\r\n"},
        {P::kEditDeempB, &IniSettings::ss_deemp_b, "C", "-",
         "DeEmphasis Port B value Invalid (0-F)\r\n"},
        {P::kEditCurDrivingA, &IniSettings::ss_curdriving_a, "9", "x",
         "Current Driving Port A value Invalid (0-F)\r\n"},
        {P::kEditCurDrivingB, &IniSettings::ss_curdriving_b, "E", " ",
         "Current Driving Port B value Invalid (0-F)\r\n"},
        {P::kEditDrivingA, &IniSettings::hs_curdriving_a, "7", "8",
         "Current Driving Port A value Invalid (0-7)\r\n"},
        {P::kEditDrivingB, &IniSettings::hs_curdriving_b, "0", "A",
         "Current Driving Port B value Invalid (0-7)\r\n"},
    };
    for (const Case& c : cases) {
        Messages().clear();
        Type(c.id, c.good);
        EXPECT_EQ(ini().*(c.field), ToUpperAscii(c.good)) << c.message;
        EXPECT_TRUE(Messages().empty()) << c.message;
        Type(c.id, c.bad);
        EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(ini().*(c.field), "") << c.message;
    }
}

// --- Refresh --------------------------------------------------------------------------------

TEST_F(PageDeviceTest, RefreshValidatesWhatItLoads) {
    ini().svid = "12G4";
    ini().ssid = "1234";
    ini().test_timeout = -5;
    ini().CustInfo = std::string(32, 'C');
    b.page->vSetGUIByINI();
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Invalid TimeOut Value\r\n", "Invalid SVID\r\n",
                                                    "Type Too Much Character\r\n"}));
    EXPECT_EQ(ini().svid, "");
    EXPECT_EQ(ini().ssid, "1234");
    EXPECT_EQ(ini().test_timeout, 0);
    EXPECT_EQ(ini().CustInfo, "");
    EXPECT_EQ(At(P::kEditTimeout).text, "");

    // The typing limit of 3 binds the operator only: a loaded 1234 is shown and kept whole.
    Messages().clear();
    ini().test_timeout = 1234;
    b.page->vSetGUIByINI();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(At(P::kEditTimeout).text, "1234");
    EXPECT_EQ(ini().test_timeout, 1234);
}

TEST_F(PageDeviceTest, EachRefreshAddsTheLoadedNameUpToFiveNewestFirst) {
    for (int i = 1; i <= 6; ++i) {
        ini().fw_binary_name = "FW" + std::to_string(i) + ".BIN";
        b.page->vSetGUIByINI();
    }
    const ControlState list = At(P::kComboFirmware);
    EXPECT_EQ(list.items,
              (std::vector<std::string>{"FW6.BIN", "FW5.BIN", "FW4.BIN", "FW3.BIN", "FW2.BIN"}));
    EXPECT_EQ(list.selection, 0);
    b.page->vSetGUIByINI();  // the same name again is listed again
    EXPECT_EQ(At(P::kComboFirmware).items[1], "FW6.BIN");
}

TEST_F(PageDeviceTest, PcieSpeedFollowsItsFieldAndAnUnknownSpeedKeepsTheSelection) {
    ini().PCISPEED_enable = 1;
    ini().MAX_PCIe_SPEED = 2;
    b.page->vSetGUIByINI();
    EXPECT_TRUE(At(P::kCheckPciSpeed).checked);
    EXPECT_EQ(At(P::kComboMaxSpeed).selection, 1);
    EXPECT_EQ(At(P::kComboMaxSpeed).items, (std::vector<std::string>{"Genx1", "Genx2", "Genx3"}));
    ini().MAX_PCIe_SPEED = 0;
    b.page->vSetGUIByINI();
    EXPECT_TRUE(At(P::kCheckPciSpeed).checked);
    EXPECT_EQ(At(P::kComboMaxSpeed).selection, 1);
    ini().PCISPEED_enable = 0;
    b.page->vSetGUIByINI();
    EXPECT_FALSE(At(P::kCheckPciSpeed).checked);
    EXPECT_FALSE(At(P::kComboMaxSpeed).enabled);
    b.page->OnSelectionChanged(P::kComboMaxSpeed, 2);
    EXPECT_EQ(ini().MAX_PCIe_SPEED, 3);
}

TEST_F(PageDeviceTest, RefreshSetsChecksAndTheTestGroupFollowsSignalLine) {
    ini().fw_update_enable = 0;
    ini().fw_check_enable = 1;
    ini().signal_line_test_enable = 1;
    ini().fixture_test_enable = 0;
    ini().test_speed = 0x05;
    ini().test_port = 0x02;
    ini().loopback_test_enable = 1;
    b.page->vSetGUIByINI();
    EXPECT_FALSE(At(P::kCheckFwUpdate).checked);
    EXPECT_FALSE(At(P::kButtonBrowse).enabled);
    EXPECT_FALSE(At(P::kComboFirmware).enabled);
    EXPECT_TRUE(At(P::kCheckFwCheck).checked);
    EXPECT_TRUE(At(P::kCheckUsb20).checked);
    EXPECT_FALSE(At(P::kCheckUsb30).checked);
    EXPECT_TRUE(At(P::kCheckUsb31).checked);
    EXPECT_FALSE(At(P::kCheckPort1).checked);
    EXPECT_TRUE(At(P::kCheckPort2).checked);
    EXPECT_TRUE(At(P::kCheckLoopBack).checked);
    // Fixture off disabled the group in step 3; the "Signal Line Test" handler of step 5
    // enabled it again.
    EXPECT_TRUE(At(P::kCheckUsb20).enabled);
    EXPECT_FALSE(At(P::kEditTimeout).readOnly);
    ini().signal_line_test_enable = 0;
    ini().fixture_test_enable = 1;
    b.page->vSetGUIByINI();
    EXPECT_FALSE(At(P::kCheckUsb20).enabled);
    EXPECT_TRUE(At(P::kEditTimeout).readOnly);
}

TEST_F(PageDeviceTest, SmiListIsFilledAfreshOnEveryRefresh) {
    ini().smi_enable = 1;
    ini().smi_open_drain = 1;
    b.page->vSetGUIByINI();
    b.page->vSetGUIByINI();
    EXPECT_EQ(At(P::kComboSmi).items, (std::vector<std::string>{"Push/Pull", "Open Drain"}));
    EXPECT_EQ(At(P::kComboSmi).selection, 1);
    ini().smi_enable = 0;
    b.page->vSetGUIByINI();
    EXPECT_FALSE(At(P::kCheckSmi).checked);
    EXPECT_FALSE(At(P::kComboSmi).enabled);
    EXPECT_EQ(At(P::kComboSmi).items.size(), 2u);
}

TEST_F(PageDeviceTest, AStateChangeFromTheProgramStoresNothing) {
    ini().svid = "ABCD";
    ini().test_timeout = 100;
    ini().signal_line_test_enable = 1;
    const IniSettings before = ini();
    for (ControlId id : table().Ids()) {
        table().SetChecked(id, true);
        table().SetEnabled(id, false);
    }
    table().SetText(P::kEditSvid, "ZZZZ");
    b.page->vDisableALLGUI();
    b.page->vEnableALLGUI();
    EXPECT_EQ(ini(), before);
    // The refresh stores only what its validation changes: valid values come back unchanged.
    b.page->vSetGUIByINI();
    EXPECT_EQ(ini(), before);
}

// --- Groups ---------------------------------------------------------------------------------

TEST_F(PageDeviceTest, UncheckingAnyTestDisablesTheSharedControlsEvenWithAnotherOn) {
    Click(P::kCheckSignalLine, true);
    Click(P::kCheckFixture, true);
    Click(P::kCheckFixture, false);
    EXPECT_TRUE(At(P::kCheckSignalLine).checked);
    for (ControlId id :
         {P::kCheckUsb20, P::kCheckUsb30, P::kCheckUsb31, P::kCheckPort1, P::kCheckPort2})
        EXPECT_FALSE(At(id).enabled);
    EXPECT_TRUE(At(P::kEditTimeout).readOnly);
    EXPECT_EQ(ini().signal_line_test_enable, 1);
    EXPECT_EQ(ini().fixture_test_enable, 0);
    Click(P::kCheckTermination, true);
    EXPECT_TRUE(At(P::kCheckPort2).enabled);
    EXPECT_EQ(ini().termination_test_enable, 1);
}

TEST_F(PageDeviceTest, LoopBackLeavesUsbTwoAsItWas) {
    Click(P::kCheckSignalLine, false);
    Click(P::kCheckLoopBack, true);
    EXPECT_FALSE(At(P::kCheckUsb20).enabled);
    for (ControlId id : {P::kCheckUsb30, P::kCheckUsb31, P::kCheckPort1, P::kCheckPort2})
        EXPECT_TRUE(At(id).enabled);
    EXPECT_FALSE(At(P::kEditTimeout).readOnly);
    Click(P::kCheckLoopBack, false);
    EXPECT_FALSE(At(P::kCheckUsb30).enabled);
    EXPECT_EQ(ini().loopback_test_enable, 0);
}

TEST_F(PageDeviceTest, ChecksStoreTheirFieldsAndSwitchTheirGroups) {
    Click(P::kCheckFwUpdate, false);
    EXPECT_EQ(ini().fw_update_enable, 0);
    EXPECT_FALSE(At(P::kButtonBrowse).enabled);
    EXPECT_FALSE(At(P::kComboFirmware).enabled);
    Click(P::kCheckFwUpdate, true);
    EXPECT_TRUE(At(P::kButtonBrowse).enabled);
    Click(P::kCheckSubSys, false);
    EXPECT_FALSE(At(P::kEditSvid).enabled);
    EXPECT_TRUE(At(P::kEditSsid).readOnly);
    Click(P::kCheckSubSys, true);
    EXPECT_TRUE(At(P::kEditSsid).enabled);
    EXPECT_FALSE(At(P::kEditSvid).readOnly);
    EXPECT_EQ(ini().subsys_enable, 1);
    Click(P::kCheckCustInfo, false);
    EXPECT_TRUE(At(P::kEditCustInfo).readOnly);
    EXPECT_FALSE(At(P::kEditCustInfo).enabled);
    Click(P::kCheckUsb30, true);
    Click(P::kCheckPort2, true);
    Click(P::kCheckUsb30, false);
    EXPECT_EQ(ini().test_speed, 0);
    EXPECT_EQ(ini().test_port, 2);
    Click(P::kCheckSsc, true);
    Click(P::kRadioSscOn);
    EXPECT_EQ(ini().ssc_on, 1);
    EXPECT_FALSE(At(P::kRadioSscOff).checked);
    Click(P::kRadioSscOff);
    EXPECT_EQ(ini().ssc_on, 0);
    EXPECT_FALSE(At(P::kRadioSscOn).checked);
    Click(P::kCheckHighSpeed, false);
    EXPECT_FALSE(At(P::kCheckDriving).enabled);
    EXPECT_FALSE(At(P::kEditIselvrB).enabled);
    Click(P::kCheckSuperSpeed, false);
    EXPECT_FALSE(At(P::kEditCurDrivingB).enabled);
    EXPECT_TRUE(At(P::kCheckDeempB).enabled) << "the port B checks belong to no group";
}

TEST_F(PageDeviceTest, ManualSettingTouchesOnlyItsFlag) {
    const IniSettings before = ini();
    Click(P::kCheckManual, true);
    EXPECT_EQ(b.context->setReg.m_ucManualSetting, 1);
    EXPECT_TRUE(At(P::kButtonRegSetting).enabled);
    Click(P::kCheckManual, false);
    EXPECT_EQ(b.context->setReg.m_ucManualSetting, 0);
    EXPECT_FALSE(At(P::kButtonRegSetting).enabled);
    EXPECT_EQ(ini(), before);
}

std::set<ControlId> Changed(ControlStateTable& table,
                            const std::map<ControlId, ControlState>& old) {
    std::set<ControlId> changed;
    for (ControlId id : table.Ids())
        if (!(table.Get(id) == old.at(id))) changed.insert(id);
    return changed;
}

std::map<ControlId, ControlState> Snapshot(ControlStateTable& table) {
    std::map<ControlId, ControlState> all;
    for (ControlId id : table.Ids()) all[id] = table.Get(id);
    return all;
}

TEST_F(PageDeviceTest, DisableAllTouchesExactlyItsList) {
    for (ControlId id : table().Ids()) {
        table().SetEnabled(id, true);
        table().SetReadOnly(id, false);
    }
    b.page->vShowExtendedGUI();
    const auto before = Snapshot(table());
    b.page->vDisableALLGUI();
    std::set<ControlId> expected{
        P::kCheckFwUpdate,    P::kCheckFwCheck,    P::kButtonBrowse,     P::kComboFirmware,
        P::kButtonFwInfo,     P::kCheckSubSys,     P::kEditSvid,         P::kEditSsid,
        P::kCheckDisablePort, P::kCheckDisableA,   P::kCheckDisableB,    P::kCheckBattery,
        P::kCheckBatteryA,    P::kCheckBatteryB,   P::kCheckExternal,    P::kCheckSuperSpeed,
        P::kCheckDeempA,      P::kEditDeempA,      P::kEditDeempB,       P::kCheckPreempA,
        P::kEditCurDrivingA,  P::kEditCurDrivingB, P::kCheckHighSpeed,   P::kEditRfTimeA,
        P::kEditRfTimeB,      P::kEditIselvrA,     P::kEditIselvrB,      P::kCheckRfTime,
        P::kCheckIselvr,      P::kCheckDriving,    P::kEditDrivingA,     P::kEditDrivingB,
        P::kCheckSmi,         P::kComboSmi,        P::kCheckSsc,         P::kRadioSscOff,
        P::kRadioSscOn,       P::kCheckPciSpeed,   P::kComboMaxSpeed,    P::kCheckManual,
        P::kButtonRegSetting, P::kEditCustInfo,    P::kCheckCustInfo,    P::kCheckUsb20,
        P::kCheckUsb30,       P::kCheckUsb31,      P::kCheckPort1,       P::kCheckPort2,
        P::kCheckSignalLine,  P::kCheckFixture,    P::kCheckTermination, P::kCheckLoopBack,
        P::kEditTimeout};
    for (ControlId id : PageDevice::ExtendedControls()) expected.insert(id);  // hidden
    EXPECT_EQ(Changed(table(), before), expected);
    for (ControlId id : PageDevice::ExtendedControls()) EXPECT_FALSE(At(id).visible);
    EXPECT_TRUE(At(P::kButtonExtSet).enabled) << "hidden, not disabled";
    EXPECT_TRUE(At(P::kEditTimeout).enabled) << "read-only, not disabled";
    EXPECT_TRUE(At(P::kEditTimeout).readOnly);
}

TEST_F(PageDeviceTest, EnableAllTouchesExactlyItsList) {
    for (ControlId id : table().Ids()) table().SetEnabled(id, false);
    table().SetReadOnly(P::kEditCustInfo, true);
    const auto before = Snapshot(table());
    b.page->vEnableALLGUI();  // no extended access: the extended block stays hidden
    const std::set<ControlId> expected{
        P::kCheckFwUpdate,   P::kButtonBrowse,    P::kComboFirmware,    P::kCheckFwCheck,
        P::kButtonFwInfo,    P::kCheckSubSys,     P::kCheckCustInfo,    P::kEditSvid,
        P::kEditSsid,        P::kCheckPciSpeed,   P::kComboMaxSpeed,    P::kCheckUsb20,
        P::kCheckUsb30,      P::kCheckUsb31,      P::kCheckPort1,       P::kCheckPort2,
        P::kCheckSignalLine, P::kCheckFixture,    P::kCheckTermination, P::kCheckLoopBack,
        P::kCheckManual,     P::kButtonRegSetting};
    EXPECT_EQ(Changed(table(), before), expected);
    EXPECT_FALSE(At(P::kEditCustInfo).enabled);
    EXPECT_FALSE(At(P::kCheckSmi).enabled);
}

// --- Extended block -------------------------------------------------------------------------

TEST_F(PageDeviceTest, ExtendedBlockIsShownOnlyWithExtendedAccessAndMovesNothingElse) {
    bool access = false;
    b.page->SetMainWindowHooks(HooksWith(&MainWindowHooks::ExtendedAccess, [&] { return access; }));
    const auto before = Snapshot(table());
    b.page->vEnableALLGUI();
    for (ControlId id : PageDevice::ExtendedControls()) EXPECT_FALSE(At(id).visible);
    access = true;
    b.page->vEnableALLGUI();
    for (ControlId id : PageDevice::ExtendedControls()) EXPECT_TRUE(At(id).visible);
    EXPECT_TRUE(At(P::kCheckExternal).enabled);
    EXPECT_TRUE(At(P::kButtonExtSet).enabled);
    EXPECT_FALSE(At(P::kCheckBattery).enabled) << "External Setting is off";
    const auto& extended = PageDevice::ExtendedControls();
    for (ControlId id : table().Ids()) {
        if (std::find(extended.begin(), extended.end(), id) != extended.end()) continue;
        EXPECT_EQ(At(id).visible, before.at(id).visible) << table().Name(id);
    }
    b.page->vHideExtendedGUI();
    for (ControlId id : PageDevice::ExtendedControls()) EXPECT_FALSE(At(id).visible);
}

TEST_F(PageDeviceTest, ExternalSettingRunsItsThreeHandlersSoTheFieldsFollowTheChecks) {
    b.page->vShowExtendedGUI();
    table().SetChecked(P::kCheckBattery, true);  // checked while the block was off
    Click(P::kCheckExternal, true);
    EXPECT_EQ(ini().ext_setting_enable, 1);
    EXPECT_EQ(ini().battery_charge_enable, 1);
    EXPECT_TRUE(At(P::kCheckBatteryA).enabled);
    EXPECT_FALSE(At(P::kCheckDisableA).enabled);
    EXPECT_FALSE(At(P::kEditDrivingA).enabled);
    Click(P::kCheckDriving, true);
    EXPECT_TRUE(At(P::kEditDrivingB).enabled);
    Click(P::kCheckBatteryB, true);
    EXPECT_EQ(ini().battery_charge_port_b, 1);
    Click(P::kCheckExternal, false);
    EXPECT_EQ(ini().ext_setting_enable, 0);
    for (ControlId id : {P::kCheckBattery, P::kCheckDisablePort, P::kCheckDriving,
                         P::kCheckBatteryA, P::kCheckBatteryB, P::kCheckDisableA, P::kCheckDisableB,
                         P::kEditDrivingA, P::kEditDrivingB})
        EXPECT_FALSE(At(id).enabled) << table().Name(id);
}

TEST_F(PageDeviceTest, RefreshSetsTheExtendedChecksFromTheFieldsStoringNothing) {
    b.page->SetMainWindowHooks(HooksWith(&MainWindowHooks::ExtendedAccess, [] { return true; }));
    b.page->vEnableALLGUI();
    Click(P::kCheckExternal, true);
    Click(P::kCheckDisablePort, true);
    Click(P::kCheckDisableB, true);
    Type(P::kEditDrivingA, "5");
    // A settings load clears the extended fields.
    ini().ext_setting_enable = ini().disable_port_enable = ini().disable_port_b = 0;
    ini().hs_curdriving_a.clear();
    const IniSettings loaded = ini();
    b.page->vSetGUIByINI();
    EXPECT_EQ(ini(), loaded);
    EXPECT_FALSE(At(P::kCheckExternal).checked);
    EXPECT_FALSE(At(P::kCheckDisablePort).checked);
    EXPECT_FALSE(At(P::kCheckDisableB).checked);
    EXPECT_EQ(At(P::kEditDrivingA).text, "");
    for (ControlId id : {P::kCheckBattery, P::kCheckDisablePort, P::kCheckDisableB})
        EXPECT_FALSE(At(id).enabled) << table().Name(id);
    EXPECT_TRUE(At(P::kCheckExternal).enabled);

    // With the external setting on, the enables follow the sub-checks again.
    ini().ext_setting_enable = ini().battery_charge_enable = 1;
    b.page->vSetGUIByINI();
    EXPECT_TRUE(At(P::kCheckExternal).checked);
    EXPECT_TRUE(At(P::kCheckBatteryA).enabled);
    EXPECT_FALSE(At(P::kCheckDisableA).enabled);
}

TEST_F(PageDeviceTest, DrivingEnableStaysDisabledAfterEnableAllAndRefreshUntilExternalToggles) {
    b.page->SetMainWindowHooks(HooksWith(&MainWindowHooks::ExtendedAccess, [] { return true; }));
    b.page->vEnableALLGUI();
    Click(P::kCheckExternal, true);
    EXPECT_TRUE(At(P::kCheckDriving).enabled);
    // The end of a run: enable-all, then the refresh (hs_enable is 0 after every load).
    b.page->vEnableALLGUI();
    b.page->vSetGUIByINI();
    EXPECT_FALSE(At(P::kCheckDriving).enabled);
    EXPECT_TRUE(At(P::kCheckBattery).enabled);
    Click(P::kCheckExternal, false);
    Click(P::kCheckExternal, true);
    EXPECT_TRUE(At(P::kCheckDriving).enabled);
}

TEST_F(PageDeviceTest, ExtSetWithoutHostsSaysNoDevice) {
    Click(P::kButtonExtSet);
    EXPECT_EQ(Messages(), std::vector<std::string>{"\r\nNo QNL 736 Device!!\r\n"});
}

TEST(PageDeviceExtSet, ExtSetWritesThePageValuesIntoTheStationAndTellsTheOperator) {
    SimBench bench("[" + ControllerJson(1, 0, 0, 1) + "]");
    bench.chip().ScanPciBus("");
    PageDevice page(*bench.tool->context);
    page.SetMainWindowHooks(HooksWith(&MainWindowHooks::ExtendedAccess, [] { return true; }));
    page.vEnableALLGUI();
    page.OnClicked(P::kCheckExternal, true);
    page.OnClicked(P::kCheckBattery, true);
    page.OnClicked(P::kCheckBatteryA, true);
    page.OnClicked(P::kCheckDriving, true);
    page.OnTextChanged(P::kEditDrivingA, "5");
    page.OnTextChanged(P::kEditDrivingB, "3");
    page.OnClicked(P::kButtonExtSet, false);
    auto& c = bench.controller(0);
    EXPECT_EQ(c.XdataByte(kExtPortByteAddress), 0x01);
    EXPECT_EQ(c.XdataByte(kExtDrivingByteAddress), 0x1D);
    EXPECT_EQ(c.XdataByte(kExtMarkerAddress), 0x78);
    EXPECT_NE(bench.tool->console.Text().find("Set External Register Success!!"),
              std::string::npos);
}

// --- Browse ---------------------------------------------------------------------------------

TEST_F(PageDeviceTest, BrowsePutsTheFileOnTopStoresItAndLetsStartFollow) {
    int startCalls = 0;
    b.page->SetMainWindowHooks(HooksWith(&MainWindowHooks::vEnableStartGUI, [&] { ++startCalls; }));
    const std::string path = b.Folder() + "/fw.bin";
    std::ofstream(path) << "x";
    ini().fw_binary_name = "OLD.BIN";
    b.page->vSetGUIByINI();
    b.prompts.fileAnswers.push_back(path);
    Click(P::kButtonBrowse);
    const std::string stored = files::ToWindowsName(path);
    EXPECT_EQ(ini().fw_binary_name, stored);
    EXPECT_EQ(At(P::kComboFirmware).items, (std::vector<std::string>{stored, "OLD.BIN"}));
    EXPECT_EQ(At(P::kComboFirmware).selection, 0);
    // Start follows its rule after every change of the page (the main window's rule needs a
    // host and an item).
    EXPECT_EQ(startCalls, 1);
    // Choosing a listed entry stores it.
    b.page->OnSelectionChanged(P::kComboFirmware, 1);
    EXPECT_EQ(ini().fw_binary_name, "OLD.BIN");
}

}  // namespace
}  // namespace qnl::test
