#include "controller/RunRecord.h"

namespace qnl {

const char* ResultItemKey(ResultItem item) {
    switch (item) {
        case ResultItem::FwUpdate:
            return "fw_update";
        case ResultItem::FwCheck:
            return "fw_check";
        case ResultItem::Usb2Port1:
            return "usb2_port1";
        case ResultItem::Usb2Port2:
            return "usb2_port2";
        case ResultItem::Usb3Port1:
            return "usb3_port1";
        case ResultItem::Usb3Port2:
            return "usb3_port2";
        case ResultItem::Usb31Port1:
            return "usb31_port1";
        case ResultItem::Usb31Port2:
            return "usb31_port2";
        case ResultItem::SignalLineOverall:
            return "signal_line";
        case ResultItem::TerminationOverall:
            return "termination";
        case ResultItem::LoopBackOverall:
            return "loop_back";
    }
    return "unknown";
}

const char* ItemStateKey(ItemState state) {
    switch (state) {
        case ItemState::NotRun:
            return "not_run";
        case ItemState::Doing:
            return "doing";
        case ItemState::Pass:
            return "pass";
        case ItemState::Fail:
            return "fail";
    }
    return "unknown";
}

}  // namespace qnl
