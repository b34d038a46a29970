// Everything one running tool owns, built in main (or by a test over a fresh station) and
// passed by reference. The process-wide objects of the tool live here, once per tool.
#pragma once

#include <string>

#include "app/EventLog.h"
#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "firmware/Upgrade.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "porttest/CXhci.h"
#include "qnlio/IQnlIo.h"
#include "ui/UiTextTable.h"

namespace qnl {

// What the platform provides to a tool.
struct ToolEnvironment {
    ToolEnvironment(IClock& c, IConsole& con, IOperatorPrompts& p, IQnlIo& i)
        : clock(c), console(con), prompts(p), io(i) {}

    IClock& clock;
    IConsole& console;
    IOperatorPrompts& prompts;
    IQnlIo& io;
    IEventStore* eventStore = nullptr;  // null: a silent diagnostic log
    std::string toolFolder;             // folder of the executable
    std::string currentFolder;          // where the version file goes
    std::string userName;
    std::uint16_t languageId = 0x0409;
};

class ToolContext {
public:
    explicit ToolContext(const ToolEnvironment& environment);
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    IClock& clock;
    IConsole& console;
    IOperatorPrompts& prompts;
    IQnlIo& io;
    const std::string currentFolder;

    const UiTextTable uiText;
    CUtility g_Utility;
    CEventLog eventLog;
    CXhci xhci;  // the xHCI object is also the tool's one chip interface
    CInterctl& interctl;
    Upgrade upgrade;
};

}  // namespace qnl
