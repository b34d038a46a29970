#include "app/win/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/ResultLayouts.h"
#include "platform/Worker.h"
#include "ui/win/ProgressBar.h"
#include "ui/win/WinText.h"

namespace qnl::win {

namespace {

constexpr wchar_t kWindowClass[] = L"QnlMainWindow";
constexpr wchar_t kPageClass[] = L"QnlPage";
constexpr UINT kTimer1 = 1;
constexpr UINT kRescanPoll = 2;
constexpr UINT kTimer1Ms = 80;
constexpr UINT kRescanPollMs = 20;
// Posted by other threads; handled on the GUI thread with the state found there.
constexpr UINT kMsgTableRebuilt = WM_APP + 10;
constexpr UINT kMsgTableCell = WM_APP + 11;
constexpr UINT kMsgStartTimer1 = WM_APP + 12;
constexpr UINT kMsgWake = WM_APP + 13;
// A control's command identifier: its MainControl plus this (clear of IDOK and IDCANCEL).
constexpr int kIdBase = 1000;
constexpr int kIdAbout = 900;
constexpr int kMargin = 6;
constexpr int kGap = 4;
// The pages' area: at least this large, so an empty page keeps the window's shape.
constexpr int kPageMinWidth = 640;
constexpr int kPageMinHeight = 300;
constexpr int kRows = kResultRows;
constexpr COLORREF kAlarmColour = RGB(200, 0, 0);

HFONT DialogFont(int points, bool bold = false) {
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(points, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg");
}

void RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXW main{};
        main.cbSize = sizeof main;
        main.lpfnWndProc = DefWindowProcW;  // replaced per window (GWLP_WNDPROC)
        main.hInstance = ::GetModuleHandleW(nullptr);
        main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        main.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        main.lpszClassName = kWindowClass;
        ::RegisterClassExW(&main);
        WNDCLASSEXW page = main;
        page.hIcon = nullptr;
        page.lpszClassName = kPageClass;
        ::RegisterClassExW(&page);
        return true;
    }();
    (void)registered;
}

// A page window hands its controls' notifications to the page's view.
LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<PageView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (view != nullptr && view->OnMessage(message, wParam, lParam, result)) return result;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void DrawLogo(const DRAWITEMSTRUCT& item, HFONT font) {
    HDC dc = item.hDC;
    const RECT area = item.rcItem;
    ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_BTNFACE));
    HBRUSH green = ::CreateSolidBrush(RGB(0, 100, 50));
    HGDIOBJ oldBrush = ::SelectObject(dc, green);
    HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(NULL_PEN));
    ::RoundRect(dc, area.left, area.top, area.right, area.bottom, 10, 10);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(green);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    RECT text = area;
    ::DrawTextW(dc, L"QNL7350A", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
}

}  // namespace

MainWindow::MainWindow(CQNL735_MPToolDlg& dialog, ToolContext& context, PageViewFactories pages)
    : dialog_(dialog), context_(context) {
    RegisterClasses();
    font_ = DialogFont(8);
    // The result list's columns have fixed pixel widths: its text is a point smaller than the
    // window's, so that the titles ("USB2 Port1" in 68 pixels) fit whole.
    tableFont_ = DialogFont(7);
    window_ = ::CreateWindowExW(
        WS_EX_CONTROLPARENT, kWindowClass, Widen(context_.uiText.windowTitle).c_str(),
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
        CW_USEDEFAULT, 800, 600, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::Proc));
    binder_ = std::make_unique<ControlBinder>(dialog_.Controls());
    CreateControls(pages);
    BindControls();
    RebuildList();
    Layout();
    // The result table's workers post their news; the list reads the table when it arrives.
    HWND window = window_;
    observer_ = context_.resultTable.AddObserver([window](const ResultTable::Change& change) {
        using Kind = ResultTable::Change::Kind;
        if (change.kind == Kind::Rebuilt)
            ::PostMessageW(window, kMsgTableRebuilt, 0, 0);
        else if (change.kind == Kind::Cell)
            ::PostMessageW(window, kMsgTableCell, static_cast<WPARAM>(change.row),
                           static_cast<LPARAM>(change.column));
    });
    // A page's own run starts timer 1 from the core.
    dialog_.SetTimer1Starter([window] { ::PostMessageW(window, kMsgStartTimer1, 0, 0); });
    // A run the command line started before the window opened (/G or /F) is watched at once.
    if (dialog_.Timer1Running()) ::PostMessageW(window, kMsgStartTimer1, 0, 0);
}

MainWindow::~MainWindow() {
    dialog_.SetTimer1Starter({});
    context_.resultTable.RemoveObserver(observer_);
    // A rescan still scanning finishes on its own; its worker owns nothing of this view.
    if (rescanWorker_) rescanWorker_->WaitFinished(CQNL735_MPToolDlg::kCloseWait);
    for (std::size_t i = 0; i < 3; ++i) {
        ::SetWindowLongPtrW(pageWindows_[i], GWLP_USERDATA, 0);
        pageViews_[i].reset();
    }
    binder_.reset();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
    ::DeleteObject(font_);
    ::DeleteObject(tableFont_);
}

HWND MainWindow::NewControl(const wchar_t* windowClass, const std::string& text, DWORD style,
                            int id, DWORD exStyle) {
    HWND control =
        ::CreateWindowExW(exStyle, windowClass, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                          0, 0, 10, 10, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

SIZE MainWindow::TextSize(const std::string& text) const {
    HDC dc = ::GetDC(window_);
    HGDIOBJ old = ::SelectObject(dc, font_);
    SIZE size{};
    const std::wstring wide = Widen(text);
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    if (size.cy == 0) {
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        size.cy = metrics.tmHeight;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    return size;
}

void MainWindow::CreateControls(const PageViewFactories& pages) {
    // In tab order; an edit's label comes just before it (it names the edit for assistive
    // technology).
    auto button = [this](MainControl id) {
        return NewControl(WC_BUTTONW, dialog_.Controls().Get(id).text, BS_PUSHBUTTON | WS_TABSTOP,
                          kIdBase + id);
    };
    auto check = [this](MainControl id) {
        return NewControl(WC_BUTTONW, dialog_.Controls().Get(id).text, BS_AUTOCHECKBOX | WS_TABSTOP,
                          kIdBase + id);
    };
    button(kCtlSaveIni);
    button(kCtlLoadIni);
    pathLabel_ = NewControl(WC_STATICW, WithMnemonic(dialog_.Controls().Name(kCtlIniPath)),
                            SS_LEFT | SS_CENTERIMAGE, -1);
    NewControl(WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, kIdBase + kCtlIniPath, WS_EX_CLIENTEDGE);
    button(kCtlUnlock);
    button(kCtlDebugLog);
    NewControl(WC_STATICW, "Logo", SS_OWNERDRAW, kIdBase + kCtlLogo);
    // The pages are the tab control's children (it clips them, the dialog keys reach them).
    tabs_ = NewControl(WC_TABCONTROLW, "", WS_TABSTOP | WS_CLIPCHILDREN, kIdBase + kCtlTab,
                       WS_EX_CONTROLPARENT);
    for (int i = 0; i < 3; ++i) {
        std::wstring caption = Widen(kTabCaptions[static_cast<std::size_t>(i)]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        TabCtrl_InsertItem(tabs_, i, &item);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        pageWindows_[i] =
            ::CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD, 0, 0, 10, 10, tabs_,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(pageWindows_[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PageProc));
        if (!pages[i]) continue;
        pageViews_[i] = pages[i](pageWindows_[i], font_);
        ::SetWindowLongPtrW(pageWindows_[i], GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(pageViews_[i].get()));
    }
    list_ =
        NewControl(WC_LISTVIEWW, "",
                   LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
                   kIdBase + kCtlResultList, WS_EX_CLIENTEDGE);
    ::SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(tableFont_), FALSE);
    ListView_SetExtendedListViewStyle(
        list_, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    NewControl(WC_STATICW, "", SS_LEFT, kIdBase + kCtlStartRefusal);
    NewControl(WC_STATICW, "", SS_LEFT | SS_NOPREFIX, kIdBase + kCtlStatus);
    button(kCtlRescan);
    button(kCtlCreateNewFile);
    HWND progress = NewControl(PROGRESS_CLASSW, "", PBS_SMOOTH, kIdBase + kCtlProgress);
    ::SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    PaintProgressGreen(progress);
    check(kCtlSaveLog);
    check(kCtlBarCodeScan);
    button(kCtlStart);
    button(kCtlClose);
}

void MainWindow::BindControls() {
    for (int id = 0; id < kMainControlCount; ++id) {
        HWND control = ::GetDlgItem(window_, kIdBase + id);
        if (control == nullptr) continue;
        switch (id) {
            case kCtlLogo:
            case kCtlResultList:
                binder_->Bind(id, control, [](HWND, const ControlState&) {});
                break;
            case kCtlTab:
                binder_->Bind(id, control, [this](HWND tabs, const ControlState& state) {
                    ControlBinder::ApplyStandard(tabs, state);
                    ShowPage(TabCtrl_GetCurSel(tabs));
                });
                break;
            case kCtlStatus:
                binder_->Bind(id, control, [](HWND status, const ControlState& state) {
                    ControlBinder::ApplyStandard(status, state);
                    ::InvalidateRect(status, nullptr, TRUE);
                });
                break;
            default:
                binder_->Bind(id, control);
        }
    }
    // The Alt keys of the Qt window (the lock button's follows its caption: U, then L).
    binder_->SetMnemonic(kCtlStart, "S");
    binder_->SetMnemonic(kCtlUnlock, "UL");
    binder_->SetMnemonic(kCtlRescan, "R");
    binder_->SetMnemonic(kCtlLoadIni, "O");
    binder_->SetMnemonic(kCtlSaveIni, "V");
}

HWND MainWindow::Page(int index) const {
    return index >= 0 && index < 3 ? pageWindows_[static_cast<std::size_t>(index)] : nullptr;
}

void MainWindow::ShowPage(int index) {
    for (int i = 0; i < 3; ++i)
        ::ShowWindow(pageWindows_[static_cast<std::size_t>(i)], i == index ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::Layout() {
    const int line = TextSize("Xg").cy;
    const int buttonHeight = line + 10;
    const int editHeight = line + 8;
    auto buttonWidth = [&](MainControl id, const std::string& widest = {}) {
        const std::string text = widest.empty() ? dialog_.Controls().Get(id).text : widest;
        return std::max<int>(75, TextSize(text).cx + 20);
    };
    auto checkWidth = [&](MainControl id) {
        return TextSize(dialog_.Controls().Get(id).text).cx + ::GetSystemMetrics(SM_CXMENUCHECK) +
               10;
    };
    // The widest column set whole, or the pages' least width.
    int tableWidth = 0;
    for (std::uint8_t page : {kPageMain, kPageUpgrade, kPageTest}) {
        int total = 0;
        for (const auto& column : ResultColumnsOf(page, context_.resultTable.Texts()))
            total += column.width;
        tableWidth = std::max(tableWidth, total);
    }
    tableWidth += 2 * ::GetSystemMetrics(SM_CXEDGE) + 2;
    // The pages' least size, and what the pages' views ask for.
    RECT pageArea{0, 0, kPageMinWidth, kPageMinHeight};
    for (const auto& view : pageViews_) {
        if (!view) continue;
        const SIZE wanted = view->Size();
        pageArea.right = std::max<LONG>(pageArea.right, wanted.cx);
        pageArea.bottom = std::max<LONG>(pageArea.bottom, wanted.cy);
    }
    RECT tabArea = pageArea;
    TabCtrl_AdjustRect(tabs_, TRUE, &tabArea);
    const int tabWidth = tabArea.right - tabArea.left;
    const int tabHeight = tabArea.bottom - tabArea.top;

    const int unlockWidth = std::max(buttonWidth(kCtlUnlock, "Unlock MP Tool"),
                                     buttonWidth(kCtlUnlock, "Lock MP Tool"));
    const int logoWidth = 112;
    const int logoHeight = 30;
    const int topFixed = buttonWidth(kCtlSaveIni) + buttonWidth(kCtlLoadIni) +
                         TextSize(dialog_.Controls().Name(kCtlIniPath)).cx + unlockWidth +
                         buttonWidth(kCtlDebugLog) + logoWidth + 7 * kGap;
    const int bottomFixed = buttonWidth(kCtlRescan) + buttonWidth(kCtlCreateNewFile) +
                            checkWidth(kCtlSaveLog) + checkWidth(kCtlBarCodeScan) +
                            buttonWidth(kCtlStart) + buttonWidth(kCtlClose) + 7 * kGap;
    // The widest column set whole where the screen allows; on a small screen (1024x768) the
    // result list gives up width (it scrolls) so that the window fits and no control is cut.
    const int least = std::max({tabWidth, topFixed + 200, bottomFixed + 120}) + 2 * kMargin;
    int width = std::max(tableWidth + 2 * kMargin, least);
    RECT work{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        RECT frame{0, 0, 0, 0};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)));
        const int most = (work.right - work.left) - (frame.right - frame.left);
        if (most > 0 && width > most) width = std::max(most, least);
    }
    const int inner = width - 2 * kMargin;

    HDWP moves = ::BeginDeferWindowPos(24);
    auto place = [&](HWND control, int x, int y, int w, int h) {
        moves =
            ::DeferWindowPos(moves, control, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto control = [&](MainControl id) { return ::GetDlgItem(window_, kIdBase + id); };

    // The settings row.
    int x = kMargin;
    int y = kMargin;
    const int rowMiddle = y + logoHeight / 2;
    auto rowButton = [&](MainControl id, int w, int top) {
        place(control(id), x, top, w, buttonHeight);
        x += w + kGap;
    };
    const int topButtons = rowMiddle - buttonHeight / 2;
    rowButton(kCtlSaveIni, buttonWidth(kCtlSaveIni), topButtons);
    rowButton(kCtlLoadIni, buttonWidth(kCtlLoadIni), topButtons);
    const int labelWidth = TextSize(dialog_.Controls().Name(kCtlIniPath)).cx + 2;
    place(pathLabel_, x, rowMiddle - editHeight / 2, labelWidth, editHeight);
    x += labelWidth + kGap;
    const int editWidth =
        width - kMargin - x - unlockWidth - buttonWidth(kCtlDebugLog) - logoWidth - 3 * kGap;
    place(control(kCtlIniPath), x, rowMiddle - editHeight / 2, editWidth, editHeight);
    x += editWidth + kGap;
    rowButton(kCtlUnlock, unlockWidth, topButtons);
    rowButton(kCtlDebugLog, buttonWidth(kCtlDebugLog), topButtons);
    place(control(kCtlLogo), x, y, logoWidth, logoHeight);
    y += logoHeight + kGap;

    // The pages in their tabs.
    place(tabs_, kMargin, y, inner, tabHeight);
    RECT display{0, 0, inner, tabHeight};  // in the tab control's own coordinates
    TabCtrl_AdjustRect(tabs_, FALSE, &display);
    for (HWND page : pageWindows_)
        ::SetWindowPos(page, nullptr, display.left, display.top, display.right - display.left,
                       display.bottom - display.top, SWP_NOZORDER | SWP_NOACTIVATE);
    y += tabHeight + kGap;

    // The result list: its header and every row.
    RECT row{};
    ListView_GetItemRect(list_, 0, &row, LVIR_BOUNDS);
    const int rowHeight = std::max<int>(row.bottom - row.top, line + 4);
    RECT header{};
    ::GetWindowRect(ListView_GetHeader(list_), &header);
    const int headerHeight = std::max<int>(header.bottom - header.top, line + 8);
    const int listHeight = headerHeight + kRows * rowHeight + 2 * ::GetSystemMetrics(SM_CYEDGE) + 2;
    place(list_, kMargin, y, inner, listHeight);
    y += listHeight + kGap;

    place(control(kCtlStartRefusal), kMargin, y, inner, line + 2);
    y += line + 2;
    place(control(kCtlStatus), kMargin, y, inner, 2 * line + 2);
    y += 2 * line + 2 + kGap;

    // The button row.
    const int rowY = y;
    x = kMargin;
    rowButton(kCtlRescan, buttonWidth(kCtlRescan), rowY);
    rowButton(kCtlCreateNewFile, buttonWidth(kCtlCreateNewFile), rowY);
    const int right = buttonWidth(kCtlStart) + buttonWidth(kCtlClose) + checkWidth(kCtlSaveLog) +
                      checkWidth(kCtlBarCodeScan) + 4 * kGap;
    const int progressWidth = width - kMargin - x - right;
    place(control(kCtlProgress), x, rowY + (buttonHeight - 16) / 2, progressWidth, 16);
    x += progressWidth + kGap;
    place(control(kCtlSaveLog), x, rowY, checkWidth(kCtlSaveLog), buttonHeight);
    x += checkWidth(kCtlSaveLog) + kGap;
    place(control(kCtlBarCodeScan), x, rowY, checkWidth(kCtlBarCodeScan), buttonHeight);
    x += checkWidth(kCtlBarCodeScan) + kGap;
    // The hidden "Close" takes no room: Start ends the row then.
    if (!dialog_.Controls().Get(kCtlClose).visible) x += buttonWidth(kCtlClose) + kGap;
    rowButton(kCtlStart, buttonWidth(kCtlStart), rowY);
    rowButton(kCtlClose, buttonWidth(kCtlClose), rowY);
    ::EndDeferWindowPos(moves);

    const int height = rowY + buttonHeight + kMargin;
    RECT frame{0, 0, width, height};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)));
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    ShowPage(TabCtrl_GetCurSel(tabs_));
}

void MainWindow::RebuildList() {
    ProgrammaticUpdate applying;
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    while (ListView_DeleteColumn(list_, 0)) {
    }
    // The first column of a list view cannot be centred: an empty one of no width goes first.
    LVCOLUMNW first{};
    first.mask = LVCF_WIDTH;
    first.cx = 0;
    ListView_InsertColumn(list_, 0, &first);
    const auto columns = context_.resultTable.Columns();
    columns_ = static_cast<int>(columns.size());
    for (int i = 0; i < columns_; ++i) {
        std::wstring title = Widen(columns[static_cast<std::size_t>(i)].title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = LVCFMT_CENTER;
        column.cx = columns[static_cast<std::size_t>(i)].width;
        column.pszText = title.data();
        ListView_InsertColumn(list_, i + 1, &column);
    }
    for (int row = 0; row < kRows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(list_, &item);
        for (int column = 0; column < columns_; ++column) UpdateCell(row, column);
    }
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

void MainWindow::UpdateCell(int row, int column) {
    if (row < 0 || row >= kRows || column < 0 || column >= columns_) return;
    std::wstring text =
        Widen(context_.resultTable.strGetResultItemTable(static_cast<std::uint8_t>(row), column));
    ListView_SetItemText(list_, row, column + 1, text.data());
    RECT cell{};
    if (ListView_GetSubItemRect(list_, row, column + 1, LVIR_BOUNDS, &cell))
        ::InvalidateRect(list_, &cell, FALSE);
}

MainWindow::CellLook MainWindow::LookOf(int row, int column, bool rowSelected) const {
    const auto colours = context_.resultTable.ColoursOf(row, column);
    const bool coloured =
        colours.background != kColourNone && colours.background != RGB(255, 255, 255);
    // PASS and FAIL keep their colours on the selected row; the other cells show the
    // selection as usual.
    if (rowSelected && !coloured)
        return {::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_HIGHLIGHTTEXT)};
    return {colours.background == kColourNone ? ::GetSysColor(COLOR_WINDOW)
                                              : static_cast<COLORREF>(colours.background),
            colours.text == kColourNone ? ::GetSysColor(COLOR_WINDOWTEXT)
                                        : static_cast<COLORREF>(colours.text)};
}

LRESULT MainWindow::CustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const int row = static_cast<int>(draw->nmcd.dwItemSpec);
            selectedRow_ = ListView_GetItemState(list_, row, LVIS_SELECTED) != 0;
            // The cells draw the selection themselves.
            draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
            return CDRF_NOTIFYSUBITEMDRAW;
        }
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int row = static_cast<int>(draw->nmcd.dwItemSpec);
            const int column = draw->iSubItem - 1;
            draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
            if (column < 0) {
                draw->clrTextBk = ::GetSysColor(COLOR_WINDOW);
                return CDRF_NEWFONT;
            }
            const CellLook look = LookOf(row, column, selectedRow_);
            draw->clrTextBk = look.background;
            draw->clrText = look.text;
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

LRESULT CALLBACK MainWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_TIMER:
            if (wParam == kTimer1) OnTimer1();
            if (wParam == kRescanPoll) PollRescan();
            return 0;
        case WM_CLOSE:
            RequestClose();
            return 0;
        case WM_CONTEXTMENU: {
            HMENU menu = ::CreatePopupMenu();
            ::AppendMenuW(menu, MF_STRING, kIdAbout, L"&About QNL735_MPTool...\tF1");
            POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (at.x == -1 && at.y == -1) {
                RECT area{};
                ::GetWindowRect(window_, &area);
                at = {area.left + 20, area.top + 40};
            }
            const int chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                                0, window_, nullptr);
            ::DestroyMenu(menu);
            if (chosen == kIdAbout) ShowAbout();
            return 0;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == static_cast<UINT>(kIdBase + kCtlLogo)) {
                HFONT bold = DialogFont(10, true);
                DrawLogo(*item, bold);
                ::DeleteObject(bold);
                return TRUE;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: {
            HWND control = reinterpret_cast<HWND>(lParam);
            HDC dc = reinterpret_cast<HDC>(wParam);
            if (control == Control(kCtlStatus) &&
                dialog_.Controls().Get(kCtlStatus).value == kStatusAlarm) {
                ::SetTextColor(dc, kAlarmColour);
                ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        }
        case kMsgTableRebuilt:
            RebuildList();
            return 0;
        case kMsgTableCell:
            UpdateCell(static_cast<int>(wParam), static_cast<int>(lParam));
            return 0;
        case kMsgStartTimer1:
            StartTimer1();
            return 0;
        case kMsgWake:
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code, HWND /*control*/) {
    if (Applying()) return;  // the binder's own update, not the operator's
    if (id == IDCANCEL) {
        RequestClose();  // Escape
        return;
    }
    if (id == IDOK) {
        PressFocusedButton();  // Enter
        return;
    }
    if (id == kIdAbout) {
        ShowAbout();
        return;
    }
    const int control = id - kIdBase;
    if (control == kCtlIniPath) {
        if (code == EN_CHANGE) OnPathEdited();
        return;
    }
    if (code != BN_CLICKED) return;
    auto checked = [&] {
        return ::SendMessageW(Control(static_cast<MainControl>(control)), BM_GETCHECK, 0, 0) ==
               BST_CHECKED;
    };
    switch (control) {
        case kCtlSaveIni:
            dialog_.OnBnClickedButtonSaveini();
            break;
        case kCtlLoadIni:
            dialog_.OnBnClickedButtonLoadini();
            break;
        case kCtlUnlock:
            dialog_.OnBnClickedUnlock();
            break;
        case kCtlDebugLog:
            dialog_.OnBnClickedButtonDebugLog();
            break;
        case kCtlRescan:
            OnRescan();
            break;
        case kCtlCreateNewFile:
            dialog_.OnBnClickedButtonCreateConfigFile();
            break;
        case kCtlSaveLog:
            dialog_.OnBnClickedSaveLog(checked());
            binder_->Apply(kCtlSaveLog);  // the core may refuse the change
            break;
        case kCtlBarCodeScan:
            dialog_.OnBnClickedBarCodeScan(checked());
            binder_->Apply(kCtlBarCodeScan);
            break;
        case kCtlStart:
            OnStart();
            break;
        case kCtlClose:
            RequestClose();
            break;
        default:
            break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR* header) {
    if (header->hwndFrom == list_ && header->code == NM_CUSTOMDRAW)
        return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    if (header->hwndFrom == ListView_GetHeader(list_) &&
        (header->code == HDN_BEGINTRACKW || header->code == HDN_BEGINTRACKA ||
         header->code == HDN_DIVIDERDBLCLICKW || header->code == HDN_DIVIDERDBLCLICKA))
        return TRUE;  // the columns' widths are fixed
    if (Applying()) return 0;
    if (header->hwndFrom == tabs_ && header->code == TCN_SELCHANGE)
        OnPageChosen(TabCtrl_GetCurSel(tabs_));
    return 0;
}

void MainWindow::OnPageChosen(int index) {
    if (index >= 0) dialog_.OnTcnSelchangeTab(static_cast<std::uint8_t>(index));
    binder_->Apply(kCtlTab);  // shows the page the core is on
}

void MainWindow::PressFocusedButton() {
    // The dialog manager sends Enter here as IDOK: a focused push button of the window or of a
    // page is pressed; elsewhere Enter does nothing (it never closes the window).
    HWND focus = ::GetFocus();
    if (focus == nullptr || !::IsChild(window_, focus) || !::IsWindowEnabled(focus) ||
        _wcsicmp(ClassOf(focus).c_str(), WC_BUTTONW) != 0)
        return;
    const LONG type = ::GetWindowLongW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) ::SendMessageW(focus, BM_CLICK, 0, 0);
}

void MainWindow::OnPathEdited() {
    HWND edit = Control(kCtlIniPath);
    const std::wstring typed = Widen(WindowText(edit));
    DWORD caret = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    caret = std::min<DWORD>(caret, static_cast<DWORD>(typed.size()));
    // The core counts the caret in the text's bytes.
    const int caretBytes = static_cast<int>(Narrow(typed.substr(0, caret)).size());
    const FilteredEdit shown = dialog_.OnEnChangeEditLoadINI(Narrow(typed), caretBytes);
    // What the core kept, with the caret where the operator had it among those characters
    // (the kept text is plain ASCII: bytes and characters agree).
    ProgrammaticUpdate applying;
    if (Narrow(typed) != shown.text) SetWindowTextUtf8(edit, shown.text);
    ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(shown.caret),
                   static_cast<LPARAM>(shown.caret));
}

void MainWindow::OnStart() {
    dialog_.OnStartClicked();
    if (dialog_.Timer1Running()) StartTimer1();
}

void MainWindow::StartTimer1() {
    if (timer1Active_ || closed_) return;
    ::SetTimer(window_, kTimer1, kTimer1Ms, nullptr);
    timer1Active_ = true;
}

void MainWindow::OnTimer1() {
    if (!dialog_.OnTimer1() && dialog_.Timer1Running()) return;
    ::KillTimer(window_, kTimer1);
    timer1Active_ = false;
    // A close asked for during the run happens now.
    if (dialog_.ClosePending()) RequestClose();
}

void MainWindow::OnRescan() {
    if (rescanWorker_) return;
    // The wait for the hardware (a port check may hold it) and the scan run off the GUI
    // thread.
    rescanWorker_ = dialog_.StartRescanWorker();
    if (!rescanWorker_) return;
    ::SetTimer(window_, kRescanPoll, kRescanPollMs, nullptr);
}

void MainWindow::PollRescan() {
    if (!rescanWorker_ || !rescanWorker_->Finished()) return;
    ::KillTimer(window_, kRescanPoll);
    rescanWorker_.reset();
    dialog_.FinishRescan();
    if (dialog_.ClosePending()) RequestClose();
}

void MainWindow::ShowAbout() {
    const std::string text = context_.uiText.windowTitle +
                             "\r\n\r\nProduction-line tool for the QNL7350A family of PCIe USB "
                             "3.x host controllers.";
    ::MessageBoxW(window_, Widen(text).c_str(), Widen(std::string("About ") + kProductName).c_str(),
                  MB_OK | MB_ICONINFORMATION);
}

void MainWindow::RequestClose() {
    if (closed_) return;
    const std::optional<std::int32_t> code = dialog_.OnClose();
    if (!code) return;  // a run or a rescan is active: put off (the status line says so)
    closed_ = true;
    exitCode_ = *code;
    ::KillTimer(window_, kTimer1);
    ::KillTimer(window_, kRescanPoll);
    timer1Active_ = false;
    ::ShowWindow(window_, SW_HIDE);
    ::PostMessageW(window_, kMsgWake, 0, 0);  // the loop looks at Closed()
}

bool MainWindow::PreTranslate(MSG& message) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_F1 &&
        (message.hwnd == window_ || ::IsChild(window_, message.hwnd))) {
        ShowAbout();
        return true;
    }
    // The tab control holds the pages, so Tab walks into the page shown rather than onto the
    // tabs: Ctrl+Tab and Ctrl+Page Down turn to the next page, with Shift or Page Up back, as
    // in the system's property sheets.
    if (message.message == WM_KEYDOWN && (::GetKeyState(VK_CONTROL) & 0x8000) != 0 &&
        (message.wParam == VK_TAB || message.wParam == VK_NEXT || message.wParam == VK_PRIOR) &&
        (message.hwnd == window_ || ::IsChild(window_, message.hwnd))) {
        if (::IsWindowEnabled(tabs_)) {
            const bool back = message.wParam == VK_PRIOR ||
                              (message.wParam == VK_TAB && (::GetKeyState(VK_SHIFT) & 0x8000) != 0);
            const int count = TabCtrl_GetItemCount(tabs_);
            const int index = (TabCtrl_GetCurSel(tabs_) + (back ? count - 1 : 1)) % count;
            {
                ProgrammaticUpdate applying;
                TabCtrl_SetCurSel(tabs_, index);
            }
            OnPageChosen(index);
        }
        return true;
    }
    return ::IsDialogMessageW(window_, &message) != FALSE;
}

}  // namespace qnl::win
