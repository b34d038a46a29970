#include "app/qt/MainWindowView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/qt/QtPrompts.h"
#include "platform/Worker.h"
#include "ui/qt/AccessibleNames.h"

namespace qnl {

namespace {
constexpr int kTimer1Ms = 80;
constexpr int kRescanPollMs = 20;
// The pages' area: at least this large, so an empty placeholder page keeps the window's shape.
constexpr int kPageMinWidth = 640;
constexpr int kPageMinHeight = 300;
}  // namespace

QPixmap LogoPixmap() {
    QPixmap pixmap(112, 30);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 30);
    gradient.setColorAt(0, QColor(0, 120, 60));
    gradient.setColorAt(1, QColor(0, 80, 40));
    painter.setBrush(gradient);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 111, 29), 6, 6);
    QFont font("DejaVu Sans", 12, QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "QNL7350A");
    return pixmap;
}

QIcon WindowIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0, 150, 75));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    painter.setPen(Qt::white);
    painter.setFont(QFont("DejaVu Sans", 11, QFont::Bold));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "Q");
    return QIcon(pixmap);
}

MainWindowView::MainWindowView(CQNL735_MPToolDlg& dialog, ToolContext& context,
                               std::array<QWidget*, 3> pages, QWidget* parent)
    : QWidget(parent), dialog_(dialog), context_(context), binder_(dialog.Controls(), this) {
    // A frame for assistive technology (not a filler).
    MarkAsFrame(this);
    setObjectName("MainWindow");
    setWindowTitle(QString::fromStdString(context_.uiText.windowTitle));
    setWindowIcon(WindowIcon());
    BuildWidgets(pages);
    BindControls();
    ConnectHandlers();
    ApplySize();
    timer1_.setInterval(kTimer1Ms);
    rescanPoll_.setInterval(kRescanPollMs);
    connect(&timer1_, &QTimer::timeout, this, &MainWindowView::OnTimer1);
    connect(&rescanPoll_, &QTimer::timeout, this, &MainWindowView::PollRescan);
    // A page's own run starts timer 1 from the core (on the GUI thread, in the page's handler).
    dialog_.SetTimer1Starter(
        [this] { QMetaObject::invokeMethod(this, [this] { timer1_.start(); }); });
    // A run the command line started before the window opened (/G or /F) is watched at once.
    if (dialog_.Timer1Running()) timer1_.start();
}

MainWindowView::~MainWindowView() {
    dialog_.SetTimer1Starter({});
    timer1_.stop();
    rescanPoll_.stop();
    // A rescan still scanning finishes on its own; its worker owns nothing of this view.
    if (rescanWorker_) rescanWorker_->WaitFinished(CQNL735_MPToolDlg::kCloseWait);
}

void MainWindowView::BuildWidgets(std::array<QWidget*, 3> pages) {
    auto button = [this](const char* text) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    saveIni_ = button("Save INI");
    loadIni_ = button("Load INI");
    auto* pathLabel =
        new QLabel(QString::fromStdString(dialog_.Controls().Name(kCtlIniPath)), this);
    path_ = new QLineEdit(this);
    pathLabel->setBuddy(path_);
    FollowBuddyEnabled(pathLabel);
    unlock_ = button("Unlock MP Tool");
    // Wide enough for either caption ("Unlock MP Tool" / "Lock MP Tool").
    unlock_->setMinimumWidth(unlock_->sizeHint().width());
    debugLog_ = button("Debug Log");
    logo_ = new QLabel(this);
    logo_->setPixmap(LogoPixmap());
    logo_->setAccessibleName("Logo");

    tabs_ = new QTabWidget(this);
    for (int i = 0; i < 3; ++i) {
        QWidget* page = pages[i];
        if (page == nullptr) {
            page = new QWidget;
            page->setObjectName(QString("PlaceholderPage%1").arg(i));
        }
        page->setMinimumSize(kPageMinWidth, kPageMinHeight);
        tabs_->addTab(page, kTabCaptions[i]);
    }

    model_ = new ResultTableModel(context_.resultTable, this);
    table_ = new ResultTableView(*model_, this);
    // The status line: failures in red. A message longer than a line (a path and a reason)
    // takes its second line from the table, so that it is never cut.
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    status_->setMinimumHeight(status_->fontMetrics().lineSpacing() + 2);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    rescan_ = button("Rescan");
    createNewFile_ = button("Create New File");
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    saveLog_ = new QCheckBox("SaveLog", this);
    barCodeScan_ = new QCheckBox("BarCodeScan", this);
    start_ = button("Start");
    close_ = button("Close");
    startRefusal_ = new QLabel(this);
    startRefusal_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(saveIni_);
    top->addWidget(loadIni_);
    top->addWidget(pathLabel);
    top->addWidget(path_, 1);
    top->addWidget(unlock_);
    top->addWidget(debugLog_);
    top->addWidget(logo_);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(rescan_);
    bottom->addWidget(createNewFile_);
    bottom->addWidget(progress_, 1);
    bottom->addWidget(saveLog_);
    bottom->addWidget(barCodeScan_);
    bottom->addWidget(start_);
    bottom->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    // Narrow side margins: the widest column set fits a 1024-pixel screen whole.
    layout->setContentsMargins(4, 6, 4, 6);
    layout->addLayout(top);
    layout->addWidget(tabs_);
    layout->addWidget(table_, 1);
    layout->addWidget(startRefusal_);
    layout->addWidget(status_);
    layout->addLayout(bottom);
}

void MainWindowView::ApplySize() {
    // A fixed window, sized by what it holds (the most it has held: a page switch never makes
    // it jump), within the area it was fitted to.
    natural_ = natural_.expandedTo(sizeHint());
    QSize size = natural_;
    if (fitArea_.isValid())
        size = size.boundedTo(fitArea_ - QSize(kFrameWidth, kFrameHeight))
                   .expandedTo(minimumSizeHint());
    setFixedSize(size);
}

void MainWindowView::FitTo(const QSize& available) {
    fitArea_ = available;
    ApplySize();
}

bool MainWindowView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) ApplySize();
    return handled;
}

void MainWindowView::showEvent(QShowEvent* event) {
    ApplySize();
    QWidget::showEvent(event);
}

void MainWindowView::FitToScreen() {
    if (QScreen* shown = screen()) FitTo(shown->availableGeometry().size());
}

void MainWindowView::BindControls() {
    binder_.Bind(kCtlSaveIni, saveIni_);
    binder_.Bind(kCtlLoadIni, loadIni_);
    binder_.Bind(kCtlIniPath, path_);
    binder_.Bind(kCtlUnlock, unlock_);
    binder_.Bind(kCtlDebugLog, debugLog_);
    binder_.Bind(kCtlLogo, logo_, [](QWidget*, const ControlState&) {});
    binder_.Bind(kCtlTab, tabs_);
    binder_.Bind(kCtlResultList, table_, [](QWidget*, const ControlState&) {});
    binder_.Bind(kCtlRescan, rescan_);
    binder_.Bind(kCtlCreateNewFile, createNewFile_);
    binder_.Bind(kCtlProgress, progress_);
    binder_.Bind(kCtlSaveLog, saveLog_);
    binder_.Bind(kCtlBarCodeScan, barCodeScan_);
    binder_.Bind(kCtlClose, close_);
    binder_.Bind(kCtlStart, start_);
    binder_.Bind(kCtlStartRefusal, startRefusal_);
    binder_.Bind(kCtlStatus, status_, [](QWidget* widget, const ControlState& state) {
        auto* label = static_cast<QLabel*>(widget);
        label->setText(QString::fromStdString(state.text));
        label->setStyleSheet(state.value == kStatusAlarm ? "QLabel { color: rgb(200,0,0); "
                                                           "font-weight: bold; }"
                                                         : QString());
    });
    // Alt and a letter: Start, UnLock (or Lock), Rescan, Load INI and Save INI.
    binder_.SetMnemonic(kCtlStart, "S");
    binder_.SetMnemonic(kCtlUnlock, "UL");
    binder_.SetMnemonic(kCtlRescan, "R");
    binder_.SetMnemonic(kCtlLoadIni, "O");
    binder_.SetMnemonic(kCtlSaveIni, "V");
}

void MainWindowView::ConnectHandlers() {
    connect(saveIni_, &QPushButton::clicked, this, [this] { dialog_.OnBnClickedButtonSaveini(); });
    connect(loadIni_, &QPushButton::clicked, this, [this] { dialog_.OnBnClickedButtonLoadini(); });
    connect(path_, &QLineEdit::textChanged, this, &MainWindowView::OnPathEdited);
    connect(unlock_, &QPushButton::clicked, this, [this] { dialog_.OnBnClickedUnlock(); });
    connect(debugLog_, &QPushButton::clicked, this,
            [this] { dialog_.OnBnClickedButtonDebugLog(); });
    // Connected after the tabs exist: the first addTab has emitted its own change already.
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0) dialog_.OnTcnSelchangeTab(static_cast<std::uint8_t>(index));
    });
    connect(rescan_, &QPushButton::clicked, this, &MainWindowView::OnRescan);
    connect(createNewFile_, &QPushButton::clicked, this,
            [this] { dialog_.OnBnClickedButtonCreateConfigFile(); });
    connect(saveLog_, &QCheckBox::clicked, this,
            [this](bool checked) { dialog_.OnBnClickedSaveLog(checked); });
    connect(barCodeScan_, &QCheckBox::clicked, this,
            [this](bool checked) { dialog_.OnBnClickedBarCodeScan(checked); });
    connect(start_, &QPushButton::clicked, this, &MainWindowView::OnStart);
    connect(close_, &QPushButton::clicked, this, &MainWindowView::RequestClose);
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &MainWindowView::ShowAbout);
}

QPushButton& MainWindowView::Button(MainControl id) {
    return *qobject_cast<QPushButton*>(binder_.Widget(id));
}

QCheckBox& MainWindowView::CheckBox(MainControl id) {
    return *qobject_cast<QCheckBox*>(binder_.Widget(id));
}

void MainWindowView::OnPathEdited(const QString& text) {
    const FilteredEdit shown =
        dialog_.OnEnChangeEditLoadINI(text.toStdString(), path_->cursorPosition());
    // What the core kept, with the caret where the operator had it among those characters.
    const QString kept = QString::fromStdString(shown.text);
    if (path_->text() != kept) {
        QSignalBlocker blocker(path_);
        path_->setText(kept);
    }
    path_->setCursorPosition(shown.caret);
}

void MainWindowView::OnStart() {
    dialog_.OnStartClicked();
    if (!dialog_.Timer1Running()) return;
    progress_->setStyleSheet("QProgressBar::chunk { background: rgb(0,150,75); }");
    timer1_.start();
}

void MainWindowView::OnTimer1() {
    if (!dialog_.OnTimer1() && dialog_.Timer1Running()) return;
    timer1_.stop();
    // A close asked for during the run happens now.
    if (dialog_.ClosePending()) RequestClose();
}

void MainWindowView::OnRescan() {
    if (rescanWorker_) return;
    // The wait for the hardware (a port check may hold it) and the scan run off the GUI thread.
    rescanWorker_ = dialog_.StartRescanWorker();
    if (!rescanWorker_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    rescanPoll_.start();
}

void MainWindowView::PollRescan() {
    if (!rescanWorker_ || !rescanWorker_->Finished()) return;
    rescanPoll_.stop();
    rescanWorker_.reset();
    dialog_.FinishRescan();
    QApplication::restoreOverrideCursor();
    if (dialog_.ClosePending()) RequestClose();
}

void MainWindowView::ShowAbout() {
    QMessageBox box(QMessageBox::Information, QString("About %1").arg(kProductName),
                    QString::fromStdString(context_.uiText.windowTitle) +
                        "\n\nProduction-line tool for the QNL7350A family of PCIe USB 3.x "
                        "host controllers.",
                    QMessageBox::Ok, this);
    box.setIconPixmap(WindowIcon().pixmap(32, 32));
    KeepTitleWhole(box);
    box.exec();
}

void MainWindowView::RequestClose() {
    if (closed_) return;
    const std::optional<std::int32_t> code = dialog_.OnClose();
    if (!code) return;  // a run or a rescan is active: put off (the status line says so)
    closed_ = true;
    timer1_.stop();
    rescanPoll_.stop();
    emit closed(*code);
}

void MainWindowView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            RequestClose();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter presses the focused button (a page's too: the key comes up from it); it
            // ends nothing, the window has no default button.
            if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
                focused != nullptr && focused->isEnabled() && focused->isVisible() &&
                isAncestorOf(focused))
                focused->click();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (!closed_) RequestClose();
    if (closed_)
        event->accept();
    else
        event->ignore();
}

void MainWindowView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction("&About QNL735_MPTool...");
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, &MainWindowView::ShowAbout);
    menu.exec(event->globalPos());
}

}  // namespace qnl
