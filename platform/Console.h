// What the tool prints in console mode, and the operator's answers read from the console.
#pragma once

#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace qnl {

class IConsole {
  public:
    virtual ~IConsole() = default;
    // Writes text as it stands (texts carry their own "\r\n").
    virtual void Write(const std::string& text) = 0;
    // Reads one line of operator input; nullopt at end of input.
    virtual std::optional<std::string> ReadLine() = 0;
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// Standard output, unbuffered, and standard input.
class StdConsole final : public IConsole {
  public:
    StdConsole();
    void Write(const std::string& text) override;
    std::optional<std::string> ReadLine() override;

  private:
    std::mutex mutex_;
};

// Windows, the window program (no console of its own) given a command line: standard output,
// error and input that were not handed over (a redirect or a pipe) go to the console of the
// process that started it, when it has one, else nowhere. Elsewhere it does nothing.
void UseParentConsole();

// Collects everything written, answers reads from a prepared list: for tests.
class MemoryConsole final : public IConsole {
  public:
    void Write(const std::string& text) override;
    std::optional<std::string> ReadLine() override;
    std::string Text() const;
    void AddInput(const std::string& line);

  private:
    mutable std::mutex mutex_;
    std::string text_;
    std::vector<std::string> input_;
    std::size_t nextInput_ = 0;
};

// Window mode has no console: everything printed is dropped.
class NullConsole final : public IConsole {
  public:
    void Write(const std::string&) override {}
    std::optional<std::string> ReadLine() override { return std::nullopt; }
};

}  // namespace qnl
