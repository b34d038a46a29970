#include "app/ToolContext.h"

namespace qnl {

ToolContext::ToolContext(const ToolEnvironment& env)
    : clock(env.clock),
      console(env.console),
      prompts(env.prompts),
      io(env.io),
      currentFolder(env.currentFolder),
      controllerLockFolder(env.controllerLockFolder),
      usbTopology(env.usbTopology),
      uiText(env.languageId),
      eventLog(env.eventStore, env.clock, env.userName),
      debugLog(env.eventStore, env.clock, env.toolFolder),
      xhci(env.io, env.clock, eventLog, g_Utility),
      interctl(xhci),
      upgrade(*this),
      ini(prompts, g_Utility, eventLog),
      setReg(prompts),
      resultTable(uiText, eventLog, g_Utility),
      funTest(*this) {
    g_Utility.strToolFolder = env.toolFolder;
    g_Utility.m_pEventLog = &eventLog;
}

}  // namespace qnl
