#include "app/qt/WindowApp.h"

#include <QEventLoop>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QStyleFactory>

#include <atomic>
#include <exception>
#include <thread>

#include "app/qt/MainWindowView.h"
#include "ui/qt/AccessibleNames.h"
#include "ui/qt/SerialNumberDialog.h"

namespace qnl {

void ApplyWindowLook() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setFont(QFont("DejaVu Sans", 9));
}

WindowApp::WindowApp(int& argc, char** argv)
    : app_(std::make_unique<QApplication>(argc, argv)),
      prompts_(std::make_unique<QtPrompts>(QString("%1 %2").arg(kProductName, kProductVersion))) {
    ApplyWindowLook();
    InstallAccessibleNames();
    QApplication::setWindowIcon(WindowIcon());
    // The MP run's serial-number scan: "Serial Number Entering".
    prompts_->SetSerialNumberDialog([](QWidget* parent, ISerialNumberEntry& entry) {
        return RunSerialNumberDialog(entry, parent);
    });
}

QWidget* NewStartUpSplash() {
    auto* splash = new QWidget;
    splash->setObjectName("StartUpSplash");
    splash->setWindowTitle(QString("%1 %2").arg(kProductName, kProductVersion));
    splash->setWindowIcon(WindowIcon());
    auto* layout = new QHBoxLayout(splash);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(16);
    auto* logo = new QLabel(splash);
    logo->setPixmap(LogoPixmap());
    logo->setAccessibleName("Logo");
    layout->addWidget(logo);
    layout->addWidget(new QLabel(QString::fromUtf8(kStatusSearching), splash));
    splash->setFixedSize(splash->sizeHint());
    return splash;
}

std::optional<std::int32_t> WindowApp::StartUp(
    const std::function<std::optional<std::int32_t>()>& startUp) {
    std::unique_ptr<QWidget> splash(NewStartUpSplash());
    splash->show();
    prompts_->SetWindow(splash.get());
    std::optional<std::int32_t> code;
    QEventLoop loop;
    // The boxes start-up shows come to this thread (the prompts' blocking call) and are shown
    // here while the loop runs; the loop ends when start-up has.
    std::thread thread([&] {
        try {
            code = startUp();
        } catch (const std::exception&) {
            code = 1;  // start-up handles its own failures; this is a last guard
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
    prompts_->SetWindow(nullptr);
    return code;
}

WindowApp::~WindowApp() {
    prompts_.reset();
}

int WindowApp::Exec(CQNL735_MPToolDlg& dialog, ToolContext& context,
                    std::array<QWidget*, 3> pages) {
    MainWindowView window(dialog, context, pages);
    prompts_->SetWindow(&window);
    QObject::connect(&window, &MainWindowView::closed, &window,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    window.FitToScreen();
    window.show();
    const int code = QApplication::exec();
    prompts_->SetWindow(nullptr);
    return code;
}

}  // namespace qnl
