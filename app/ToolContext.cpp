#include "app/ToolContext.h"

namespace qnl {

ToolContext::ToolContext(const ToolEnvironment& env)
    : clock(env.clock),
      console(env.console),
      prompts(env.prompts),
      io(env.io),
      currentFolder(env.currentFolder),
      uiText(env.languageId),
      eventLog(env.eventStore, env.clock, env.userName),
      xhci(env.io, env.clock, eventLog, g_Utility),
      interctl(xhci),
      upgrade(*this) {
    g_Utility.strToolFolder = env.toolFolder;
}

}  // namespace qnl
