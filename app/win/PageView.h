// A page of the main window's tab control on Windows: a child window of the main window placed
// over the tab control's display area, with its controls bound to the page's core.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/ControlState.h"
#include "ui/win/ControlBinder.h"

namespace qnl::win {

class PageView {
  public:
    virtual ~PageView() = default;
    // The room the page's controls take.
    virtual SIZE Size() const = 0;
    // A message to the page window (its controls' notifications, drawing, timers); true when
    // the page handled it, with `result` as the answer.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

// Makes a page's view: its controls as children of `page`, in `font`.
using PageViewFactory = std::function<std::unique_ptr<PageView>(HWND page, HFONT font)>;
// The device settings, upgrade and test pages, in tab order; an empty entry is a page without
// a view (the window shows it empty).
using PageViewFactories = std::array<PageViewFactory, 3>;

// What every page's view has: the binder over the page core's table, its controls made in
// tab order (an edit's or list's label just before it names it), and the handlers of their
// notifications, which a programmatic update never reaches.
class BoundPage : public PageView {
  public:
    BoundPage(ControlStateTable& table, HWND page, HFONT font);
    SIZE Size() const override { return size_; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    HWND Control(ControlId id) const { return binder_.Control(id); }
    ControlBinder& Binder() { return binder_; }

  protected:
    // A control of the page at a place in pixels, bound to `id` (-1: a label of the view's
    // own, unbound). Its text is the core's.
    HWND Add(ControlId id, const wchar_t* windowClass, DWORD style, int x, int y, int width,
             int height, ControlBinder::Applier applier = {});
    // A label of the view's own (the caption before an edit or list), and a group box of its
    // own.
    HWND AddLabel(const std::string& text, int x, int y, int width, int height);
    HWND AddGroup(const std::string& caption, int x, int y, int width, int height);
    // What a notification of `id`'s control does (`code`: BN_CLICKED, EN_CHANGE, ...).
    void On(ControlId id, std::function<void(int code, HWND control)> handler);
    // Whether a check box is checked now.
    static bool Checked(HWND control);
    void SetSize(int width, int height) { size_ = {width, height}; }

    HWND page_;
    HFONT font_;

  private:
    // A control of the view's own, not in the core's table.
    HWND AddOwn(const wchar_t* windowClass, DWORD style, const std::string& text, int x, int y,
                int width, int height);
    ControlBinder binder_;
    std::map<int, std::function<void(int, HWND)>> handlers_;  // by the control's identifier
    SIZE size_{0, 0};
};

}  // namespace qnl::win
