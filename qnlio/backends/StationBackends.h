// The tool's I/O backends, by name: sim, linux (not on Windows), dll. For the composition root
// (app/main.cpp) and the tests; no layer of the tool reaches them.
#pragma once

#include "qnlio/Backend.h"

namespace qnl {

BackendRegistry StationBackends();

// QNLIO_BACKEND's value read against StationBackends().
inline BackendChoice ChooseBackend(const char* value, bool windows = kWindowsStation) {
    return ParseBackendChoice(StationBackends(), value, windows);
}

}  // namespace qnl
