#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs the tests of the run machinery under it: the port-test
# scheduler, the upgrade run, the worker primitives, the external register write, the tool's
# lifetime (also with a backend call that blocks past the tool's end), the pages' own runs, the
# port check on device changes and the MP run end to end (the real
# executable, so the tool's own threads are checked too). Any report fails the step.
# Reports that are proven benign are suppressed in scripts/tsan.supp, each with its reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="${QNL_TSAN_BUILD:-$root/build-tsan}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQNL_TSAN=ON -DQNL_WITH_QT=OFF >/dev/null
cmake --build "$build" --parallel 2 --target qnl_tests qnlmptool qnlfwimage
# halt_on_error: the first report ends the process with 66, so the unit test or the
# end-to-end test that started the executable fails.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp"
cd "$build"
selection='^([A-Za-z]+/)?(FunTestScheduler|FixtureSubTest|UpgradeRunTest|UpgradeRunFiveHosts|MPRunTest|MPRunPortTest|RunEndsTest|RunReporterTest|ToolLifetimeTest|ToolBlockedBackendTest|MainWindowCoreTest|Worker|WorkerGroup|ReportGate|RecoverableLock|ControlStateTable|ExtSet|PortCheckTest|SimPlugTest|SimPlugToPortCheck|FunTestPageTest|UpgradePageTest|WindowPagesTest|HardwareSessionTest)\.'
ctest --output-on-failure --parallel 2 --timeout 600 -R "$selection"
