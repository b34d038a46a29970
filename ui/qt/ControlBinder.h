// Mirrors a core's control table onto Qt widgets.
//
// The core owns the state; the binder applies it. Every change is applied on the GUI thread
// under a QSignalBlocker, so a programmatic update never calls back into the core: the views
// can listen to the widgets' user signals (clicked, textChanged, currentIndexChanged,
// currentChanged) and pass each one to the core's handler. A change made on a worker thread is
// queued to the GUI thread and applied with the state found there.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>

#include "ui/ControlState.h"

namespace qnl {

// A label beside an edit or list (its buddy) is greyed while its buddy is disabled. The binder
// does it for the labels it binds; views call it for labels of their own.
void FollowBuddyEnabled(QLabel* label);

class ControlBinder : public QObject {
    Q_OBJECT
  public:
    // How a control with a widget of its own kind (an icon, a custom view) shows its state;
    // called after enabled and visible have been applied.
    using Applier = std::function<void(QWidget*, const ControlState&)>;

    explicit ControlBinder(ControlStateTable& table, QObject* parent = nullptr);
    ~ControlBinder() override;
    ControlBinder(const ControlBinder&) = delete;
    ControlBinder& operator=(const ControlBinder&) = delete;

    // Binds a control to its widget and applies the current state at once. Accessible names
    // follow what the operator reads: a button, check box or group box is named by its caption
    // as shown (or by the control's name where that names the caption in its context, "Battery
    // Charge Port A" for "Port A"), a label by its text; any other widget gets the control's
    // name unless it has one already (edits and lists: the caption of their label).
    void Bind(ControlId id, QWidget* widget, Applier applier = {});
    // A keyboard mnemonic for a button: Alt and the first of `letters` found in its caption
    // (case-insensitive) presses it. The caption itself stays the core's.
    void SetMnemonic(ControlId id, const QString& letters);
    QWidget* Widget(ControlId id) const;
    ControlStateTable& Table() { return table_; }

    // Applies one control's (or every bound control's) state now. GUI thread only.
    void Apply(ControlId id);
    void ApplyAll();

    // What the binder writes into a widget of a standard kind (QLineEdit, QAbstractButton,
    // QLabel, QGroupBox, QComboBox, QProgressBar, QTabWidget), under a signal blocker.
    static void ApplyStandard(QWidget* widget, const ControlState& state);
    // `caption` with "&" before the first of `letters` in it ("&&" for a "&" of its own).
    static QString WithMnemonic(const QString& caption, const QString& letters);

  private:
    void OnChanged(ControlId id);  // any thread

    struct Binding {
        QPointer<QWidget> widget;
        Applier applier;
        QString mnemonics;
    };
    // The accessible name of a captioned control showing `caption`.
    QString CaptionName(ControlId id, const QString& caption) const;
    ControlStateTable& table_;
    int token_ = 0;
    std::map<ControlId, Binding> bindings_;  // GUI thread only
};

}  // namespace qnl
