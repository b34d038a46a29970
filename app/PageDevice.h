// The device settings page (" MainPage "): the testing items of a run and the values that go
// into the controller's configuration image, the hidden PHY tuning controls, and the extended
// block (battery charge, port disabling, current driving, "ExtSet").
//
// This is the page's logic and control state. Every control writes its settings field the
// moment it changes; vSetGUIByINI does the reverse. The edits' rules are the settings'
// (settings/SettingsValidation.h): typed text is checked against them, and the refresh applies
// them to the loaded values before it shows them (a loaded SVID "12G4" is refused, told and
// emptied). Start-up applies the same function itself, so a console run programs what the
// window would without this page.
// The Qt view (app/qt/PageDeviceView) only passes the operator's input to the handlers below
// and shows the table.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/ToolContext.h"
#include "settings/SettingsValidation.h"
#include "ui/ControlState.h"
#include "ui/PageHooks.h"

namespace qnl {

class PageDevice final : public IPageCore {
  public:
    enum Control : ControlId {
        // Firmware.
        kCheckFwUpdate,
        kComboFirmware,
        kButtonBrowse,
        kButtonFwInfo,
        kCheckFwCheck,
        // Configuration.
        kCheckSubSys,
        kLabelSvid,
        kEditSvid,
        kLabelSsid,
        kEditSsid,
        kCheckPciSpeed,
        kLabelMaxSpeed,
        kComboMaxSpeed,
        kCheckCustInfo,
        kEditCustInfo,
        kCheckManual,
        kButtonRegSetting,
        // Tests.
        kCheckSignalLine,
        kCheckFixture,
        kCheckTermination,  // hidden
        kCheckLoopBack,     // hidden
        kCheckUsb20,
        kCheckUsb30,
        kCheckUsb31,
        kCheckPort1,
        kCheckPort2,
        kLabelTimeout,
        kEditTimeout,
        // Hidden tuning controls.
        kCheckSmi,
        kComboSmi,
        kCheckSsc,
        kRadioSscOff,
        kRadioSscOn,
        kCheckHighSpeed,
        kCheckRfTime,
        kLabelRfTimeA,
        kEditRfTimeA,
        kLabelRfTimeB,
        kEditRfTimeB,
        kCheckIselvr,
        kLabelIselvrA,
        kEditIselvrA,
        kLabelIselvrB,
        kEditIselvrB,
        kCheckSuperSpeed,
        kLabelDeemphasis,
        kCheckDeempA,
        kEditDeempA,
        kCheckDeempB,
        kEditDeempB,
        kLabelPreemphasis,
        kCheckPreempA,
        kCheckPreempB,
        kLabelCurDriving,
        kLabelCurDrivingA,
        kEditCurDrivingA,
        kLabelCurDrivingB,
        kEditCurDrivingB,
        // Extended block (shown with extended access).
        kFrameExtended,
        kCheckExternal,
        kCheckBattery,
        kCheckBatteryA,
        kCheckBatteryB,
        kCheckDisablePort,
        kCheckDisableA,
        kCheckDisableB,
        kCheckDriving,
        kLabelDrivingA,
        kEditDrivingA,
        kHintDrivingA,
        kLabelDrivingB,
        kEditDrivingB,
        kHintDrivingB,
        kButtonExtSet,
        kControlCount
    };

    // An edit's typing limit (the view's; a loaded value is shown and kept whole), 0 for none,
    // and whether the edit forces upper case (its settings rule's).
    struct EditTraits {
        std::size_t typingLimit = 0;
        bool upperCase = false;
    };
    static EditTraits Traits(ControlId edit);

    explicit PageDevice(ToolContext& context);
    PageDevice(const PageDevice&) = delete;
    PageDevice& operator=(const PageDevice&) = delete;

    // What the page asks of the main window (vEnableStartGUI, OnBnClickedButtonFWInfo,
    // ExtendedAccess); attached by the composition root (unset: nothing).
    void SetMainWindowHooks(MainWindowHooks hooks) { hooks_ = std::move(hooks); }
    // " Reg Setting" runs the "Setting Register" dialog modally: the view's part (unset: no
    // dialog, as in console mode).
    void SetRegisterDialogRunner(std::function<void()> run) { runRegisterDialog_ = std::move(run); }

    // --- IPageCore ---------------------------------------------------------------------------
    ControlStateTable& Controls() override { return controls_; }
    void vEnableALLGUI() override;
    void vDisableALLGUI() override;
    void vSetGUIByINI() override;

    // Dialog initialisation: "Super Speed" enabled, the manual-setting flag cleared, the speed
    // list filled. The constructor runs it.
    void OnInitDialog();

    // --- The operator's input, as the view passes it on ------------------------------------
    // A button or check box was clicked (`checked`: the check's new state; ignored for
    // buttons and for radio buttons, which are chosen).
    void OnClicked(ControlId id, bool checked);
    // An edit's whole new text.
    void OnTextChanged(ControlId id, const std::string& text);
    // A list's new selection.
    void OnSelectionChanged(ControlId id, int index);

    // --- Group operations ------------------------------------------------------------------
    void vEnableFWUpdatetGUI() { SetGroup(kFwUpdateGroup, true); }
    void vDisableFWUpdatetGUI() { SetGroup(kFwUpdateGroup, false); }
    void vEnableSubSysGUI();
    void vDisableSubSysGUI();
    void vEnableManualSettingGUI() { controls_.SetEnabled(kButtonRegSetting, true); }
    void vDisableManualSettingGUI() { controls_.SetEnabled(kButtonRegSetting, false); }
    void vEnableSignalLineTestGUI();
    void vDisableSignalLineTestGUI();
    void vEnableSuperSpeedGUI() { SetGroup(kSuperSpeedGroup, true); }
    void vDisableSuperSpeedGUI() { SetGroup(kSuperSpeedGroup, false); }
    void vEnableHighSpeedGUI() { SetGroup(kHighSpeedGroup, true); }
    void vDisableHighSpeedGUI() { SetGroup(kHighSpeedGroup, false); }
    void vEnableSSCGUI() { SetGroup({kRadioSscOff, kRadioSscOn}, true); }
    void vDisableSSCGUI() { SetGroup({kRadioSscOff, kRadioSscOn}, false); }
    void vEnableBatteryChargeGUI() { SetGroup({kCheckBatteryA, kCheckBatteryB}, true); }
    void vDisableBatteryChargeGUI() { SetGroup({kCheckBatteryA, kCheckBatteryB}, false); }
    void vEnableDisablePortGUI() { SetGroup({kCheckDisableA, kCheckDisableB}, true); }
    void vDisableDisablePortGUI() { SetGroup({kCheckDisableA, kCheckDisableB}, false); }

    // --- Extended block --------------------------------------------------------------------
    void vShowExtendedGUI();
    void vHideExtendedGUI();
    // "ExtSet": writes the extended values into every kind-1 host and tells the operator.
    void vWriteExternalSetting();

    // The named handlers (OnClicked and OnTextChanged dispatch to them).
    void OnBnClickedFWUpdateEnable(bool checked);
    void OnBnClickedButtonBrowse();
    void OnBnClickedSignalLineTest(bool checked);
    void OnBnClickedLoopBackTest(bool checked);
    void OnBnClickedCheckExternalEnable(bool checked);
    void OnBnClickedBatteryCharge(bool checked);
    void OnBnClickedDisablePort(bool checked);
    void OnBnClickedDrivingEnable(bool checked);
    void OnEnChangeEditMainSVID(const std::string& text) { OnTextChanged(kEditSvid, text); }
    void OnEnChangeEditMainSSID(const std::string& text) { OnTextChanged(kEditSsid, text); }
    void OnEnChangeEditTimeOut(const std::string& text) { OnTextChanged(kEditTimeout, text); }
    void OnEnChangeEditCustInfo(const std::string& text) { OnTextChanged(kEditCustInfo, text); }

    // Every control shown by vShowExtendedGUI (and hidden by vHideExtendedGUI).
    static const std::vector<ControlId>& ExtendedControls();

  private:
    static const std::vector<ControlId> kFwUpdateGroup;
    static const std::vector<ControlId> kSuperSpeedGroup;
    static const std::vector<ControlId> kHighSpeedGroup;

    void DefineControls();
    void SetGroup(const std::vector<ControlId>& ids, bool enabled) {
        controls_.EnableAll(ids, enabled);
    }
    // A check's new state: the table, then the handler.
    void Clicked(ControlId id, bool checked);
    // After the operator changed a control: the main window's Start follows its rule.
    void SettingsChanged();
    // An edit's text: the table, the validation (with the emptying re-entry), the field.
    void EditChanged(ControlId id, const std::string& text);
    // The refresh's way of writing an edit: its field's text, or empty when the refresh's
    // validation refused it.
    void ShowEdit(ControlId id, const std::vector<EditRefusal>& refused);
    // The message of an invalid edit input: console in command-line mode for the edits that
    // say so, else a message box.
    void Tell(const EditRefusal& refusal);
    void SetTestBit(std::uint8_t& bits, std::uint8_t bit, bool on);
    // The extended checks and edits from the fields, their enables re-derived from "External
    // Setting"; nothing is stored.
    void RefreshExtendedFromSettings();
    void LogFailure(const char* function, int line, const std::exception& e);

    ToolContext& ctx_;
    IniSettings& ini_;
    ControlStateTable controls_;
    MainWindowHooks hooks_;
    std::function<void()> runRegisterDialog_;
};

}  // namespace qnl
