#include "ui/qt/ControlBinder.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QThread>

#include <algorithm>

#include "ui/qt/EditValidator.h"

namespace qnl {

namespace {

// Greys a label with its buddy: a label beside a disabled edit or list reads as disabled too.
class BuddyEnabledFilter final : public QObject {
  public:
    BuddyEnabledFilter(QLabel* label, QWidget* buddy) : QObject(label), label_(label) {
        buddy->installEventFilter(this);
        Follow(buddy);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            if (auto* buddy = qobject_cast<QWidget*>(watched)) Follow(buddy);
        return false;
    }

  private:
    // Disabled on its own (not only through a disabled parent, which greys the label too).
    void Follow(QWidget* buddy) { label_->setEnabled(!buddy->testAttribute(Qt::WA_Disabled)); }
    QLabel* label_;
};

}  // namespace

void FollowBuddyEnabled(QLabel* label) {
    if (label != nullptr && label->buddy() != nullptr)
        new BuddyEnabledFilter(label, label->buddy());
}

ControlBinder::ControlBinder(ControlStateTable& table, QObject* parent)
    : QObject(parent), table_(table) {
    token_ = table_.Subscribe([this](ControlId id) { OnChanged(id); });
}

ControlBinder::~ControlBinder() {
    // After this no worker calls OnChanged; calls it already queued die with this object.
    table_.Unsubscribe(token_);
}

void ControlBinder::Bind(ControlId id, QWidget* widget, Applier applier) {
    bindings_[id] = Binding{widget, std::move(applier), {}};
    // Buttons, check boxes, group boxes and labels are named as Apply shows them; the others
    // (edits, lists, pictures) by the control's name.
    const bool captioned = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                           qobject_cast<QGroupBox*>(widget) != nullptr ||
                           qobject_cast<QLabel*>(widget) != nullptr;
    if (widget != nullptr && !captioned && widget->accessibleName().isEmpty())
        widget->setAccessibleName(QString::fromStdString(table_.Name(id)));
    if (auto* label = qobject_cast<QLabel*>(widget)) FollowBuddyEnabled(label);
    Apply(id);
}

void ControlBinder::SetMnemonic(ControlId id, const QString& letters) {
    auto it = bindings_.find(id);
    if (it == bindings_.end()) return;
    it->second.mnemonics = letters;
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

QString ControlBinder::CaptionName(ControlId id, const QString& caption) const {
    const QString shown = caption.trimmed();
    const QString name = QString::fromStdString(table_.Name(id));
    // "Battery Charge Port A" names the caption "Port A" where it sits; "UnLock" does not
    // name "Lock MP Tool": the caption is the name then.
    if (shown.isEmpty() || name.contains(shown)) return name;
    return shown;
}

void ControlBinder::Apply(ControlId id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || it->second.widget.isNull()) return;
    QWidget* widget = it->second.widget.data();
    const ControlState state = table_.Get(id);
    QSignalBlocker blocker(widget);
    bool enabled = state.enabled;
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->buddy() != nullptr)
        enabled = enabled && !label->buddy()->testAttribute(Qt::WA_Disabled);
    widget->setEnabled(enabled);
    widget->setHidden(!state.visible);
    if (it->second.applier) {
        it->second.applier(widget, state);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget);
               button != nullptr && !it->second.mnemonics.isEmpty()) {
        ControlState shown = state;
        shown.text =
            WithMnemonic(QString::fromStdString(state.text), it->second.mnemonics).toStdString();
        ApplyStandard(widget, shown);
    } else {
        ApplyStandard(widget, state);
    }
    const QString caption = QString::fromStdString(state.text);
    if (qobject_cast<QAbstractButton*>(widget) != nullptr ||
        qobject_cast<QGroupBox*>(widget) != nullptr) {
        const QString name = CaptionName(id, caption);
        if (widget->accessibleName() != name) widget->setAccessibleName(name);
    }
}

void ControlBinder::ApplyAll() {
    for (auto& [id, binding] : bindings_) Apply(id);
}

QString ControlBinder::WithMnemonic(const QString& caption, const QString& letters) {
    QString text = caption;
    text.replace('&', "&&");
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            ++i;  // an escaped "&&"
            continue;
        }
        if (letters.contains(text[i], Qt::CaseInsensitive)) {
            text.insert(i, '&');
            break;
        }
    }
    return text;
}

void ControlBinder::ApplyStandard(QWidget* widget, const ControlState& state) {
    QSignalBlocker blocker(widget);
    const QString text = QString::fromStdString(state.text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setReadOnly(state.readOnly);
        if (edit->text() != text) {
            // A loaded value may be longer than the typing limit: shown whole, and typing
            // can only shorten it.
            if (auto* validator = qobject_cast<const EditValidator*>(edit->validator()))
                const_cast<EditValidator*>(validator)->AllowShownLength(text.size());
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
