// The operator's main window: the settings row, the three pages in their tabs, the result table
// and the button row, over the main window's core (CQNL735_MPToolDlg). The view passes the
// operator's input to the core's handlers and mirrors the core's control table; timer 1 and the
// rescan's wait run here, on the GUI thread, without ever blocking it.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

#include "app/MPToolDlg.h"
#include "app/qt/ResultTableView.h"
#include "ui/qt/ControlBinder.h"

namespace qnl {

class Worker;

class MainWindowView final : public QWidget {
    Q_OBJECT
  public:
    // `pages`: the views of the device settings, upgrade and test pages (owned by the window
    // from now on); a null entry gets an empty placeholder.
    MainWindowView(CQNL735_MPToolDlg& dialog, ToolContext& context, std::array<QWidget*, 3> pages,
                   QWidget* parent = nullptr);
    ~MainWindowView() override;

    // The About box, as the context menu and F1 open it.
    void ShowAbout();
    // The hidden "Close", the close box and Escape: the core's Close path, put off during a
    // run or a rescan (the window then closes when it ends). An accepted close emits closed()
    // with the window's exit code.
    void RequestClose();
    // Sizes the fixed window to what it holds, within a screen's `available` area less the
    // window manager's frame: on a small screen (1024x768) the result table gives up height
    // and width (it scrolls) so that no control is cut.
    void FitTo(const QSize& available);
    // FitTo the screen the window is on.
    void FitToScreen();
    // Room left for the window manager's borders and title bar.
    static constexpr int kFrameWidth = 8;
    static constexpr int kFrameHeight = 40;
    bool Closed() const { return closed_; }

    // For tests and the screenshot tour.
    QTabWidget& Tabs() { return *tabs_; }
    ResultTableView& Table() { return *table_; }
    ResultTableModel& TableModel() { return *model_; }
    QPushButton& Button(MainControl id);
    QCheckBox& CheckBox(MainControl id);
    QLineEdit& PathEdit() { return *path_; }
    QLabel& StatusLine() { return *status_; }
    QProgressBar& ProgressBar() { return *progress_; }
    QTimer& Timer1() { return timer1_; }
    bool Rescanning() const { return rescanWorker_ != nullptr; }

  signals:
    // The window was closed through the core's Close path: the event loop may end.
    void closed(int exitCode);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A page that needs more room (the extended block shown) resizes the fixed window.
    bool event(QEvent* event) override;

  private:
    void BuildWidgets(std::array<QWidget*, 3> pages);
    void BindControls();
    void ConnectHandlers();
    void OnStart();
    void OnTimer1();
    void OnRescan();
    void PollRescan();
    void OnPathEdited(const QString& text);
    void ApplySize();

    CQNL735_MPToolDlg& dialog_;
    ToolContext& context_;
    ControlBinder binder_;

    QPushButton* saveIni_ = nullptr;
    QPushButton* loadIni_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* unlock_ = nullptr;
    QPushButton* debugLog_ = nullptr;
    QLabel* logo_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    ResultTableModel* model_ = nullptr;
    ResultTableView* table_ = nullptr;
    QPushButton* rescan_ = nullptr;
    QPushButton* createNewFile_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QCheckBox* saveLog_ = nullptr;
    QCheckBox* barCodeScan_ = nullptr;
    QPushButton* start_ = nullptr;
    QLabel* startRefusal_ = nullptr;  // why Start is off, beside it
    QPushButton* close_ = nullptr;
    QLabel* status_ = nullptr;

    QTimer timer1_;
    QTimer rescanPoll_;
    std::shared_ptr<Worker> rescanWorker_;
    bool closed_ = false;
    QSize fitArea_;  // invalid: the window's natural size
    QSize natural_{0, 0};
};

// The pictures the system leaves free: the logo of the settings row and the window's icon.
QPixmap LogoPixmap();
QIcon WindowIcon();

}  // namespace qnl
