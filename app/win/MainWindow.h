// The operator's main window on Windows: the settings row, the three pages in their tabs, the
// result list and the button row, over the main window's core (CQNL735_MPToolDlg), in the
// system's own controls. The view passes the operator's input to the core's handlers and
// mirrors the core's control table (ControlBinder); timer 1 and the rescan's wait run on the
// GUI thread without ever blocking it. Laid out in code, from the dialog font's measures.
#pragma once

#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <memory>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "app/win/PageView.h"
#include "ui/win/ControlBinder.h"

namespace qnl {
class Worker;
}

namespace qnl::win {

class MainWindow {
  public:
    MainWindow(CQNL735_MPToolDlg& dialog, ToolContext& context, PageViewFactories pages = {});
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Handle() const { return window_; }
    // A main window control's HWND (null for one the window does not show).
    HWND Control(MainControl id) const { return binder_->Control(id); }
    HWND List() const { return list_; }
    HWND Page(int index) const;
    // The message loop's hook: F1 opens About, Ctrl+Tab turns the page, then the dialog keys
    // (Tab, Escape, Enter, the Alt keys).
    // True when the message was handled.
    bool PreTranslate(MSG& message);

    void ShowAbout();
    // The close box, Escape and the hidden "Close": the core's Close path, put off during a run
    // or a rescan (the window then closes when it ends).
    void RequestClose();
    bool Closed() const { return closed_; }
    int ExitCode() const { return exitCode_; }
    bool Timer1Active() const { return timer1Active_; }
    // Timer 1 (80 ms) watches a run the core has started (no-op while it runs or once closed).
    void StartTimer1();
    bool Rescanning() const { return rescanWorker_ != nullptr; }

    // The colours a result cell is drawn with (the selected row's coloured cells keep theirs).
    struct CellLook {
        COLORREF background;
        COLORREF text;
    };
    CellLook LookOf(int row, int column, bool rowSelected) const;

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(const PageViewFactories& pages);
    void BindControls();
    void Layout();
    void OnCommand(int id, int code, HWND control);
    LRESULT OnNotify(NMHDR* header);
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
    void PressFocusedButton();
    void OnPageChosen(int index);
    void OnPathEdited();
    void OnStart();
    void OnTimer1();
    void OnRescan();
    void PollRescan();
    void ShowPage(int index);
    void RebuildList();
    void UpdateCell(int row, int column);
    HWND NewControl(const wchar_t* windowClass, const std::string& text, DWORD style, int id,
                    DWORD exStyle = 0);
    SIZE TextSize(const std::string& text) const;

    CQNL735_MPToolDlg& dialog_;
    ToolContext& context_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HFONT tableFont_ = nullptr;
    std::unique_ptr<ControlBinder> binder_;
    HWND pathLabel_ = nullptr;
    HWND tabs_ = nullptr;
    HWND list_ = nullptr;
    std::array<HWND, 3> pageWindows_{};
    std::array<std::unique_ptr<PageView>, 3> pageViews_;
    int observer_ = 0;
    int columns_ = 0;           // result columns shown (the list's first column is an empty one)
    bool selectedRow_ = false;  // custom draw: the row being drawn is selected
    bool timer1Active_ = false;
    std::shared_ptr<Worker> rescanWorker_;
    bool closed_ = false;
    int exitCode_ = 0;
};

}  // namespace qnl::win
