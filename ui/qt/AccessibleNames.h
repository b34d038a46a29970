// What assistive technology (AT-SPI on Linux) and station scripts read of the tool's windows,
// where Qt's own answer is not what the operator reads:
//
// - a list (LabelledComboBox) is named by its label (its accessible name, or the text of the
//   label whose buddy it is); on Linux Qt names a QComboBox after its current entry ("Genx2"),
//   so a list could not be found by what stands beside it;
// - a top-level window that is a plain widget (the main window) is a frame, as a dialog is,
//   not a filler.
//
// Qt keeps the first interface it made for an object, and makes one as soon as a widget
// reports a change: the interfaces are installed before the widgets exist (the application's
// start; a LabelledComboBox installs them too).
#pragma once

#include <QComboBox>

namespace qnl {

// Installs the tool's accessible interfaces (once per process; later calls do nothing).
void InstallAccessibleNames();

// `window` (a top-level plain widget) is a frame for assistive technology.
void MarkAsFrame(QWidget* window);

// The tool's drop-down list: a QComboBox named by its label. Qt's own interface for QComboBox
// answers before any other; this class is the tool's own.
class LabelledComboBox final : public QComboBox {
    Q_OBJECT
  public:
    explicit LabelledComboBox(QWidget* parent = nullptr);
};

}  // namespace qnl
