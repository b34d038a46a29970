#include "porttest/qt/FunTestPage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

#include "ui/qt/EditValidator.h"

namespace qnl {

namespace {
// The two port icons: a green plug for connected, a grey ring for not connected.
QPixmap PortIcon(bool connected) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (connected) {
        painter.setBrush(QColor(0, 150, 75));
        painter.setPen(QPen(QColor(0, 90, 45), 1.5));
        painter.drawEllipse(2, 2, 16, 16);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(7, 10, 13, 10);
        painter.drawLine(10, 6, 10, 14);
    } else {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(150, 150, 150), 2));
        painter.drawEllipse(3, 3, 14, 14);
    }
    return pixmap;
}
// The progress bar's colour needs the Fusion style; one for the application, which owns it.
QStyle* FusionStyle() {
    static QPointer<QStyle> fusion;
    if (!fusion) {
        fusion = QStyleFactory::create("Fusion");
        fusion->setParent(QCoreApplication::instance());
    }
    return fusion;
}
}  // namespace

FunTestPage::FunTestPage(FunTestPageCore& core, QWidget* parent)
    : QWidget(parent), core_(core), binder_(core.Controls(), this) {
    // "Function Test Setting"
    auto* setting = new QGroupBox(this);
    auto* usb20 = new QCheckBox(setting);
    auto* usb30 = new QCheckBox(setting);
    auto* usb31 = new QCheckBox(setting);
    auto* port1 = new QCheckBox(setting);
    auto* port2 = new QCheckBox(setting);
    auto* timeOutLabel = new QLabel(setting);
    auto* timeOut = new QLineEdit(setting);
    timeOutLabel->setBuddy(timeOut);
    // Typing is limited to 3 characters; a loaded value longer than that is shown whole.
    timeOut->setValidator(new EditValidator(3, false, timeOut));
    timeOut->setMaximumWidth(60);
    auto* settingLayout = new QGridLayout(setting);
    settingLayout->addWidget(usb20, 0, 0);
    settingLayout->addWidget(usb30, 0, 1);
    settingLayout->addWidget(usb31, 0, 2);
    settingLayout->addWidget(port1, 1, 0);
    settingLayout->addWidget(port2, 1, 1);
    settingLayout->addWidget(timeOutLabel, 2, 0);
    settingLayout->addWidget(timeOut, 2, 1);
    settingLayout->setColumnStretch(3, 1);  // the boxes stay together on the left

    // "Testing Items"
    auto* items = new QGroupBox(this);
    auto* itemsLayout = new QGridLayout(items);
    const std::pair<ControlId, ControlId> rows[] = {{kFtSignalLineButton, kFtSignalLineEnable},
                                                    {kFtFixtureButton, kFtFixtureEnable},
                                                    {kFtLoopBackButton, kFtLoopBackEnable},
                                                    {kFtTerminationButton, kFtTerminationEnable}};
    QPushButton* buttons[4];
    QCheckBox* enables[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(items);
        enables[i] = new QCheckBox(items);
        itemsLayout->addWidget(buttons[i], i, 0);
        itemsLayout->addWidget(enables[i], i, 1);
        binder_.Bind(rows[i].first, buttons[i]);
        binder_.Bind(rows[i].second, enables[i]);
    }

    // "Port Status"
    auto* status = new QGroupBox(this);
    auto* statusLayout = new QGridLayout(status);
    for (std::size_t d = 0; d < kStatusColumns; ++d) {
        auto* label = new QLabel(status);
        statusLayout->addWidget(label, 0, static_cast<int>(d) + 1, Qt::AlignCenter);
        binder_.Bind(kFtDeviceLabel1 + static_cast<ControlId>(d), label);
    }
    const QPixmap connected = PortIcon(true);
    const QPixmap notConnected = PortIcon(false);
    for (std::size_t r = 0; r < kPortRowNames.size(); ++r) {
        auto* label = new QLabel(status);
        statusLayout->addWidget(label, static_cast<int>(r) + 1, 0);
        binder_.Bind(kFtRowLabel1 + static_cast<ControlId>(r), label);
        for (std::size_t d = 0; d < kStatusColumns; ++d) {
            auto* icon = new QLabel(status);
            icon->setAlignment(Qt::AlignCenter);
            statusLayout->addWidget(icon, static_cast<int>(r) + 1, static_cast<int>(d) + 1);
            const QString name = QString::fromStdString(core_.Controls().Name(IconId(r, d)));
            icon->setAccessibleName(name + " not connected");
            binder_.Bind(
                IconId(r, d), icon,
                [connected, notConnected, name](QWidget* w, const ControlState& s) {
                    auto* iconLabel = static_cast<QLabel*>(w);
                    const bool on = s.value == kIconConnected;
                    iconLabel->setPixmap(on ? connected : notConnected);
                    iconLabel->setAccessibleName(name + (on ? " connected" : " not connected"));
                });
        }
    }
    auto* progress = new QProgressBar(status);
    progress->setRange(0, 100);
    progress->setTextVisible(false);
    progress->setStyle(FusionStyle());
    progress->setStyleSheet("QProgressBar::chunk { background: rgb(0,150,75); }");
    auto* reflash = new QPushButton(status);
    auto* ok = new QPushButton(this);
    statusLayout->addWidget(progress, 5, 0, 1, 4);
    statusLayout->addWidget(reflash, 5, 4);

    auto* top = new QHBoxLayout;
    top->addWidget(setting);
    top->addWidget(items);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(status);
    layout->addWidget(ok, 0, Qt::AlignRight);
    layout->addStretch();

    binder_.Bind(kFtSettingGroup, setting);
    binder_.Bind(kFtUsb20, usb20);
    binder_.Bind(kFtUsb30, usb30);
    binder_.Bind(kFtUsb31, usb31);
    binder_.Bind(kFtPort1, port1);
    binder_.Bind(kFtPort2, port2);
    binder_.Bind(kFtTimeOutLabel, timeOutLabel);
    binder_.Bind(kFtTimeOut, timeOut);
    binder_.Bind(kFtItemsGroup, items);
    binder_.Bind(kFtStatusGroup, status);
    binder_.Bind(kFtProgress, progress);
    binder_.Bind(kFtReflash, reflash);
    binder_.Bind(kFtOk, ok);

    connect(usb20, &QCheckBox::clicked, this, [this](bool on) { core_.OnBnClickedCheckUsb20(on); });
    connect(usb30, &QCheckBox::clicked, this, [this](bool on) { core_.OnBnClickedCheckUsb30(on); });
    connect(usb31, &QCheckBox::clicked, this, [this](bool on) { core_.OnBnClickedCheckUsb31(on); });
    connect(port1, &QCheckBox::clicked, this, [this](bool on) { core_.OnBnClickedCheckPort1(on); });
    connect(port2, &QCheckBox::clicked, this, [this](bool on) { core_.OnBnClickedCheckPort2(on); });
    connect(timeOut, &QLineEdit::textChanged, this,
            [this](const QString& text) { core_.OnEnChangeEditTimeOut(text.toStdString()); });
    connect(buttons[0], &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonSignalLineTest(); });
    connect(buttons[1], &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonFixtureTest(); });
    connect(buttons[2], &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonLoopBackTest(); });
    connect(buttons[3], &QPushButton::clicked, this,
            [this] { core_.OnBnClickedButtonTerminalTest(); });
    connect(enables[0], &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedSignalLineTestEnable(on); });
    connect(enables[1], &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedCheckFixtureTest(on); });
    connect(enables[2], &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedLoopBackTestEnable(on); });
    connect(enables[3], &QCheckBox::clicked, this,
            [this](bool on) { core_.OnBnClickedTerminationTestEnable(on); });
    connect(reflash, &QPushButton::clicked, this, [this] { core_.OnBnClickedButtonReflash(); });

    // The page's own timer (80 ms): the scan's progress onto the bar while "Reflash" runs.
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] { core_.OnTimer(); });
    timer_.start();
}

}  // namespace qnl
