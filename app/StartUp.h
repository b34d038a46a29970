// The tool's start-up, with or without a window: the command line, the settings file of the
// tool folder, the I/O driver, the discovery of the controllers, and the console's reads
// (/D, /T, /O, /I). The window's core calls these steps in order, with its own rules between
// them (the page shown first, the lock state, Start); every step that ends the tool returns the
// exit code, after ExitWithCode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/ToolContext.h"

namespace qnl {

inline constexpr const char* kVersionFileName = "QNL735xVersion.txt";

// /G and /F: the signal line test or the fixture test on, with the port and speed digits.
void ApplyTestOverrides(const CommandLineState& cmd, IniSettings& ini);

// One line of the version file for a host.
std::string VersionFileLine(std::size_t index, const TargetHost& host);

// The buses scanned into the host table; more controllers than the table holds are told.
void ScanControllers(ToolContext& ctx);
// A controller that did not answer at discovery keeps its row but is never driven: the
// operator is told which.
void ReportNoAnswerHosts(ToolContext& ctx);

class StartUp {
  public:
    explicit StartUp(ToolContext& context) : ctx_(context) {}
    StartUp(const StartUp&) = delete;
    StartUp& operator=(const StartUp&) = delete;

    // Parses the command line; /? and a bad command line end the tool here. Sets the tool's
    // console and silent modes and prints the console's banner.
    std::optional<std::int32_t> ReadCommandLine(const std::string& commandLineText);

    // What loading the settings file left.
    struct SettingsLoad {
        std::string path;                  // the file in the tool folder
        bool loaded = false;               // the tool took it
        std::optional<std::int32_t> exit;  // the tool ends here
    };
    // "QNL7350AMPTool.ini" of the tool folder (its name's case as a Windows station's copy
    // may have it), then the loaded values through the edits' rules.
    SettingsLoad LoadSettings();

    // Loads the I/O driver; a failure ends the tool with 1 (told, no exit-code line).
    std::optional<std::int32_t> LoadDriver();
    // The host table: the address /B assigned, or a scan of the buses.
    std::optional<std::int32_t> Discover();
    // /D, /T, /O, /I in that order; each ends the tool unless /A follows.
    std::optional<std::int32_t> ConsoleReads();

    // Ends the run of the tool with a code: prints "ErroCode [%d]" in console mode, waits a
    // second, unloads the I/O driver. Returns the code for the caller to end the process with.
    std::int32_t ExitWithCode(std::int32_t code);

    const CommandLineState& CommandLine() const { return cmd_; }
    bool ConsoleMode() const { return cmd_.silent || cmd_.hasCommandLine; }

    void Print(const std::string& text);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    void PrintHostAddress(std::size_t index, const TargetHost& host);
    std::optional<std::int32_t> ShowVersions();
    std::optional<std::int32_t> CompareVersions();
    std::optional<std::int32_t> WriteVersionFile();
    std::optional<std::int32_t> CompareIds();
    // /T and /I: every host printed and compared in table order, ending at the first mismatch.
    std::optional<std::int32_t> CompareEveryHost(
        const std::function<void(const TargetHost&)>& printHost,
        const std::function<bool(const TargetHost&)>& matches, std::int32_t mismatchCode);

    ToolContext& ctx_;
    CommandLineState cmd_;
};

}  // namespace qnl
