#!/usr/bin/env bash
# The Windows tool end to end under wine: cross-builds it (scripts/build-windows.sh) and runs
# the x86-64 build under wine64 in temporary tool folders. The console checks run the console
# twin qnlmptool.com, as cmd.exe does for "qnlmptool" (one check runs it by that name through
# cmd; one runs the window program qnlmptool.exe with a command line and a redirect):
#   - the simulated station (QNLIO_BACKEND=sim): /S /D, /S /A with update and check (the flash
#     files must then hold the configuration image), /O, /T with the full exit code;
#   - QNLIO_BACKEND=help: the backends of a Windows station;
#   - the default backend, qnliodll.dll from the tool folder: missing, a stand-in built by the
#     same toolchain over the simulated station (good, LoadQnlIODriver failing, one export
#     missing), a file that is not a DLL, a 32-bit DLL;
#   - with 32-bit wine (wine32) installed, the same for the 32-bit tool, whose stand-in exports
#     the decorated standard-call names. Without it the 32-bit build is only compiled.
# Prints one line per check and "N passed, M failed"; exits non-zero on a failure.
#
#   bash scripts/test-windows.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
began=$(date +%s)
bash "$root/scripts/install-deps.sh" wine wine64 >/dev/null || exit 1
# 32-bit wine needs the i386 architecture; where it cannot be installed, the 32-bit tool is
# built but not run (QNL_WINE32=0 skips the attempt).
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
if [ "${QNL_WINE32:-1}" = 1 ] && ! installed wine32:i386; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    echo "Installing: wine32:i386"
    { $SUDO dpkg --add-architecture i386 && $SUDO apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wine32:i386 >/dev/null; } ||
        echo "(32-bit wine could not be installed)"
fi
bash "$root/scripts/build-windows.sh" x86_64 i686 || exit 1

win64="$root/build-windows/bin"
win32="$root/build-windows-x86/bin"
export WINEPREFIX="$root/build-windows/wineprefix"
# A prefix made before 32-bit wine was there cannot run 32-bit programs: make it anew.
flavour=64
[ -x /usr/lib/wine/wine ] && flavour=32+64
[ "$(cat "$WINEPREFIX/qnl-wine-flavour" 2>/dev/null)" = "$flavour" ] || rm -rf "$WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or Gecko installer prompts
work=$(mktemp -d)
trap 'wineserver -w 2>/dev/null; rm -rf "$work"' EXIT
# The first use of a prefix creates it (some seconds); keep that out of the first check.
wine cmd /c exit >/dev/null 2>&1 || true
echo "$flavour" >"$WINEPREFIX/qnl-wine-flavour"

passed=0
failed=0
check() {  # name, then a command that succeeds when the check passes
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok      $name"
    else
        failed=$((failed + 1))
        echo "FAILED  $name"
        echo "        status $status; stdout:"
        sed 's/^/        | /' "$folder/out" | tr -d '\r' | tail -15
        echo "        stderr:"
        sed 's/^/        | /' "$folder/err" | tail -8
    fi
}
has() { grep -qF -- "$1" "$folder/$2"; }
subsystem() { x86_64-w64-mingw32-objdump -p "$1" | grep "^Subsystem"; }

# A fresh tool folder with the tool, its image maker and a firmware image named by the
# settings file (update and check on, as on a station).
folder=""
new_folder() {  # bin folder
    folder=$(mktemp -d "$work/tool.XXXX")
    cp "$1/qnlmptool.exe" "$1/qnlmptool.com" "$1/qnlfwimage.exe" "$folder/"
    mkdir "$folder/fw"
    (cd "$folder" && wine ./qnlfwimage.exe -o 'fw\qnl7350a_170707.bin' --kind 0 \
        --version 170707_00_50_01 --entry 2:E260:1D6A --customer "WINE STATION" \
        --code-size 32768 --pad-to 65536 --ini QNL7350AMPTool.ini >/dev/null 2>&1)
}
status=0
run() {  # env assignments..., then the tool's arguments
    local envs=()
    while [[ $# -gt 0 && "$1" == *=* ]]; do envs+=("$1"); shift; done
    (cd "$folder" && env "${envs[@]}" timeout 300 wine "${tool:-./qnlmptool.com}" "$@" >out 2>err)
    status=$?
    # Wine itself lost its server before the tool printed anything (seen once on a loaded
    # machine: "wine client error:0: recvmsg: Connection reset by peer"): the tool never ran,
    # so run it once more rather than report the tool as failing.
    if [[ ! -s "$folder/out" ]] && grep -q "wine client error" "$folder/err"; then
        (cd "$folder" && env "${envs[@]}" timeout 300 wine "${tool:-./qnlmptool.com}" "$@" >out 2>err)
        status=$?
    fi
}
station() {  # flash file prefix, extra top-level JSON
    cat >"$folder/station.json" <<JSON
{ "time_scale": 0.01 $2, "controllers": [
  { "bus": 5, "device": 0, "function": 0, "kind": 0, "flash_id": "C2 20 13", "flash": "$1-0.flash" },
  { "bus": 6, "device": 0, "function": 0, "kind": 0, "flash_id": "C2 20 13", "flash": "$1-1.flash" } ] }
JSON
}
# Both flash files begin with the configuration image the run built.
flash_holds_image() {  # flash files...
    local rom
    rom=$(ls "$folder"/Config_*.rom 2>/dev/null | head -1)
    [ -n "$rom" ] || return 1
    for f in "$@"; do cmp -s -n "$(stat -c %s "$rom")" "$rom" "$folder/$f" || return 1; done
}
version_file_ok() {
    [ "$(grep -c $'^[01]:170707_00_50_01\tSVID: [0-9A-Fa-f]*\tSSID: [0-9A-Fa-f]*\r$' \
        "$folder/QNL735xVersion.txt")" = 2 ]
}
crlf_only() { ! grep -q $'\r\r' "$folder/out" && grep -q $'ErroCode \[[-0-9]*\]\r$' "$folder/out"; }

suite() {  # bin folder of the tool, bin folder of a stand-in of the other word size, label
    local bin=$1 other=$2 label=$3

    # One program, two files: the window program and its console twin.
    check "$label qnlmptool.exe is a window program, qnlmptool.com its console twin" eval '
        subsystem "$bin/qnlmptool.exe" | grep -q "Windows GUI" &&
        subsystem "$bin/qnlmptool.com" | grep -q "Windows CUI"'

    # The simulated station, built in (its flash files in the tool folder).
    new_folder "$bin"
    run QNLIO_BACKEND=sim /S /D
    check "$label sim /S /D lists both hosts, blank" eval '[ $status = 0 ] &&
        has "Target Host[1] > Bus:0x04 Device:0x00 Function:0x00" out &&
        has "Version-->000000_00_00_00" out && crlf_only'
    # The window program given a command line is the console tool too: its output reaches a
    # redirect.
    tool=./qnlmptool.exe run QNLIO_BACKEND=sim /S /D
    check "$label sim /S /D from the window program into a redirect" eval '[ $status = 0 ] &&
        has "Target Host[1] > Bus:0x04 Device:0x00 Function:0x00" out && crlf_only'
    run QNLIO_BACKEND=sim /S /A
    check "$label sim /S /A updates and checks both hosts" eval '[ $status = 0 ] &&
        flash_holds_image sim_host0.flash sim_host1.flash'
    run QNLIO_BACKEND=sim /S /D
    check "$label sim /S /D shows the new version" eval '[ $status = 0 ] &&
        [ "$(grep -c "Version-->170707_00_50_01" "$folder/out")" = 2 ]'
    run QNLIO_BACKEND=sim /S /O
    check "$label sim /O writes the version file" eval '[ $status = 0 ] && version_file_ok'
    # Windows keeps the whole exit code: a script sees -2.
    # "qnlmptool" in cmd is the console twin (.com before .exe), which cmd waits for.
    (cd "$folder" && QNLIO_BACKEND=sim timeout 120 wine cmd /c \
        'qnlmptool /S /T 999999 >nul & call echo code=%ERRORLEVEL%' >out 2>err)
    status=$?
    check "$label sim /T mismatch ends with -2" has "code=-2" out

    # A firmware named with a drive letter (wine's Z: is the Linux root), in another case.
    local name
    name="Z:$(echo "$folder/FW/QNL7350A_170707.BIN" | tr / '\\')"
    sed -i "s|^fw_binary_name=.*\r\$|fw_binary_name=${name//\\/\\\\}\r|" "$folder/QNL7350AMPTool.ini"
    rm -f "$folder"/sim_host*.flash "$folder"/Config_*.rom
    run QNLIO_BACKEND=sim /S /A
    check "$label sim /S /A with a drive-letter firmware name" eval '[ $status = 0 ] &&
        flash_holds_image sim_host0.flash sim_host1.flash && grep -q "^fw_binary_name=Z:" "$folder/QNL7350AMPTool.ini"'

    # The backends of a Windows station, listed without touching anything.
    new_folder "$bin"
    run QNLIO_BACKEND=help
    check "$label help lists sim and dll:<path>, not linux" eval '[ $status = 0 ] &&
        has "  sim " out && has "  dll:<path> " out && ! has "linux" out && [ ! -e "$folder/log" ]'

    # The default backend: qnliodll.dll in the tool folder.
    run /S /D
    check "$label no qnliodll.dll: driver failure, exit 1" eval '[ $status = 1 ] &&
        has "InitializeQNLIO Error!" out && has "qnliodll.dll" err && has "does not exist" err &&
        has "qnliodll.dll" "log/events.log"'
    cp "$bin/qnl_dllsim.dll" "$folder/qnliodll.dll"
    station dll ""
    run QNLIO_STATION=station.json /S /D
    check "$label stand-in library: /S /D" eval '[ $status = 0 ] &&
        has "Target Host[0] > Bus:0x05 Device:0x00 Function:0x00" out &&
        has "Target Host[1] > Bus:0x06 Device:0x00 Function:0x00" out'
    run QNLIO_STATION=station.json /S /A
    check "$label stand-in library: /S /A updates and checks" eval '[ $status = 0 ] &&
        flash_holds_image dll-0.flash dll-1.flash'
    station dll ', "driver_load_fails": true'
    run QNLIO_STATION=station.json /S /D
    check "$label stand-in library: LoadQnlIODriver fails, exit 1" eval '[ $status = 1 ] &&
        has "InitializeQNLIO Error!" out'
    cp "$bin/qnl_dllsim_partial.dll" "$folder/qnliodll.dll"
    run QNLIO_STATION=station.json /S /D
    check "$label stand-in library without PCI_Read_BYTE, exit 1" eval '[ $status = 1 ] &&
        has "InitializeQNLIO Error!" out && has "does not export PCI_Read_BYTE" err'
    printf 'LoadQnlIODriver\r\n' >"$folder/qnliodll.dll"
    run /S /D
    check "$label a text file as qnliodll.dll, exit 1" eval '[ $status = 1 ] &&
        has "qnliodll.dll" err && has "it is not a Windows DLL" err'
    if [ -f "$other/qnl_dllsim.dll" ]; then
        cp "$other/qnl_dllsim.dll" "$folder/qnliodll.dll"
        run /S /D
        check "$label a DLL of the other word size, exit 1" eval '[ $status = 1 ] &&
            has "qnliodll.dll" err && has "library and this tool is" err'
    fi
}

# On a virtual display. The wine server is let go first: one started without a display would
# keep its windows off the screen for every program after it.
on_display() {
    wineserver -w
    timeout 240 xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
}

# The window's binding tests (their own lines, counted with the others).
window_tests() {
    folder=$(mktemp -d "$work/win-tests.XXXX")
    (cd "$win64" && on_display wine ./qnl_win_tests.exe >"$folder/out" 2>"$folder/err")
    status=$?
    tr -d '\r' <"$folder/out" | grep -E '^(ok|FAILED) ' | sed 's/^/        /'
    check "x64 window binding tests (qnl_win_tests.exe)" eval '[ $status = 0 ] &&
        grep -q " 0 failed" "$folder/out"'
}

# The real window program opened with no command line, driven from outside: unlock with the
# password, Start, both hosts' update cells PASS, the flash files programmed, the day's result
# log written, the window's exit code 0. Then start-up without qnliodll.dll: its box, exit 1.
window_end_to_end() {
    new_folder "$win64"
    cp "$win64/qnl_win_drive.exe" "$folder/"
    local where
    where="Z:$(echo "$folder" | tr / '\\')"
    (cd "$folder" && QNLIO_BACKEND=sim on_display wine ./qnl_win_drive.exe run "$where" \
        >out 2>err)
    status=$?
    check "x64 window opened with no command line: unlock, Start, PASS, flash, result log" eval '
        [ $status = 0 ] && has "unlock button: Lock MP Tool" out && has "save log: on" out &&
        [ "$(tr -d "\r" <"$folder/out" | grep -c "^row [01]: [01]|170707_00_50_01|.*|PASS|")" = 2 ] &&
        flash_holds_image sim_host0.flash sim_host1.flash &&
        ls "$folder"/20[0-9][0-9][01][0-9][0-3][0-9].log >/dev/null 2>&1'
    new_folder "$win64"
    cp "$win64/qnl_win_drive.exe" "$folder/"
    where="Z:$(echo "$folder" | tr / '\\')"
    (cd "$folder" && on_display wine ./qnl_win_drive.exe startup "$where" >out 2>err)
    status=$?
    check "x64 window without qnliodll.dll: the start-up box, then exit 1" eval '
        [ $status = 1 ] && has "box:" out && has "exit code 1" out'
}

start=$(date +%s)
if command -v xvfb-run >/dev/null; then
    window_tests
    window_end_to_end
else
    echo "(xvfb-run is not installed: the window's binding tests were built, not run)"
fi
suite "$win64" "$win32" "x64"
if [ -x /usr/lib/wine/wine ]; then
    suite "$win32" "$win64" "x86"
else
    echo "(32-bit wine is not installed: the 32-bit tool was built, not run)"
fi
echo "wine checks took $(($(date +%s) - start)) s; test-windows.sh (installs, builds, checks) $(($(date +%s) - began)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
