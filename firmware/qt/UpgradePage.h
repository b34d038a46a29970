// The " Upgrade" tab page: a view of UpgradePageCore's controls.
#pragma once

#include <QWidget>

#include "firmware/UpgradePageCore.h"
#include "ui/qt/ControlBinder.h"

namespace qnl {

class UpgradePage : public QWidget {
    Q_OBJECT
  public:
    UpgradePage(UpgradePageCore& core, QWidget* parent = nullptr);
    UpgradePageCore& Core() { return core_; }
    ControlBinder& Binder() { return binder_; }

  private:
    UpgradePageCore& core_;
    ControlBinder binder_;
};

}  // namespace qnl
