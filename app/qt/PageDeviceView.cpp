#include "app/qt/PageDeviceView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/qt/SetRegDialogView.h"
#include "ui/qt/AccessibleNames.h"
#include "ui/qt/EditValidator.h"

namespace qnl {

using P = PageDevice;

PageDeviceView::PageDeviceView(PageDevice& core, SET_REG& registerList, QWidget* dialogParent,
                               QWidget* parent)
    : QWidget(parent),
      core_(core),
      registerList_(registerList),
      dialogParent_(dialogParent),
      binder_(core.Controls(), this),
      registerDialog_(registerList) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(BuildFirmware());
    auto* middle = new QHBoxLayout;
    middle->addWidget(BuildConfiguration(), 3);
    middle->addWidget(BuildTests(), 2);
    layout->addLayout(middle);
    layout->addWidget(BuildExtended());
    layout->addWidget(BuildTuning());
    // The room left over goes below the last block, never into the groups above it.
    layout->addStretch(1);

    // Every control of the table has its widget.
    for (ControlId id : core_.Controls().Ids())
        Q_ASSERT_X(binder_.Widget(id) != nullptr, "PageDeviceView", "a control without widget");
    // The extended block is the page's last shown block: showing it moves nothing else on the
    // page. It takes room only while shown (the main window then grows, or on a small screen
    // its result table gives up the room), so that a 1024x768 screen shows the whole table.
    core_.SetRegisterDialogRunner([this] { RunRegisterDialog(); });
}

PageDeviceView::~PageDeviceView() {
    core_.SetRegisterDialogRunner({});
}

void PageDeviceView::RunRegisterDialog() {
    SetRegDialogView dialog(registerDialog_, dialogParent_ != nullptr ? dialogParent_ : window());
    openDialog_ = &dialog;
    dialog.exec();
    openDialog_ = nullptr;
}

QWidget* PageDeviceView::Check(ControlId id) {
    auto* check = new QCheckBox(this);
    binder_.Bind(id, check);
    connect(check, &QCheckBox::clicked, this, [this, id](bool on) { core_.OnClicked(id, on); });
    return check;
}

QWidget* PageDeviceView::Button(ControlId id) {
    auto* button = new QPushButton(this);
    button->setAutoDefault(false);
    binder_.Bind(id, button);
    connect(button, &QPushButton::clicked, this, [this, id] { core_.OnClicked(id, false); });
    return button;
}

QWidget* PageDeviceView::Radio(ControlId id) {
    auto* radio = new QRadioButton(this);
    // The core decides which one is chosen: Qt's own exclusivity would refuse to uncheck.
    radio->setAutoExclusive(false);
    binder_.Bind(id, radio);
    connect(radio, &QRadioButton::clicked, this, [this, id] { core_.OnClicked(id, true); });
    return radio;
}

QWidget* PageDeviceView::Edit(ControlId id) {
    auto* edit = new QLineEdit(this);
    const PageDevice::EditTraits traits = PageDevice::Traits(id);
    edit->setValidator(
        new EditValidator(static_cast<int>(traits.typingLimit), traits.upperCase, edit));
    binder_.Bind(id, edit);
    connect(edit, &QLineEdit::textChanged, this,
            [this, id](const QString& text) { core_.OnTextChanged(id, text.toStdString()); });
    return edit;
}

QWidget* PageDeviceView::Combo(ControlId id) {
    auto* combo = new LabelledComboBox(this);
    binder_.Bind(id, combo);
    connect(combo, &QComboBox::currentIndexChanged, this,
            [this, id](int index) { core_.OnSelectionChanged(id, index); });
    return combo;
}

QWidget* PageDeviceView::Label(ControlId id, QWidget* buddy) {
    auto* label = new QLabel(this);
    if (buddy != nullptr) label->setBuddy(buddy);
    binder_.Bind(id, label);
    return label;
}

QWidget* PageDeviceView::BuildFirmware() {
    auto* box = new QGroupBox(tr("Firmware"), this);
    auto* grid = new QGridLayout(box);
    auto* checks = new QHBoxLayout;
    checks->addWidget(Check(P::kCheckFwUpdate));
    checks->addWidget(Check(P::kCheckFwCheck));
    checks->addStretch();
    grid->addLayout(checks, 0, 0, 1, 4);
    QWidget* list = Combo(P::kComboFirmware);
    list->setMinimumWidth(320);
    static_cast<QComboBox*>(list)->setSizeAdjustPolicy(
        QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The list is named by the label beside it.
    auto* listLabel =
        new QLabel(QString::fromStdString(core_.Controls().Name(P::kComboFirmware)), this);
    listLabel->setBuddy(list);
    FollowBuddyEnabled(listLabel);
    grid->addWidget(listLabel, 1, 0);
    grid->addWidget(list, 1, 1);
    grid->addWidget(Button(P::kButtonBrowse), 1, 2);
    grid->addWidget(Button(P::kButtonFwInfo), 1, 3);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* PageDeviceView::BuildConfiguration() {
    auto* box = new QGroupBox(tr("Configuration"), this);
    auto* grid = new QGridLayout(box);
    int row = 0;
    grid->addWidget(Check(P::kCheckSubSys), row, 0);
    QWidget* svid = Edit(P::kEditSvid);
    QWidget* ssid = Edit(P::kEditSsid);
    svid->setFixedWidth(60);
    ssid->setFixedWidth(60);
    auto* ids = new QHBoxLayout;
    ids->addWidget(Label(P::kLabelSvid, svid));
    ids->addWidget(svid);
    ids->addSpacing(12);
    ids->addWidget(Label(P::kLabelSsid, ssid));
    ids->addWidget(ssid);
    ids->addStretch();
    grid->addLayout(ids, row++, 1);

    grid->addWidget(Check(P::kCheckPciSpeed), row, 0);
    QWidget* speed = Combo(P::kComboMaxSpeed);
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(Label(P::kLabelMaxSpeed, speed));
    speedRow->addWidget(speed);
    speedRow->addStretch();
    grid->addLayout(speedRow, row++, 1);

    grid->addWidget(Check(P::kCheckCustInfo), row, 0);
    QWidget* custInfo = Edit(P::kEditCustInfo);
    auto* custLabel = new QLabel("Customer Information (MAX 31)", this);
    custLabel->setBuddy(custInfo);
    FollowBuddyEnabled(custLabel);
    grid->addWidget(custLabel, row++, 1);
    grid->addWidget(custInfo, row++, 0, 1, 2);

    grid->addWidget(Check(P::kCheckManual), row, 0);
    auto* regRow = new QHBoxLayout;
    regRow->addWidget(Button(P::kButtonRegSetting));
    regRow->addStretch();
    grid->addLayout(regRow, row++, 1);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* PageDeviceView::BuildTests() {
    auto* box = new QGroupBox(tr("Testing Items"), this);
    auto* grid = new QGridLayout(box);
    grid->addWidget(Check(P::kCheckSignalLine), 0, 0, 1, 2);
    grid->addWidget(Check(P::kCheckFixture), 0, 2, 1, 2);
    grid->addWidget(Check(P::kCheckTermination), 1, 0, 1, 2);
    grid->addWidget(Check(P::kCheckLoopBack), 1, 2, 1, 2);
    grid->addWidget(Check(P::kCheckUsb20), 2, 0);
    grid->addWidget(Check(P::kCheckUsb30), 2, 1);
    grid->addWidget(Check(P::kCheckUsb31), 2, 2);
    grid->addWidget(Check(P::kCheckPort1), 3, 0);
    grid->addWidget(Check(P::kCheckPort2), 3, 1);
    QWidget* timeout = Edit(P::kEditTimeout);
    timeout->setFixedWidth(60);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(Label(P::kLabelTimeout, timeout));
    timeoutRow->addWidget(timeout);
    timeoutRow->addStretch();
    grid->addLayout(timeoutRow, 4, 0, 1, 4);
    grid->setRowStretch(5, 1);
    return box;
}

QWidget* PageDeviceView::BuildTuning() {
    // Created and hidden: no operation of the tool shows these, but their state is kept (the
    // configuration image reads their fields). They take no room while hidden.
    auto* holder = new QWidget(this);
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    grid->addWidget(Check(P::kCheckSmi), row, 0);
    grid->addWidget(Combo(P::kComboSmi), row, 1);
    grid->addWidget(Check(P::kCheckSsc), row, 2);
    grid->addWidget(Radio(P::kRadioSscOff), row, 3);
    grid->addWidget(Radio(P::kRadioSscOn), row++, 4);
    grid->addWidget(Check(P::kCheckHighSpeed), row, 0);
    grid->addWidget(Check(P::kCheckRfTime), row, 1);
    QWidget* rfA = Edit(P::kEditRfTimeA);
    QWidget* rfB = Edit(P::kEditRfTimeB);
    grid->addWidget(Label(P::kLabelRfTimeA, rfA), row, 2);
    grid->addWidget(rfA, row, 3);
    grid->addWidget(Label(P::kLabelRfTimeB, rfB), row, 4);
    grid->addWidget(rfB, row++, 5);
    grid->addWidget(Check(P::kCheckIselvr), row, 1);
    QWidget* isA = Edit(P::kEditIselvrA);
    QWidget* isB = Edit(P::kEditIselvrB);
    grid->addWidget(Label(P::kLabelIselvrA, isA), row, 2);
    grid->addWidget(isA, row, 3);
    grid->addWidget(Label(P::kLabelIselvrB, isB), row, 4);
    grid->addWidget(isB, row++, 5);
    grid->addWidget(Check(P::kCheckSuperSpeed), row, 0);
    grid->addWidget(Label(P::kLabelDeemphasis), row, 1);
    grid->addWidget(Check(P::kCheckDeempA), row, 2);
    grid->addWidget(Edit(P::kEditDeempA), row, 3);
    grid->addWidget(Check(P::kCheckDeempB), row, 4);
    grid->addWidget(Edit(P::kEditDeempB), row++, 5);
    grid->addWidget(Label(P::kLabelPreemphasis), row, 1);
    grid->addWidget(Check(P::kCheckPreempA), row, 2);
    grid->addWidget(Check(P::kCheckPreempB), row++, 4);
    grid->addWidget(Label(P::kLabelCurDriving), row, 1);
    QWidget* cdA = Edit(P::kEditCurDrivingA);
    QWidget* cdB = Edit(P::kEditCurDrivingB);
    grid->addWidget(Label(P::kLabelCurDrivingA, cdA), row, 2);
    grid->addWidget(cdA, row, 3);
    grid->addWidget(Label(P::kLabelCurDrivingB, cdB), row, 4);
    grid->addWidget(cdB, row++, 5);
    return holder;
}

QWidget* PageDeviceView::BuildExtended() {
    auto* frame = new QGroupBox(this);
    binder_.Bind(P::kFrameExtended, frame);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(Check(P::kCheckExternal), 0, 0);
    grid->addWidget(Button(P::kButtonExtSet), 0, 5);
    grid->addWidget(Check(P::kCheckBattery), 1, 0);
    grid->addWidget(Check(P::kCheckBatteryA), 1, 1);
    grid->addWidget(Check(P::kCheckBatteryB), 1, 2);
    grid->addWidget(Check(P::kCheckDisablePort), 2, 0);
    grid->addWidget(Check(P::kCheckDisableA), 2, 1);
    grid->addWidget(Check(P::kCheckDisableB), 2, 2);
    grid->addWidget(Check(P::kCheckDriving), 3, 0);
    QWidget* drivingA = Edit(P::kEditDrivingA);
    QWidget* drivingB = Edit(P::kEditDrivingB);
    drivingA->setFixedWidth(36);
    drivingB->setFixedWidth(36);
    auto* driving = new QHBoxLayout;
    driving->addWidget(Label(P::kLabelDrivingA, drivingA));
    driving->addWidget(drivingA);
    driving->addWidget(Label(P::kHintDrivingA));
    driving->addSpacing(12);
    driving->addWidget(Label(P::kLabelDrivingB, drivingB));
    driving->addWidget(drivingB);
    driving->addWidget(Label(P::kHintDrivingB));
    driving->addStretch();
    grid->addLayout(driving, 3, 1, 1, 5);
    grid->setColumnStretch(4, 1);
    return frame;
}

}  // namespace qnl
