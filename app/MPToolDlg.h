// The main window's core: start-up, the command line and the way the process ends.
//
// The Qt window (when there is one) holds a reference to this object; console mode runs it
// alone. Start-up may end the process: OnInitDialog then returns the exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/ToolContext.h"

namespace qnl {

inline constexpr const char* kVersionFileName = "QNL735xVersion.txt";

class CQNL735_MPToolDlg {
public:
    explicit CQNL735_MPToolDlg(ToolContext& context);

    // Start-up with the gathered command-line text. Returns the exit code when start-up ends
    // the process (console actions, failures), nullopt when the tool goes on running.
    std::optional<std::int32_t> OnInitDialog(const std::string& commandLineText);

    // Ends the run of the tool with a code: prints "ErroCode [%d]" in console mode, waits a
    // second, unloads the I/O driver. Returns the code for the caller to end the process with.
    std::int32_t vExitWithCode(std::int32_t code);

    const CommandLineState& CommandLine() const { return cmd_; }
    bool ConsoleMode() const { return cmd_.silent || cmd_.hasCommandLine; }
    std::int32_t ExitCode() const { return exitCode_; }

private:
    void Print(const std::string& text);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void PrintHostAddress(std::size_t index, const TargetHost& host);

    std::optional<std::int32_t> LoadSettings();
    std::optional<std::int32_t> LoadDriver();
    std::optional<std::int32_t> Discover();
    std::optional<std::int32_t> ShowVersions();
    std::optional<std::int32_t> CompareVersions();
    std::optional<std::int32_t> WriteVersionFile();
    std::optional<std::int32_t> CompareIds();

    ToolContext& ctx_;
    CommandLineState cmd_;
    std::int32_t exitCode_ = 0;

public:
    // The settings file path shown in the window's INI path edit.
    std::string m_strEditLoadINI;
};

// /G and /F: the signal line test or the fixture test on, with the port and speed digits.
void ApplyTestOverrides(const CommandLineState& cmd, IniSettings& ini);

// One line of the version file for a host.
std::string VersionFileLine(std::size_t index, const TargetHost& host);

}  // namespace qnl
