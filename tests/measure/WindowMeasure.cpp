// qnl_window_measure <folder>: the window's figures on a simulated station (run by
// scripts/measure-window.sh under Xvfb, release build):
//   - start to first paint: from the process's start (and from main) to the main window's
//     first paint event, the default two-host station's start-up included;
//   - idle: CPU time of the whole process over 60 s of an idle window;
//   - an 8-host MP run (firmware update and check, time scale 1): the longest lateness of a
//     10 ms timer on the GUI thread, i.e. the longest time the GUI thread did not get to its
//     event loop.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/qt/MainWindowView.h"
#include "app/qt/PageViews.h"
#include "app/qt/WindowApp.h"
#include "support/WindowStation.h"

namespace {

// Seconds since the process started (from /proc, 10 ms resolution).
double SecondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) fields >> field;  // field 22: start time in clock ticks
    const double started = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class FirstPaint final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            fromProcessStart = SecondsSinceProcessStart();
        }
        return QObject::eventFilter(watched, event);
    }
    bool seen = false;
    double fromProcessStart = 0;
};

std::string Controllers(int count) {
    std::string json = R"({ "time_scale": 1.0, "controllers": [)";
    for (int i = 0; i < count; ++i) {
        json += (i ? "," : "");
        json +=
            R"({ "bus": )" + std::to_string(3 + i) +
            R"(, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13", "flash": "h)" +
            std::to_string(i) + R"(.flash" })";
    }
    return json + R"(], "other_devices": [] })";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (argc < 2) {
        std::fprintf(stderr, "usage: qnl_window_measure <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    WindowApp app(argc, argv);
    const IniSettings settings = test::WindowStation::UpdateAndCheck();

    double firstPaint = 0;
    qint64 firstPaintFromMain = 0;
    {
        test::WindowStation station(folder + "/start", Controllers(2), settings, app.Prompts());
        ToolAssembly& tool = *station.tool;
        MainWindowView window(tool.dialog, tool.context,
                              MakePageViews(*tool.pages, tool.dialog, tool.context));
        FirstPaint paint;
        window.installEventFilter(&paint);
        window.show();
        while (!paint.seen) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        firstPaint = paint.fromProcessStart;
        firstPaintFromMain = sinceMain.elapsed();
        window.removeEventFilter(&paint);

        // Idle for 60 s.
        QApplication::processEvents();
        const double cpuBefore = CpuSeconds();
        QElapsedTimer idle;
        idle.start();
        QTimer::singleShot(60000, [] { QApplication::quit(); });
        QApplication::exec();
        const double idleCpu = CpuSeconds() - cpuBefore;
        std::printf("start to first paint: %.2f s from the process start (%lld ms from main)\n",
                    firstPaint, static_cast<long long>(firstPaintFromMain));
        std::printf("idle window: %.3f s CPU in %.1f s = %.2f %% of a core\n", idleCpu,
                    idle.elapsed() / 1000.0, 100.0 * idleCpu / (idle.elapsed() / 1000.0));
    }

    // An 8-host run from the window's Start.
    test::WindowStation station(folder + "/run", Controllers(8), settings, app.Prompts());
    ToolAssembly& tool = *station.tool;
    MainWindowView window(tool.dialog, tool.context,
                          MakePageViews(*tool.pages, tool.dialog, tool.context));
    window.show();
    QApplication::processEvents();
    QElapsedTimer tick;
    qint64 longest = 0;
    qint64 ticks = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 late = tick.restart() - 10;
        if (ticks++ > 0 && late > longest) longest = late;
    });
    tick.start();
    probe.start();
    QElapsedTimer run;
    run.start();
    window.Button(kCtlStart).click();
    if (!window.Timer1().isActive()) {
        std::fprintf(stderr, "measure: the run did not start\n");
        return 1;
    }
    while (window.Timer1().isActive())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    probe.stop();
    int passed = 0;
    for (int row = 0; row < 8; ++row)
        passed += tool.context.resultTable.strGetResultItemTable(static_cast<std::uint8_t>(row),
                                                                  7) == "PASS";
    std::printf(
        "8-host run: %.1f s, %d of 8 hosts PASS, longest GUI-thread stall %lld ms over %lld "
        "ticks of a 10 ms timer\n",
        run.elapsed() / 1000.0, passed, static_cast<long long>(longest),
        static_cast<long long>(ticks));
    return 0;
}
