// The device settings page (" MainPage ") on Windows over its core, PageDevice: every control
// of the core's table (the hidden tuning ones created and hidden), the extended block shown
// with extended access only, and the "Setting Register" dialog on " Reg Setting".
#pragma once

#include "app/PageDevice.h"
#include "app/SetRegDialog.h"
#include "app/win/PageView.h"

namespace qnl::win {

class DevicePageView final : public BoundPage {
  public:
    DevicePageView(PageDevice& core, SET_REG& registerList, HWND page, HFONT font);
    ~DevicePageView() override;

    // Runs the "Setting Register" dialog modally, owned by the main window.
    void RunRegisterDialog();

  private:
    HWND Check(ControlId id, int x, int y, int width);
    HWND Radio(ControlId id, int x, int y, int width);
    HWND Button(ControlId id, int x, int y, int width);
    HWND Edit(ControlId id, int x, int y, int width);
    HWND Combo(ControlId id, int x, int y, int width);
    HWND Label(ControlId id, int x, int y, int width);
    // The standard applier, and a control of the extended block hidden while the block is.
    ControlBinder::Applier ShownWithBlock(ControlId id);

    PageDevice& core_;
    SetRegDialog registerDialog_;
};

// The "Setting Register" dialog over its core: the number of rows, sixteen rows of "Bytes",
// address and value, "Save" (Enter) and "取消" (Escape, the close box).
void RunSetRegDialog(HWND owner, SetRegDialog& core);

}  // namespace qnl::win
