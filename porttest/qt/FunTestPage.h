// The " Test" tab page: a view of FunTestPageCore's controls, with the port status icons and
// the page's own 80 ms timer.
#pragma once

#include <QTimer>
#include <QWidget>

#include "porttest/FunTestPageCore.h"
#include "ui/qt/ControlBinder.h"

namespace qnl {

class FunTestPage : public QWidget {
    Q_OBJECT
  public:
    FunTestPage(FunTestPageCore& core, QWidget* parent = nullptr);
    FunTestPageCore& Core() { return core_; }
    ControlBinder& Binder() { return binder_; }

  private:
    FunTestPageCore& core_;
    ControlBinder binder_;
    QTimer timer_;
};

}  // namespace qnl
