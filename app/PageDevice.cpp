#include "app/PageDevice.h"

#include <algorithm>
#include <exception>

#include "platform/Files.h"
#include "platform/Format.h"
#include "settings/ExternalSetting.h"
#include "settings/FirmwarePathList.h"
#include "settings/SettingsValidation.h"

namespace qnl {

namespace {

using K = ControlKind;

// The edits and the settings rules they validate with (settings/SettingsValidation).
struct EditControl {
    ControlId id;
    SettingsEdit edit;
};
const EditControl kEditControls[] = {
    {PageDevice::kEditTimeout, SettingsEdit::kTimeOut},
    {PageDevice::kEditSvid, SettingsEdit::kSvid},
    {PageDevice::kEditSsid, SettingsEdit::kSsid},
    {PageDevice::kEditCustInfo, SettingsEdit::kCustInfo},
    {PageDevice::kEditRfTimeA, SettingsEdit::kRfTimeA},
    {PageDevice::kEditRfTimeB, SettingsEdit::kRfTimeB},
    {PageDevice::kEditIselvrA, SettingsEdit::kIselvrA},
    {PageDevice::kEditIselvrB, SettingsEdit::kIselvrB},
    {PageDevice::kEditDeempA, SettingsEdit::kDeempA},
    {PageDevice::kEditDeempB, SettingsEdit::kDeempB},
    {PageDevice::kEditCurDrivingA, SettingsEdit::kCurDrivingA},
    {PageDevice::kEditCurDrivingB, SettingsEdit::kCurDrivingB},
    {PageDevice::kEditDrivingA, SettingsEdit::kDrivingA},
    {PageDevice::kEditDrivingB, SettingsEdit::kDrivingB},
};

const EditRule* RuleOf(ControlId id) {
    for (const EditControl& edit : kEditControls)
        if (edit.id == id) return &EditRuleOf(edit.edit);
    return nullptr;
}

// The check boxes that store a flag as they are, nothing else.
struct FlagCheck {
    ControlId id;
    std::uint8_t IniSettings::*field;
};
const FlagCheck kFlagChecks[] = {
    {PageDevice::kCheckFwCheck, &IniSettings::fw_check_enable},
    {PageDevice::kCheckDeempA, &IniSettings::ss_deemp_a_enable},
    {PageDevice::kCheckPreempA, &IniSettings::ss_preemp_a_enable},
    {PageDevice::kCheckBatteryA, &IniSettings::battery_charge_port_a},
    {PageDevice::kCheckBatteryB, &IniSettings::battery_charge_port_b},
    {PageDevice::kCheckDisableA, &IniSettings::disable_port_a},
    {PageDevice::kCheckDisableB, &IniSettings::disable_port_b},
};

}  // namespace

const std::vector<ControlId> PageDevice::kFwUpdateGroup{kButtonBrowse, kComboFirmware};
const std::vector<ControlId> PageDevice::kSuperSpeedGroup{
    kCheckDeempA, kEditDeempA, kEditDeempB, kCheckPreempA, kEditCurDrivingA, kEditCurDrivingB};
const std::vector<ControlId> PageDevice::kHighSpeedGroup{
    kEditRfTimeA, kEditRfTimeB,  kEditIselvrA,  kEditIselvrB, kCheckRfTime,
    kCheckIselvr, kCheckDriving, kEditDrivingA, kEditDrivingB};

const std::vector<ControlId>& PageDevice::ExtendedControls() {
    static const std::vector<ControlId> ids = [] {
        std::vector<ControlId> all;
        for (ControlId id = kFrameExtended; id <= kButtonExtSet; ++id) all.push_back(id);
        return all;
    }();
    return ids;
}

PageDevice::EditTraits PageDevice::Traits(ControlId edit) {
    const EditRule* rule = RuleOf(edit);
    if (rule == nullptr) return {};
    switch (edit) {
        case kEditTimeout:
            return {3, rule->upperCase};
        case kEditSvid:
        case kEditSsid:
            return {4, rule->upperCase};
        case kEditCustInfo:
            return {0, rule->upperCase};
        default:
            return {1, rule->upperCase};  // the tuning and driving digits
    }
}

PageDevice::PageDevice(ToolContext& context) : ctx_(context), ini_(context.ini) {
    DefineControls();
    OnInitDialog();
}

void PageDevice::DefineControls() {
    auto define = [this](ControlId id, ControlKind kind, const char* name, const char* caption,
                         bool hidden = false) {
        controls_.DefineCaptioned(id, kind, name, caption, !hidden);
    };
    define(kCheckFwUpdate, K::CheckBox, "FW Update Enable", "FW Update Enable");
    define(kComboFirmware, K::ComboBox, "Firmware Path", "");
    define(kButtonBrowse, K::Button, "Firmware Browser", "Firmware Browser");
    define(kButtonFwInfo, K::Button, "Firmware Info", "Firmware Info");
    define(kCheckFwCheck, K::CheckBox, "FW Check Enable", "FW Check Enable");

    define(kCheckSubSys, K::CheckBox, "Sub_Sys", "Sub_Sys");
    define(kLabelSvid, K::Label, "SVID label", "SVID");
    define(kEditSvid, K::Edit, "SVID", "");
    define(kLabelSsid, K::Label, "SSID label", "SSID");
    define(kEditSsid, K::Edit, "SSID", "");
    define(kCheckPciSpeed, K::CheckBox, "PCI SPEED Enable", "PCI SPEED Enable");
    define(kLabelMaxSpeed, K::Label, "Max label", "Max");
    define(kComboMaxSpeed, K::ComboBox, "Max", "");
    define(kCheckCustInfo, K::CheckBox, "Customer Information", "Customer Information");
    define(kEditCustInfo, K::Edit, "Customer Information (MAX 31)", "");
    define(kCheckManual, K::CheckBox, "Manual Setting", "Manual Setting");
    define(kButtonRegSetting, K::Button, "Reg Setting", " Reg Setting");

    define(kCheckSignalLine, K::CheckBox, "Signal Line Test", "Signal Line Test");
    define(kCheckFixture, K::CheckBox, "Fixture Test", "Fixture Test");
    define(kCheckTermination, K::CheckBox, "Termination Test", "Termination Test", true);
    define(kCheckLoopBack, K::CheckBox, "Loop Back Test", "Loop Back Test", true);
    define(kCheckUsb20, K::CheckBox, "USB 2.0", "USB 2.0");
    define(kCheckUsb30, K::CheckBox, "USB 3.0", "USB 3.0");
    define(kCheckUsb31, K::CheckBox, "USB 3.1", "USB 3.1");
    define(kCheckPort1, K::CheckBox, "Port 1", "Port 1");
    define(kCheckPort2, K::CheckBox, "Port 2", "Port 2");
    define(kLabelTimeout, K::Label, "Time Out(ms) label", "Time Out(ms)");
    define(kEditTimeout, K::Edit, "Time Out(ms)", "");

    define(kCheckSmi, K::CheckBox, "SMI Enable", "SMI Enable", true);
    define(kComboSmi, K::ComboBox, "SMI", "", true);
    define(kCheckSsc, K::CheckBox, "SSC Enable", "SSC Enable", true);
    define(kRadioSscOff, K::Radio, "SSC Off", "Off", true);
    define(kRadioSscOn, K::Radio, "SSC On", "On", true);
    define(kCheckHighSpeed, K::CheckBox, "High Speed", "High Speed", true);
    define(kCheckRfTime, K::CheckBox, "Rise/Fall Time Enable", "Rise/Fall Time Enable", true);
    define(kLabelRfTimeA, K::Label, "Rise/Fall Time Port A label", "Port A", true);
    define(kEditRfTimeA, K::Edit, "Rise/Fall Time Port A", "", true);
    define(kLabelRfTimeB, K::Label, "Rise/Fall Time Port B label", "Port B", true);
    define(kEditRfTimeB, K::Edit, "Rise/Fall Time Port B", "", true);
    define(kCheckIselvr, K::CheckBox, "Minor Current Enable", "Minor Current Enable", true);
    define(kLabelIselvrA, K::Label, "Minor Current Port A label", "Port A", true);
    define(kEditIselvrA, K::Edit, "Minor Current Port A", "", true);
    define(kLabelIselvrB, K::Label, "Minor Current Port B label", "Port B", true);
    define(kEditIselvrB, K::Edit, "Minor Current Port B", "", true);
    define(kCheckSuperSpeed, K::CheckBox, "Super Speed", "Super Speed", true);
    define(kLabelDeemphasis, K::Label, "De-Emphasis label", "De-Emphasis", true);
    define(kCheckDeempA, K::CheckBox, "De-Emphasis Port A", "Port A", true);
    define(kEditDeempA, K::Edit, "De-Emphasis Port A value", "", true);
    define(kCheckDeempB, K::CheckBox, "De-Emphasis Port B", "Port B", true);
    define(kEditDeempB, K::Edit, "De-Emphasis Port B value", "", true);
    define(kLabelPreemphasis, K::Label, "Pre-Emphasis Enable label", "Pre-Emphasis Enable", true);
    define(kCheckPreempA, K::CheckBox, "Pre-Emphasis Enable Port A", "Port A", true);
    define(kCheckPreempB, K::CheckBox, "Pre-Emphasis Enable Port B", "Port B", true);
    define(kLabelCurDriving, K::Label, "Current Driving label", "Current Driving", true);
    define(kLabelCurDrivingA, K::Label, "Current Driving Port A label", "Port A", true);
    define(kEditCurDrivingA, K::Edit, "Current Driving Port A", "", true);
    define(kLabelCurDrivingB, K::Label, "Current Driving Port B label", "Port B", true);
    define(kEditCurDrivingB, K::Edit, "Current Driving Port B", "", true);

    define(kFrameExtended, K::Group, "Extended Setting", "Extended Setting", true);
    define(kCheckExternal, K::CheckBox, "External Setting", "External Setting", true);
    define(kCheckBattery, K::CheckBox, "Battery Charge", "Battery Charge", true);
    define(kCheckBatteryA, K::CheckBox, "Battery Charge Port A", "Port A", true);
    define(kCheckBatteryB, K::CheckBox, "Battery Charge Port B", "Port B", true);
    define(kCheckDisablePort, K::CheckBox, "Disable Port", "Disable Port", true);
    define(kCheckDisableA, K::CheckBox, "Disable Port Port A", "Port A", true);
    define(kCheckDisableB, K::CheckBox, "Disable Port Port B", "Port B", true);
    define(kCheckDriving, K::CheckBox, "Driving Enable", "Driving Enable", true);
    define(kLabelDrivingA, K::Label, "Driving Port A label", "Port A", true);
    define(kEditDrivingA, K::Edit, "Driving Port A", "", true);
    define(kHintDrivingA, K::Label, "Driving Port A hint", "(HEX 0-7)", true);
    define(kLabelDrivingB, K::Label, "Driving Port B label", "Port B", true);
    define(kEditDrivingB, K::Edit, "Driving Port B", "", true);
    define(kHintDrivingB, K::Label, "Driving Port B hint", "(HEX 0-7)", true);
    define(kButtonExtSet, K::Button, "ExtSet", "ExtSet", true);
    // The extended checks and edits start disabled as well as hidden ("External Setting" and
    // its handler enable them); its frame, labels and "ExtSet" are only hidden.
    SetGroup({kCheckExternal, kCheckBattery, kCheckBatteryA, kCheckBatteryB, kCheckDisablePort,
              kCheckDisableA, kCheckDisableB, kCheckDriving, kEditDrivingA, kEditDrivingB},
             false);
}

void PageDevice::OnInitDialog() {
    controls_.SetEnabled(kCheckSuperSpeed, true);
    ctx_.setReg.m_ucManualSetting = 0;
    controls_.SetItems(kComboMaxSpeed, {"Genx1", "Genx2", "Genx3"}, -1);
}

void PageDevice::LogFailure(const char* function, int line, const std::exception& e) {
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s", function,
                             line, files::LastError(), e.what());
}

void PageDevice::Tell(const EditRefusal& refusal) {
    TellEditRefusal(refusal, ctx_.consoleMode, ctx_.console, ctx_.prompts);
}

void PageDevice::ShowEdit(ControlId id, const std::vector<EditRefusal>& refused) {
    const EditRule* rule = RuleOf(id);
    if (rule == nullptr) return;
    // A refused edit is left empty (a refused time-out stored 0, and the edit shows nothing).
    const bool emptied = std::any_of(refused.begin(), refused.end(),
                                     [&](const EditRefusal& r) { return r.edit == rule->edit; });
    controls_.SetText(id, emptied ? std::string() : EditText(ini_, *rule));
}

// --- Groups ---------------------------------------------------------------------------------

void PageDevice::vEnableSubSysGUI() {
    for (ControlId id : {kEditSvid, kEditSsid}) {
        controls_.SetEnabled(id, true);
        controls_.SetReadOnly(id, false);
    }
}

void PageDevice::vDisableSubSysGUI() {
    for (ControlId id : {kEditSvid, kEditSsid}) {
        controls_.SetEnabled(id, false);
        controls_.SetReadOnly(id, true);
    }
}

void PageDevice::vEnableSignalLineTestGUI() {
    SetGroup({kCheckUsb20, kCheckUsb30, kCheckUsb31, kCheckPort1, kCheckPort2}, true);
    controls_.SetReadOnly(kEditTimeout, false);
}

void PageDevice::vDisableSignalLineTestGUI() {
    SetGroup({kCheckUsb20, kCheckUsb30, kCheckUsb31, kCheckPort1, kCheckPort2}, false);
    controls_.SetReadOnly(kEditTimeout, true);
}

void PageDevice::vDisableALLGUI() {
    try {
        controls_.SetEnabled(kCheckFwUpdate, false);
        controls_.SetEnabled(kCheckFwCheck, false);
        vDisableFWUpdatetGUI();
        controls_.SetEnabled(kButtonFwInfo, false);
        controls_.SetEnabled(kCheckSubSys, false);
        vDisableSubSysGUI();
        controls_.SetEnabled(kCheckDisablePort, false);
        vDisableDisablePortGUI();
        controls_.SetEnabled(kCheckBattery, false);
        vDisableBatteryChargeGUI();
        controls_.SetEnabled(kCheckExternal, false);
        vHideExtendedGUI();
        controls_.SetEnabled(kCheckSuperSpeed, false);
        vDisableSuperSpeedGUI();
        controls_.SetEnabled(kCheckHighSpeed, false);
        vDisableHighSpeedGUI();
        controls_.SetEnabled(kCheckSmi, false);
        controls_.SetEnabled(kComboSmi, false);
        controls_.SetEnabled(kCheckSsc, false);
        vDisableSSCGUI();
        controls_.SetEnabled(kCheckPciSpeed, false);
        controls_.SetEnabled(kComboMaxSpeed, false);
        controls_.SetEnabled(kCheckManual, false);
        vDisableManualSettingGUI();
        controls_.SetReadOnly(kEditCustInfo, true);
        controls_.SetEnabled(kEditCustInfo, false);
        controls_.SetEnabled(kCheckCustInfo, false);
        vDisableSignalLineTestGUI();
        SetGroup({kCheckSignalLine, kCheckFixture, kCheckTermination, kCheckLoopBack}, false);
    } catch (const std::exception& e) {
        LogFailure("PageDevice::vDisableALLGUI", 1, e);
    }
}

void PageDevice::vEnableALLGUI() {
    try {
        controls_.SetEnabled(kCheckFwUpdate, true);
        vEnableFWUpdatetGUI();
        controls_.SetEnabled(kCheckFwCheck, true);
        controls_.SetEnabled(kButtonFwInfo, true);
        controls_.SetEnabled(kCheckSubSys, true);
        controls_.SetEnabled(kCheckCustInfo, true);
        vEnableSubSysGUI();
        controls_.SetEnabled(kCheckPciSpeed, true);
        controls_.SetEnabled(kComboMaxSpeed, true);
        if (hooks_.ExtendedAccess && hooks_.ExtendedAccess())
            vShowExtendedGUI();
        else
            vHideExtendedGUI();
        vEnableSignalLineTestGUI();
        SetGroup({kCheckSignalLine, kCheckFixture, kCheckTermination, kCheckLoopBack}, true);
        controls_.SetEnabled(kCheckManual, true);
        vEnableManualSettingGUI();
    } catch (const std::exception& e) {
        LogFailure("PageDevice::vEnableALLGUI", 2, e);
    }
}

// --- Refresh --------------------------------------------------------------------------------

void PageDevice::vSetGUIByINI() {
    std::size_t listed = 0;
    try {
        // The loaded values through the edits' rules first, as typed text: a refused field is
        // emptied and told, in the order of the edits below, which then show the fields.
        const std::vector<EditRefusal> refused = ValidateLoadedSettings(ini_);
        for (const EditRefusal& refusal : refused) Tell(refusal);

        // 1. Firmware update and check.
        const bool fwUpdate = ini_.fw_update_enable == 1;
        controls_.SetChecked(kCheckFwUpdate, fwUpdate);
        if (!fwUpdate) vDisableFWUpdatetGUI();
        controls_.SetChecked(kCheckFwCheck, ini_.fw_check_enable == 1);

        // 2. The loaded name on top of the firmware path list (the list grows by one entry per
        // refresh, up to 5).
        std::vector<std::string> list = controls_.Get(kComboFirmware).items;
        InsertFirmwareListTop(list, ini_.fw_binary_name);
        listed = list.size();
        controls_.SetItems(kComboFirmware, list, 0);

        // 3. The two visible tests.
        const bool signal = ini_.signal_line_test_enable == 1;
        controls_.SetChecked(kCheckSignalLine, signal);
        if (!signal) vDisableSignalLineTestGUI();
        const bool fixture = ini_.fixture_test_enable == 1;
        controls_.SetChecked(kCheckFixture, fixture);
        if (!fixture) vDisableSignalLineTestGUI();

        // 4. Speeds and ports.
        controls_.SetChecked(kCheckUsb20, (ini_.test_speed & 0x01) != 0);
        controls_.SetChecked(kCheckUsb30, (ini_.test_speed & 0x02) != 0);
        controls_.SetChecked(kCheckUsb31, (ini_.test_speed & 0x04) != 0);
        controls_.SetChecked(kCheckPort1, (ini_.test_port & 0x01) != 0);
        controls_.SetChecked(kCheckPort2, (ini_.test_port & 0x02) != 0);

        // 5. The time-out, then the test group follows "Signal Line Test".
        ShowEdit(kEditTimeout, refused);
        OnBnClickedSignalLineTest(controls_.Get(kCheckSignalLine).checked);

        // 6. The hidden tests, without a group change.
        controls_.SetChecked(kCheckTermination, ini_.termination_test_enable == 1);
        controls_.SetChecked(kCheckLoopBack, ini_.loopback_test_enable == 1);

        // 7. Subsystem IDs.
        const bool subsys = ini_.subsys_enable == 1;
        controls_.SetChecked(kCheckSubSys, subsys);
        if (!subsys) vDisableSubSysGUI();
        ShowEdit(kEditSvid, refused);
        ShowEdit(kEditSsid, refused);

        // 8. Customer information.
        const bool custInfo = ini_.CustInfo_enable == 1;
        controls_.SetChecked(kCheckCustInfo, custInfo);
        controls_.SetReadOnly(kEditCustInfo, !custInfo);
        controls_.SetEnabled(kEditCustInfo, custInfo);
        ShowEdit(kEditCustInfo, refused);

        // 9. SMI: the list is filled afresh (adding to it on every refresh would grow it
        // without end).
        const int smiSelection = controls_.Get(kComboSmi).selection;
        controls_.SetItems(kComboSmi, {"Push/Pull", "Open Drain"},
                           smiSelection >= 0 && smiSelection <= 1 ? smiSelection : -1);
        if (ini_.smi_enable == 1) {
            controls_.SetChecked(kCheckSmi, true);
            controls_.SetSelection(kComboSmi, ini_.smi_open_drain == 1 ? 1 : 0);
        } else {
            controls_.SetChecked(kCheckSmi, false);
            controls_.SetEnabled(kComboSmi, false);
        }

        // 10. PCIe speed limit; a speed outside 1..3 leaves the selection as it is.
        if (ini_.PCISPEED_enable == 1) {
            controls_.SetChecked(kCheckPciSpeed, true);
            if (ini_.MAX_PCIe_SPEED >= 1 && ini_.MAX_PCIe_SPEED <= 3)
                controls_.SetSelection(kComboMaxSpeed, ini_.MAX_PCIe_SPEED - 1);
        } else {
            controls_.SetChecked(kCheckPciSpeed, false);
            controls_.SetEnabled(kComboMaxSpeed, false);
        }

        // 11. SSC.
        const bool ssc = ini_.ssc_enable == 1;
        controls_.SetChecked(kCheckSsc, ssc);
        if (!ssc) vDisableSSCGUI();
        controls_.SetChecked(kRadioSscOn, ini_.ssc_on == 1);
        controls_.SetChecked(kRadioSscOff, ini_.ssc_on != 1);

        // 12. Manual setting.
        const bool manual = ctx_.setReg.m_ucManualSetting == 1;
        controls_.SetChecked(kCheckManual, manual);
        if (!manual) vDisableManualSettingGUI();

        // The extended block follows its fields (a settings load clears them), before the
        // high-speed group below, which holds "Driving Enable" and may disable it again.
        RefreshExtendedFromSettings();

        // 13. High speed.
        const bool highSpeed = ini_.hs_enable == 1;
        controls_.SetChecked(kCheckHighSpeed, highSpeed);
        if (!highSpeed) vDisableHighSpeedGUI();
        const bool rfTime = ini_.hs_rftime_enable == 1;
        controls_.SetChecked(kCheckRfTime, rfTime);
        if (!rfTime) SetGroup({kEditRfTimeA, kEditRfTimeB}, false);
        ShowEdit(kEditRfTimeA, refused);
        ShowEdit(kEditRfTimeB, refused);
        const bool iselvr = ini_.hs_iselvr_enable == 1;
        controls_.SetChecked(kCheckIselvr, iselvr);
        if (!iselvr) SetGroup({kEditIselvrA, kEditIselvrB}, false);
        ShowEdit(kEditIselvrA, refused);
        ShowEdit(kEditIselvrB, refused);

        // 14. Super speed.
        const bool superSpeed = ini_.ss_enable == 1;
        controls_.SetChecked(kCheckSuperSpeed, superSpeed);
        if (!superSpeed) vDisableSuperSpeedGUI();
        controls_.SetChecked(kCheckDeempA, ini_.ss_deemp_a_enable == 1);
        ShowEdit(kEditDeempA, refused);
        ShowEdit(kEditDeempB, refused);
        controls_.SetChecked(kCheckPreempA, ini_.ss_preemp_a_enable == 1);
        ShowEdit(kEditCurDrivingA, refused);
        ShowEdit(kEditCurDrivingB, refused);
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d:  iFWBrowseCurCount : %d , dwErrorCode %d, what: %s",
            "PageDevice::vSetGUIByINI", 3, static_cast<int>(listed), files::LastError(), e.what());
    }
}

void PageDevice::RefreshExtendedFromSettings() {
    controls_.SetChecked(kCheckExternal, ini_.ext_setting_enable == 1);
    controls_.SetChecked(kCheckBattery, ini_.battery_charge_enable == 1);
    controls_.SetChecked(kCheckBatteryA, ini_.battery_charge_port_a == 1);
    controls_.SetChecked(kCheckBatteryB, ini_.battery_charge_port_b == 1);
    controls_.SetChecked(kCheckDisablePort, ini_.disable_port_enable == 1);
    controls_.SetChecked(kCheckDisableA, ini_.disable_port_a == 1);
    controls_.SetChecked(kCheckDisableB, ini_.disable_port_b == 1);
    controls_.SetChecked(kCheckDriving, ini_.hs_curdriving_enable == 1);
    // The fields hold only what the edits accepted: shown without running the validation.
    controls_.SetText(kEditDrivingA, ini_.hs_curdriving_a);
    controls_.SetText(kEditDrivingB, ini_.hs_curdriving_b);
    // The enables as the handlers would leave them; a disabled "External Setting" (the page
    // disabled, or no extended access) keeps the whole block disabled.
    const bool active = controls_.Get(kCheckExternal).enabled && ini_.ext_setting_enable == 1;
    SetGroup({kCheckBattery, kCheckDisablePort, kCheckDriving}, active);
    SetGroup({kCheckBatteryA, kCheckBatteryB}, active && ini_.battery_charge_enable == 1);
    SetGroup({kCheckDisableA, kCheckDisableB}, active && ini_.disable_port_enable == 1);
    SetGroup({kEditDrivingA, kEditDrivingB}, active && ini_.hs_curdriving_enable == 1);
}

// --- Edits ----------------------------------------------------------------------------------

void PageDevice::EditChanged(ControlId id, const std::string& text) {
    const EditRule* rule = RuleOf(id);
    if (rule == nullptr) return;
    const EditCheck check = CheckEditText(*rule, text);
    controls_.SetText(id, check.text);
    if (!check.accepted) {
        Tell(RefusalOf(*rule));
        // Emptying the edit changes it again: the handler stores the empty text.
        EditChanged(id, std::string());
        return;
    }
    StoreEditText(ini_, *rule, check.text);
}

void PageDevice::OnTextChanged(ControlId id, const std::string& text) {
    try {
        EditChanged(id, text);
    } catch (const std::exception& e) {
        LogFailure(Format("PageDevice::OnEnChange %s", controls_.Name(id).c_str()).c_str(), 4, e);
    }
    SettingsChanged();
}

void PageDevice::SettingsChanged() {
    // What a run would do may have changed: Start follows its rule at once.
    if (hooks_.vEnableStartGUI) hooks_.vEnableStartGUI();
}

// --- Lists ----------------------------------------------------------------------------------

void PageDevice::OnSelectionChanged(ControlId id, int index) {
    try {
        controls_.SetSelection(id, index);
        const ControlState state = controls_.Get(id);
        const bool inList = index >= 0 && static_cast<std::size_t>(index) < state.items.size();
        switch (id) {
            case kComboFirmware:
                if (inList) ini_.fw_binary_name = state.items[index].substr(0, kIniTextMax);
                break;
            case kComboMaxSpeed:
                if (inList) ini_.MAX_PCIe_SPEED = static_cast<std::uint8_t>(index + 1);
                break;
            case kComboSmi:
                ini_.smi_open_drain = index == 1 ? 1 : 0;
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        LogFailure("PageDevice::OnCbnSelchange", 5, e);
    }
    SettingsChanged();
}

// --- Buttons and checks ---------------------------------------------------------------------

void PageDevice::OnClicked(ControlId id, bool checked) {
    try {
        Clicked(id, checked);
    } catch (const std::exception& e) {
        LogFailure(Format("PageDevice::OnBnClicked %s", controls_.Name(id).c_str()).c_str(), 6, e);
    }
    SettingsChanged();
}

void PageDevice::SetTestBit(std::uint8_t& bits, std::uint8_t bit, bool on) {
    bits = static_cast<std::uint8_t>(on ? bits | bit : bits & ~bit);
}

void PageDevice::Clicked(ControlId id, bool checked) {
    const ControlKind kind = controls_.Kind(id);
    if (kind == K::CheckBox) controls_.SetChecked(id, checked);
    for (const FlagCheck& flag : kFlagChecks)
        if (flag.id == id) {
            ini_.*(flag.field) = checked ? 1 : 0;
            return;
        }
    switch (id) {
        case kCheckFwUpdate:
            return OnBnClickedFWUpdateEnable(checked);
        case kButtonBrowse:
            return OnBnClickedButtonBrowse();
        case kButtonFwInfo:
            if (hooks_.OnBnClickedButtonFWInfo) hooks_.OnBnClickedButtonFWInfo();
            return;
        case kCheckSubSys:
            ini_.subsys_enable = checked ? 1 : 0;
            return checked ? vEnableSubSysGUI() : vDisableSubSysGUI();
        case kCheckPciSpeed:
            ini_.PCISPEED_enable = checked ? 1 : 0;
            controls_.SetEnabled(kComboMaxSpeed, checked);
            return;
        case kCheckCustInfo:
            ini_.CustInfo_enable = checked ? 1 : 0;
            controls_.SetReadOnly(kEditCustInfo, !checked);
            controls_.SetEnabled(kEditCustInfo, checked);
            return;
        case kCheckManual:
            ctx_.setReg.m_ucManualSetting = checked ? 1 : 0;
            return checked ? vEnableManualSettingGUI() : vDisableManualSettingGUI();
        case kButtonRegSetting:
            if (runRegisterDialog_) runRegisterDialog_();
            return;
        case kCheckSignalLine:
            return OnBnClickedSignalLineTest(checked);
        case kCheckFixture:
            ini_.fixture_test_enable = checked ? 1 : 0;
            return checked ? vEnableSignalLineTestGUI() : vDisableSignalLineTestGUI();
        case kCheckTermination:
            ini_.termination_test_enable = checked ? 1 : 0;
            return checked ? vEnableSignalLineTestGUI() : vDisableSignalLineTestGUI();
        case kCheckLoopBack:
            return OnBnClickedLoopBackTest(checked);
        case kCheckUsb20:
            return SetTestBit(ini_.test_speed, 0x01, checked);
        case kCheckUsb30:
            return SetTestBit(ini_.test_speed, 0x02, checked);
        case kCheckUsb31:
            return SetTestBit(ini_.test_speed, 0x04, checked);
        case kCheckPort1:
            return SetTestBit(ini_.test_port, 0x01, checked);
        case kCheckPort2:
            return SetTestBit(ini_.test_port, 0x02, checked);
        case kCheckSmi:
            ini_.smi_enable = checked ? 1 : 0;
            controls_.SetEnabled(kComboSmi, checked);
            return;
        case kCheckSsc:
            ini_.ssc_enable = checked ? 1 : 0;
            return checked ? vEnableSSCGUI() : vDisableSSCGUI();
        case kRadioSscOff:
        case kRadioSscOn:
            // A radio button is chosen, never unchosen, by a click.
            ini_.ssc_on = id == kRadioSscOn ? 1 : 0;
            controls_.SetChecked(kRadioSscOn, id == kRadioSscOn);
            controls_.SetChecked(kRadioSscOff, id == kRadioSscOff);
            return;
        case kCheckHighSpeed:
            ini_.hs_enable = checked ? 1 : 0;
            return checked ? vEnableHighSpeedGUI() : vDisableHighSpeedGUI();
        case kCheckRfTime:
            ini_.hs_rftime_enable = checked ? 1 : 0;
            return SetGroup({kEditRfTimeA, kEditRfTimeB}, checked);
        case kCheckIselvr:
            ini_.hs_iselvr_enable = checked ? 1 : 0;
            return SetGroup({kEditIselvrA, kEditIselvrB}, checked);
        case kCheckSuperSpeed:
            ini_.ss_enable = checked ? 1 : 0;
            return checked ? vEnableSuperSpeedGUI() : vDisableSuperSpeedGUI();
        case kCheckDeempB:
        case kCheckPreempB:
            return;  // no field behind them
        case kCheckExternal:
            return OnBnClickedCheckExternalEnable(checked);
        case kCheckBattery:
            return OnBnClickedBatteryCharge(checked);
        case kCheckDisablePort:
            return OnBnClickedDisablePort(checked);
        case kCheckDriving:
            return OnBnClickedDrivingEnable(checked);
        case kButtonExtSet:
            return vWriteExternalSetting();
        default:
            return;
    }
}

void PageDevice::OnBnClickedFWUpdateEnable(bool checked) {
    controls_.SetChecked(kCheckFwUpdate, checked);
    ini_.fw_update_enable = checked ? 1 : 0;
    checked ? vEnableFWUpdatetGUI() : vDisableFWUpdatetGUI();
}

void PageDevice::OnBnClickedSignalLineTest(bool checked) {
    controls_.SetChecked(kCheckSignalLine, checked);
    ini_.signal_line_test_enable = checked ? 1 : 0;
    checked ? vEnableSignalLineTestGUI() : vDisableSignalLineTestGUI();
}

void PageDevice::OnBnClickedLoopBackTest(bool checked) {
    controls_.SetChecked(kCheckLoopBack, checked);
    ini_.loopback_test_enable = checked ? 1 : 0;
    if (!checked) return vDisableSignalLineTestGUI();
    // "USB 2.0" is left as it is.
    SetGroup({kCheckUsb30, kCheckUsb31, kCheckPort1, kCheckPort2}, true);
    controls_.SetReadOnly(kEditTimeout, false);
}

void PageDevice::OnBnClickedButtonBrowse() {
    std::vector<std::string> list = controls_.Get(kComboFirmware).items;
    const std::optional<FirmwareBrowse> chosen =
        BrowseFirmwareFile(ctx_.prompts, ctx_.eventLog, ctx_.g_Utility.strToolFolder, list,
                           "PageDevice::OnBnClickedButtonBrowse");
    if (!chosen) return;
    controls_.SetItems(kComboFirmware, list, 0);
    ini_.fw_binary_name = chosen->settingsName;
}

// --- Extended block -------------------------------------------------------------------------

void PageDevice::OnBnClickedCheckExternalEnable(bool checked) {
    controls_.SetChecked(kCheckExternal, checked);
    if (checked) {
        SetGroup({kCheckBattery, kCheckDisablePort, kCheckDriving}, true);
        OnBnClickedBatteryCharge(controls_.Get(kCheckBattery).checked);
        OnBnClickedDisablePort(controls_.Get(kCheckDisablePort).checked);
        OnBnClickedDrivingEnable(controls_.Get(kCheckDriving).checked);
        ini_.ext_setting_enable = 1;
    } else {
        SetGroup({kCheckBattery, kCheckDisablePort, kCheckDriving, kCheckBatteryA, kCheckBatteryB,
                  kCheckDisableA, kCheckDisableB, kEditDrivingA, kEditDrivingB},
                 false);
        ini_.ext_setting_enable = 0;
    }
}

void PageDevice::OnBnClickedBatteryCharge(bool checked) {
    controls_.SetChecked(kCheckBattery, checked);
    ini_.battery_charge_enable = checked ? 1 : 0;
    checked ? vEnableBatteryChargeGUI() : vDisableBatteryChargeGUI();
}

void PageDevice::OnBnClickedDisablePort(bool checked) {
    controls_.SetChecked(kCheckDisablePort, checked);
    ini_.disable_port_enable = checked ? 1 : 0;
    checked ? vEnableDisablePortGUI() : vDisableDisablePortGUI();
}

void PageDevice::OnBnClickedDrivingEnable(bool checked) {
    controls_.SetChecked(kCheckDriving, checked);
    ini_.hs_curdriving_enable = checked ? 1 : 0;
    SetGroup({kEditDrivingA, kEditDrivingB}, checked);
}

void PageDevice::vShowExtendedGUI() {
    controls_.SetEnabled(kCheckExternal, true);
    for (ControlId id : ExtendedControls()) controls_.SetVisible(id, true);
    OnBnClickedCheckExternalEnable(controls_.Get(kCheckExternal).checked);
}

void PageDevice::vHideExtendedGUI() {
    for (ControlId id : ExtendedControls()) controls_.SetVisible(id, false);
}

void PageDevice::vWriteExternalSetting() {
    try {
        // One owner of the hardware: while another activity (a port check) drives the
        // controllers, nothing is written and the operator is told to try again.
        const HardwareActivity holder = ctx_.hardware.Holder();
        const HardwareSession::Hold hardware =
            ctx_.hardware.TryAcquire(HardwareActivity::ExternalSetting);
        if (!hardware) {
            ctx_.prompts.ShowMessage(
                Format("ExtSet is not written: %s still drives the controllers. Try again when "
                       "it has ended.",
                       HardwareActivityName(holder)),
                {}, MessageIcon::Warning);
            return;
        }
        const ExternalSettingResult result = WriteExternalSetting(ctx_.interctl, ini_);
        ctx_.prompts.ShowMessage(result.Text(), {},
                                 result.outcome == ExternalSettingResult::Outcome::Success
                                     ? MessageIcon::Information
                                     : MessageIcon::Error);
    } catch (const std::exception& e) {
        LogFailure("PageDevice::vWriteExternalSetting", 7, e);
    }
}

}  // namespace qnl
