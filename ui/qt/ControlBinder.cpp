#include "ui/qt/ControlBinder.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QThread>

#include <algorithm>

namespace qnl {

ControlBinder::ControlBinder(ControlStateTable& table, QObject* parent)
    : QObject(parent), table_(table) {
    token_ = table_.Subscribe([this](ControlId id) { OnChanged(id); });
}

ControlBinder::~ControlBinder() {
    // After this no worker calls OnChanged; calls it already queued die with this object.
    table_.Unsubscribe(token_);
}

void ControlBinder::Bind(ControlId id, QWidget* widget, Applier applier) {
    bindings_[id] = Binding{widget, std::move(applier)};
    if (widget != nullptr && widget->accessibleName().isEmpty()) {
        widget->setAccessibleName(QString::fromStdString(table_.Name(id)));
    }
    Apply(id);
}

QWidget* ControlBinder::Widget(ControlId id) const {
    auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.widget.data();
}

void ControlBinder::OnChanged(ControlId id) {
    if (QThread::currentThread() == thread()) {
        Apply(id);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, id] { Apply(id); }, Qt::QueuedConnection);
}

void ControlBinder::Apply(ControlId id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || it->second.widget.isNull()) return;
    QWidget* widget = it->second.widget.data();
    const ControlState state = table_.Get(id);
    QSignalBlocker blocker(widget);
    widget->setEnabled(state.enabled);
    widget->setHidden(!state.visible);
    if (it->second.applier) {
        it->second.applier(widget, state);
    } else {
        ApplyStandard(widget, state);
    }
}

void ControlBinder::ApplyAll() {
    for (auto& [id, binding] : bindings_) Apply(id);
}

void ControlBinder::ApplyStandard(QWidget* widget, const ControlState& state) {
    QSignalBlocker blocker(widget);
    const QString text = QString::fromStdString(state.text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setReadOnly(state.readOnly);
        if (edit->text() != text) {
            // Keep the caret where the operator left it when the core only filtered the text.
            int cursor = edit->cursorPosition();
            edit->setText(text);
            edit->setCursorPosition(std::min<int>(cursor, static_cast<int>(text.size())));
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (button->text() != text) button->setText(text);
        if (button->isCheckable()) button->setChecked(state.checked);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text() != text) label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        if (group->title() != text) group->setTitle(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        QStringList items;
        for (const auto& item : state.items) items << QString::fromStdString(item);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        if (shown != items) {
            combo->clear();
            combo->addItems(items);
        }
        combo->setCurrentIndex(state.selection < combo->count() ? state.selection : -1);
    } else if (auto* progress = qobject_cast<QProgressBar*>(widget)) {
        progress->setValue(state.value);
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        if (state.value >= 0 && state.value < tabs->count()) tabs->setCurrentIndex(state.value);
    }
}

}  // namespace qnl
