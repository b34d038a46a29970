// The command line: gathering it into one text, the usage text, and parsing the options in
// their fixed order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qnl {

struct CommandLineState {
    std::string text;  // what is left of the command-line text after parsing
    bool hasCommandLine = false;
    bool autoMode = false;           // /A
    bool silent = false;             // /S
    bool showVersion = false;        // /D
    bool compareVersion = false;     // /T
    bool outputVersionFile = false;  // /O
    bool compareIds = false;         // /I
    bool signalOverride = false;     // /G
    bool fixtureOverride = false;    // /F
    bool assignAddress = false;      // /P
    std::uint8_t assignedBus = 0, assignedDevice = 0, assignedFunction = 0;
    std::uint8_t testPort = 0, testSpeed = 0;
    std::string inputVersion;  // /T value
    std::string inputIds;      // /I value, "SSID/SVID"
};

// What parsing ends with when it cannot go on: a message for the operator (a message box in
// window mode) and the exit code; or the usage text.
struct CommandLineStop {
    bool usage = false;   // /? given: show UsageText(), exit 0
    std::string message;  // message box text
    std::string caption;  // message box caption
    std::int32_t exitCode = 0;
};

// Joins the arguments as the raw command line would hold them (one blank between
// arguments), then drops tabs and line feeds, keeping the blanks where they were.
std::string GatherCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

// Whether a command line leaves the tool to the operator's window (when one can open): an
// empty one, or one that parses without stopping and asks for no console action: no /S, /A,
// /D, /T, /O or /I. A /G or /F alone starts its run in the window, which stays.
bool CommandLineOpensWindow(const std::string& text);

// Parses `text` into `state` in the fixed option order. Returns a stop when an option ends
// the process during parsing.
std::optional<CommandLineStop> ParseCommandLine(const std::string& text, CommandLineState& state);

}  // namespace qnl
