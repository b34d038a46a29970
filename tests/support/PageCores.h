// The upgrade and test page cores over a test's tool, with main-window hooks that record what
// the pages asked of the window.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/MpRun.h"
#include "app/ToolContext.h"
#include "firmware/UpgradePageCore.h"
#include "porttest/FunTestPageCore.h"

namespace qnl::test {

struct RecordedHooks {
    std::atomic<int> disables{0};
    std::atomic<int> startChecks{0};
    std::atomic<int> firmwareInfos{0};
    std::mutex mutex;
    std::function<bool()> runEnded;  // the last page run's end, as timer 1 would ask it

    MainWindowHooks Hooks(ToolContext& ctx) {
        MainWindowHooks hooks;
        hooks.vClearCtrlListHostInfoTable = [&ctx] {
            ctx.resultTable.vClearCtrlListHostInfoTable();
        };
        hooks.vDisableAllGUI = [this] { ++disables; };
        hooks.vEnableStartGUI = [this] { ++startChecks; };
        hooks.StartPageRunTimer = [this](std::function<bool()> ended) {
            std::lock_guard lock(mutex);
            runEnded = std::move(ended);
        };
        hooks.OnBnClickedButtonFWInfo = [this] { ++firmwareInfos; };
        hooks.RunPageItems = [&ctx](std::uint8_t page, std::uint8_t items,
                                    const IniSettings& settings) {
            MpRun(ctx).RunPageItems(page, items, settings);
        };
        return hooks;
    }
    bool RunEnded() {
        std::function<bool()> ended;
        {
            std::lock_guard lock(mutex);
            ended = runEnded;
        }
        return ended && ended();
    }
};

class PageCores {
  public:
    // `prompts`: the pages ask these instead of the tool's.
    explicit PageCores(ToolContext& ctx, IOperatorPrompts* prompts = nullptr)
        : upgrade(UpgradePageServices{ctx.ini, ctx.upgrade, ctx.g_Utility, ctx.resultTable,
                                      prompts != nullptr ? *prompts : ctx.prompts, ctx.eventLog,
                                      ctx.hardware, ctx.runFromMain, hooks.Hooks(ctx)}),
          test(FunTestPageServices{ctx.ini, ctx.funTest, ctx.xhci, ctx.g_Utility,
                                   prompts != nullptr ? *prompts : ctx.prompts, ctx.eventLog,
                                   ctx.hardware, ctx.runFromMain, ctx.consoleMode,
                                   hooks.Hooks(ctx)}) {}

    RecordedHooks hooks;
    UpgradePageCore upgrade;
    FunTestPageCore test;
};

}  // namespace qnl::test
