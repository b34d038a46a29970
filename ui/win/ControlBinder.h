// Mirrors a core's control table onto the system's controls (HWNDs).
//
// The core owns the state; the binder applies it: text, enabled, shown, read-only, checked,
// list items and selection, a progress value, the current tab. A programmatic update never
// runs a handler: the system answers some of them with a notification of its own (WM_SETTEXT
// sends EN_CHANGE to the edit's parent), so every update runs inside a ProgrammaticUpdate and
// the views drop the notifications that arrive meanwhile (Applying()). A change made on a
// worker thread is posted to the GUI thread and applied there with the state found then.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "ui/ControlState.h"

namespace qnl::win {

// While one lives on a thread, notifications sent by the controls are the program's own doing.
class ProgrammaticUpdate {
  public:
    ProgrammaticUpdate();
    ~ProgrammaticUpdate();
    ProgrammaticUpdate(const ProgrammaticUpdate&) = delete;
    ProgrammaticUpdate& operator=(const ProgrammaticUpdate&) = delete;
};
// Whether the calling thread is inside a programmatic update: a view's WM_COMMAND and
// WM_NOTIFY handlers return at once when it is.
bool Applying();

class ControlBinder {
  public:
    // How a control of its own kind (an icon, the result list, the status line) shows its
    // state; called after enabled and shown have been applied.
    using Applier = std::function<void(HWND, const ControlState&)>;

    // Made on the GUI thread, whose message loop applies the changes of other threads.
    explicit ControlBinder(ControlStateTable& table);
    ~ControlBinder();
    ControlBinder(const ControlBinder&) = delete;
    ControlBinder& operator=(const ControlBinder&) = delete;

    // Binds a control to its window and applies the current state at once.
    void Bind(ControlId id, HWND control, Applier applier = {});
    // The letters (ASCII) of which the first a button's caption holds is its Alt key: the
    // caption is shown with an "&" before it. The core's caption itself stays as it is.
    void SetMnemonic(ControlId id, const std::string& letters);
    HWND Control(ControlId id) const;
    // The control bound to `control`, or -1.
    ControlId IdOf(HWND control) const;
    ControlStateTable& Table() { return table_; }

    // Applies one control's (or every bound control's) state now. GUI thread only.
    void Apply(ControlId id);
    void ApplyAll();

    // What the binder writes into a standard control (button, check box, radio, group box,
    // edit, static, combo box, progress bar, tab control); `mnemonics` as for SetMnemonic.
    static void ApplyStandard(HWND control, const ControlState& state,
                              const std::string& mnemonics = {});

  private:
    static LRESULT CALLBACK MessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnChanged(ControlId id);  // any thread
    void ApplyPending();
    // A label placed just before an edit or list (in the tab order) is greyed while that
    // control is disabled, whether or not the label is bound.
    void FollowBuddy(HWND input);
    bool OwnEnabled(HWND label) const;

    struct Binding {
        HWND control = nullptr;
        Applier applier;
        std::string mnemonics;
    };
    ControlStateTable& table_;
    DWORD guiThread_ = 0;
    HWND messages_ = nullptr;  // message-only window: the worker's changes are posted here
    int token_ = 0;
    std::map<ControlId, Binding> bindings_;  // GUI thread only
    std::mutex pendingMutex_;
    std::set<ControlId> pending_;  // changed on another thread, not yet applied
};

}  // namespace qnl::win
