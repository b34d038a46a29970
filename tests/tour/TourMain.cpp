// qnl_tour <folder>: the screenshot tour (see Tour.h). Run by scripts/screenshot-tour.sh under
// Xvfb; exit 0 when every step ran and every picture was written.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "Tour.h"
#include "app/qt/PageViews.h"
#include "app/qt/WindowApp.h"
#include "settings/CIni.h"
#include "support/WindowStation.h"

namespace qnl::tour {

namespace {

std::multimap<int, Step>& Steps() {
    static std::multimap<int, Step> steps;
    return steps;
}

// Two hosts: host 0 healthy, host 1 with a flash whose reads come back with a flipped bit, so
// its update fails its verify (FAIL in the table).
constexpr const char* kStation = R"({ "time_scale": 0.3, "controllers": [
  { "bus": 3, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13",
    "flash": "h3.flash" },
  { "bus": 4, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13",
    "flash": "h4.flash",
    "faults": { "flip_on_read": [ { "address": 300, "mask": 1, "times": 1000000 } ] } } ],
  "other_devices": [] })";

class TourRun final : public Tour {
  public:
    TourRun(QString folder, MainWindowView& window, CQNL735_MPToolDlg& dialog, ToolContext& context,
            WindowPages& pages, QtPrompts& prompts)
        : folder_(std::move(folder)),
          window_(window),
          dialog_(dialog),
          context_(context),
          pages_(pages),
          prompts_(prompts) {
        dialogWatch_.setInterval(30);
        QObject::connect(&dialogWatch_, &QTimer::timeout, [this] { WatchDialogs(); });
    }

    MainWindowView& Window() override { return window_; }
    CQNL735_MPToolDlg& Dialog() override { return dialog_; }
    ToolContext& Context() override { return context_; }
    WindowPages& Pages() override { return pages_; }
    QtPrompts& Prompts() override { return prompts_; }

    void Shot(const std::string& name, QWidget* widget) override {
        QWidget* target = widget != nullptr ? widget : &window_;
        const QString file = QString("%1/%2-%3.png")
                                 .arg(folder_)
                                 .arg(++shots_, 2, 10, QChar('0'))
                                 .arg(QString::fromStdString(name));
        if (!target->grab().save(file)) {
            std::fprintf(stderr, "tour: cannot write %s\n", file.toUtf8().constData());
            failed_ = true;
            return;
        }
        std::printf("%s\n", file.toUtf8().constData());
    }

    void Settle() override {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 100) QApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    bool WaitFor(const std::function<bool()>& done, int ms) override {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    void WhenDialogShown(const std::string& name,
                         std::function<void(QDialog& dialog)> act) override {
        pendingName_ = name;
        pendingAct_ = std::move(act);
        seen_.clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) seen_.insert(w);
        dialogWatch_.start();
    }

    void AcceptDialogsAs(const std::string& prefix, bool on) override {
        autoPrefix_ = on ? prefix : std::string();
        if (on) {
            seen_.clear();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible()) seen_.insert(w);
            dialogWatch_.start();
        }
    }

    bool Failed() const { return failed_; }

  private:
    void WatchDialogs() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible() || seen_.count(w) != 0) continue;
            if (!pendingAct_ && !autoPrefix_.empty()) {
                seen_.insert(w);
                QTimer::singleShot(150, dialog, [this, dialog] {
                    Shot(autoPrefix_ + "-" + std::to_string(++autoShots_), dialog);
                    dialog->accept();
                });
                continue;
            }
            if (!pendingAct_) continue;
            dialogWatch_.stop();
            // Let it lay itself out and paint before it is shot.
            QTimer::singleShot(150, dialog, [this, dialog] {
                Shot(pendingName_, dialog);
                auto act = std::move(pendingAct_);
                pendingAct_ = {};
                if (!autoPrefix_.empty()) dialogWatch_.start();
                if (act) act(*dialog);
            });
            return;
        }
    }

    QString folder_;
    MainWindowView& window_;
    CQNL735_MPToolDlg& dialog_;
    ToolContext& context_;
    WindowPages& pages_;
    QtPrompts& prompts_;
    int shots_ = 0;
    bool failed_ = false;
    QTimer dialogWatch_;
    std::string pendingName_;
    std::function<void(QDialog&)> pendingAct_;
    std::set<QWidget*> seen_;
    std::string autoPrefix_;
    int autoShots_ = 0;
};

}  // namespace

bool AddStep(Step step) {
    const int order = step.order;
    Steps().emplace(order, std::move(step));
    return true;
}

}  // namespace qnl::tour

int main(int argc, char** argv) {
    using namespace qnl;
    if (argc < 2) {
        std::fprintf(stderr, "usage: qnl_tour <folder for the pictures>\n");
        return 2;
    }
    const std::string pictures = std::filesystem::absolute(argv[1]).string();
    std::filesystem::create_directories(pictures);
    for (const auto& entry : std::filesystem::directory_iterator(pictures))
        if (entry.path().extension() == ".png") std::filesystem::remove(entry.path());

    WindowApp app(argc, argv);
    IniSettings settings = test::WindowStation::UpdateAndCheck();
    settings.savelog_enable = 1;
    test::WindowStation station(pictures + "/tool", tour::kStation, settings, app.Prompts());
    CQNL735_MPToolDlg& dialog = station.tool->dialog;
    ToolContext& context = station.tool->context;
    WindowPages& pages = *station.tool->pages;
    MainWindowView window(dialog, context, MakePageViews(pages, dialog, context));
    app.Prompts().SetWindow(&window);
    window.FitToScreen();
    window.show();
    tour::TourRun run(QString::fromStdString(pictures), window, dialog, context, pages,
                      app.Prompts());
    run.Settle();
    for (auto& [order, step] : tour::Steps()) {
        std::fprintf(stderr, "tour: step %d %s\n", order, step.name.c_str());
        step.run(run);
    }
    app.Prompts().SetWindow(nullptr);
    return run.Failed() ? 1 : 0;
}
