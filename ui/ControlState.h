// The state of a window's controls, kept by the core so that console mode, worker threads and
// the Qt views share one truth.
//
// Every page, dialog and the main window owns a ControlStateTable: one entry per control, with
// what an operator sees of it (enabled, shown, read-only, checked, text, list items and
// selection, a value for progress bars and icons). The core's handlers change the table; a view
// listens and applies the changes to its widgets (on its own thread: a listener is called on
// the thread that made the change). Nothing here knows a widget.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qnl {

enum class ControlKind : std::uint8_t {
    Button,
    CheckBox,
    Radio,
    Edit,
    ComboBox,
    Label,
    Group,
    Progress,
    Tab,
    Picture,
    Icon,
    Table,
};

struct ControlState {
    bool enabled = true;
    bool visible = true;
    bool readOnly = false;
    bool checked = false;
    std::string text;                // caption of a button or label, the text of an edit
    std::vector<std::string> items;  // list entries of a combo box
    int selection = -1;              // selected list entry, -1 for none
    int value = 0;                   // progress position, icon number, current tab

    bool operator==(const ControlState&) const = default;
};

// Control identifiers are each owner's own enumeration, stored as int.
using ControlId = int;

class ControlStateTable {
  public:
    using Listener = std::function<void(ControlId)>;

    ControlStateTable() = default;
    ControlStateTable(const ControlStateTable&) = delete;
    ControlStateTable& operator=(const ControlStateTable&) = delete;

    // Adds a control. `name` is what an operator reads on it (or next to it): the view uses
    // it as the accessible name. Defining an identifier twice replaces the first entry.
    void Define(ControlId id, ControlKind kind, std::string name, ControlState initial = {});
    // A control whose text starts as `caption` (a button's, label's or group's caption; an
    // edit's first text), shown or created hidden.
    void DefineCaptioned(ControlId id, ControlKind kind, std::string name, std::string caption,
                         bool visible = true);
    bool Has(ControlId id) const;
    ControlKind Kind(ControlId id) const;
    std::string Name(ControlId id) const;
    std::vector<ControlId> Ids() const;  // in the order they were defined

    // A copy of one control's state. An unknown identifier throws std::out_of_range (a
    // programming error, never input).
    ControlState Get(ControlId id) const;

    // Each setter notifies the listeners only when the state really changed.
    void SetEnabled(ControlId id, bool enabled);
    void SetVisible(ControlId id, bool visible);
    void SetReadOnly(ControlId id, bool readOnly);
    void SetChecked(ControlId id, bool checked);
    void SetText(ControlId id, const std::string& text);
    void SetItems(ControlId id, const std::vector<std::string>& items, int selection);
    void SetSelection(ControlId id, int selection);
    void SetValue(ControlId id, int value);
    // Any change in one step; `change` runs under the table's lock and must not call back in.
    void Update(ControlId id, const std::function<void(ControlState&)>& change);

    // Convenience for the core's group operations.
    void EnableAll(const std::vector<ControlId>& ids, bool enabled);

    // Listeners are called after the change, outside the state lock, on the changing thread.
    // After Unsubscribe returns, the listener is not running and will not be called again.
    int Subscribe(Listener listener);
    void Unsubscribe(int token);

  private:
    struct Entry {
        ControlKind kind = ControlKind::Label;
        std::string name;
        ControlState state;
    };
    void Notify(ControlId id);

    mutable std::mutex mutex_;
    std::map<ControlId, Entry> entries_;
    std::vector<ControlId> order_;

    std::recursive_mutex listenersMutex_;  // a listener may change the table again
    std::map<int, Listener> listeners_;
    int nextToken_ = 1;
};

// What the main window asks of each of its pages.
class IPageCore {
  public:
    virtual ~IPageCore() = default;
    virtual ControlStateTable& Controls() = 0;
    // Enables or disables the page's own group of controls.
    virtual void vEnableALLGUI() = 0;
    virtual void vDisableALLGUI() = 0;
    // Loads the page's controls from the settings (and validates what it loads).
    virtual void vSetGUIByINI() = 0;
};

}  // namespace qnl
