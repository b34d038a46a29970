#include "app/qt/WindowApp.h"

#include <QFont>
#include <QStyleFactory>

#include "app/qt/MainWindowView.h"
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
    QApplication::setWindowIcon(WindowIcon());
    // The MP run's serial-number scan: "Serial Number Entering".
    prompts_->SetSerialNumberDialog([](QWidget* parent, ISerialNumberEntry& entry) {
        return RunSerialNumberDialog(entry, parent);
    });
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
    window.show();
    const int code = QApplication::exec();
    prompts_->SetWindow(nullptr);
    return code;
}

}  // namespace qnl
