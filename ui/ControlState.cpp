#include "ui/ControlState.h"

#include <algorithm>
#include <stdexcept>

namespace qnl {

void ControlStateTable::Define(ControlId id, ControlKind kind, std::string name,
                               ControlState initial) {
    {
        std::lock_guard lock(mutex_);
        if (entries_.find(id) == entries_.end()) order_.push_back(id);
        entries_[id] = Entry{kind, std::move(name), std::move(initial)};
    }
    Notify(id);
}

void ControlStateTable::DefineCaptioned(ControlId id, ControlKind kind, std::string name,
                                        std::string caption, bool visible) {
    ControlState initial;
    initial.text = std::move(caption);
    initial.visible = visible;
    Define(id, kind, std::move(name), std::move(initial));
}

bool ControlStateTable::Has(ControlId id) const {
    std::lock_guard lock(mutex_);
    return entries_.find(id) != entries_.end();
}

ControlKind ControlStateTable::Kind(ControlId id) const {
    std::lock_guard lock(mutex_);
    return entries_.at(id).kind;
}

std::string ControlStateTable::Name(ControlId id) const {
    std::lock_guard lock(mutex_);
    return entries_.at(id).name;
}

std::vector<ControlId> ControlStateTable::Ids() const {
    std::lock_guard lock(mutex_);
    return order_;
}

ControlState ControlStateTable::Get(ControlId id) const {
    std::lock_guard lock(mutex_);
    return entries_.at(id).state;
}

void ControlStateTable::Update(ControlId id, const std::function<void(ControlState&)>& change) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        ControlState& state = entries_.at(id).state;
        ControlState before = state;
        change(state);
        changed = !(before == state);
    }
    if (changed) Notify(id);
}

void ControlStateTable::SetEnabled(ControlId id, bool enabled) {
    Update(id, [&](ControlState& s) { s.enabled = enabled; });
}
void ControlStateTable::SetVisible(ControlId id, bool visible) {
    Update(id, [&](ControlState& s) { s.visible = visible; });
}
void ControlStateTable::SetReadOnly(ControlId id, bool readOnly) {
    Update(id, [&](ControlState& s) { s.readOnly = readOnly; });
}
void ControlStateTable::SetChecked(ControlId id, bool checked) {
    Update(id, [&](ControlState& s) { s.checked = checked; });
}
void ControlStateTable::SetText(ControlId id, const std::string& text) {
    Update(id, [&](ControlState& s) { s.text = text; });
}
void ControlStateTable::SetItems(ControlId id, const std::vector<std::string>& items,
                                 int selection) {
    Update(id, [&](ControlState& s) {
        s.items = items;
        s.selection = selection;
    });
}
void ControlStateTable::SetSelection(ControlId id, int selection) {
    Update(id, [&](ControlState& s) { s.selection = selection; });
}
void ControlStateTable::SetValue(ControlId id, int value) {
    Update(id, [&](ControlState& s) { s.value = value; });
}

void ControlStateTable::EnableAll(const std::vector<ControlId>& ids, bool enabled) {
    for (ControlId id : ids) SetEnabled(id, enabled);
}

int ControlStateTable::Subscribe(Listener listener) {
    std::lock_guard lock(listenersMutex_);
    int token = nextToken_++;
    listeners_.emplace(token, std::move(listener));
    return token;
}

void ControlStateTable::Unsubscribe(int token) {
    std::lock_guard lock(listenersMutex_);
    listeners_.erase(token);
}

void ControlStateTable::Notify(ControlId id) {
    std::lock_guard lock(listenersMutex_);
    // A copy: a listener may subscribe or unsubscribe (its own token included).
    std::map<int, Listener> listeners = listeners_;
    for (auto& [token, listener] : listeners) {
        if (listeners_.find(token) != listeners_.end()) listener(id);
    }
}

}  // namespace qnl
