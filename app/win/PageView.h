// A page of the main window's tab control on Windows: a child window of the main window placed
// over the tab control's display area, with its controls bound to the page's core.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>

namespace qnl::win {

class PageView {
  public:
    virtual ~PageView() = default;
    virtual HWND Handle() const = 0;
};

// Makes a page's view as a child of `parent`, in `font`.
using PageViewFactory = std::function<std::unique_ptr<PageView>(HWND parent, HFONT font)>;
// The device settings, upgrade and test pages, in tab order; an empty entry is a page without
// a view yet (the window shows it empty).
using PageViewFactories = std::array<PageViewFactory, 3>;

}  // namespace qnl::win
