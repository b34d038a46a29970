#include "firmware/qt/UpgradePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/AccessibleNames.h"

namespace qnl {

UpgradePage::UpgradePage(UpgradePageCore& core, QWidget* parent)
    : QWidget(parent), core_(core), binder_(core.Controls(), this) {
    auto* update = new QCheckBox(this);
    auto* check = new QCheckBox(this);
    auto* list = new LabelledComboBox(this);
    auto* listLabel = new QLabel(tr("Firmware File"), this);
    listLabel->setBuddy(list);
    FollowBuddyEnabled(listLabel);
    list->setMinimumContentsLength(40);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* browse = new QPushButton(this);
    auto* info = new QPushButton(this);
    auto* upgrade = new QPushButton(this);

    auto* grid = new QGridLayout;
    grid->addWidget(update, 0, 0, 1, 2);
    grid->addWidget(check, 1, 0, 1, 2);
    grid->addWidget(listLabel, 2, 0);
    grid->addWidget(list, 2, 1);
    grid->addWidget(browse, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(info);
    buttons->addWidget(upgrade);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addStretch();

    binder_.Bind(kUpgFwUpgradeEnable, update);
    binder_.Bind(kUpgFwCheckEnable, check);
    binder_.Bind(kUpgFirmwareList, list);
    binder_.Bind(kUpgFirmwareBrowser, browse);
    binder_.Bind(kUpgFirmwareInfo, info);
    binder_.Bind(kUpgFirmwareUpgrade, upgrade);

    connect(update, &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedCheckFwUpgradeEnable(on); });
    connect(check, &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedCheckFwCheckEnable(on); });
    connect(list, &QComboBox::currentIndexChanged, this,
            [this](int index) { core_.OnCbnSelchangeComboFirmware(index); });
    connect(browse, &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonFirmwareBrowser(); });
    connect(info, &QPushButton::clicked, this, [this] { core_.OnBnClickedButtonFWInfo(); });
    connect(upgrade, &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonFirmwareUpgrade(); });
}

}  // namespace qnl
