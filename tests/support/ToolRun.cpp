#include "support/ToolRun.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace qnl::test {

TempToolFolder::TempToolFolder(const std::string& parent) {
    std::string pattern =
        ((parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent)) /
         "qnl-tool-XXXXXX")
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::copy_file(QNL_TOOL_BINARY, path_ + "/qnlmptool");
    std::filesystem::permissions(path_ + "/qnlmptool", std::filesystem::perms::owner_all);
}

TempToolFolder::~TempToolFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempToolFolder::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(File(name), std::ios::binary);
    out << content;
}

std::string TempToolFolder::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempToolFolder::Exists(const std::string& name) const {
    return std::filesystem::exists(File(name));
}

ToolResult TempToolFolder::Run(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& env,
                               const std::string& input, const std::string& workdir) const {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "QNLIO_", 6) == 0) continue;
        // No display unless a test names one: the tool runs as on a station without a window.
        if (std::strncmp(*e, "DISPLAY=", 8) == 0 || std::strncmp(*e, "WAYLAND_DISPLAY=", 16) == 0 ||
            std::strncmp(*e, "QT_QPA_PLATFORM=", 16) == 0)
            continue;
        envText.emplace_back(*e);
    }
    for (const auto& [key, value] : env) envText.push_back(key + "=" + value);
    ToolResult result = RunProgram(path_ + "/qnlmptool", arguments, envText, input,
                                   workdir.empty() ? path_ : workdir);
    if (std::filesystem::is_directory(File("records"))) {
        if (RecordCheckPython().empty()) {
            std::fprintf(stderr, "note: no python3, the run records of %s are not checked\n",
                         path_.c_str());
        } else {
            const ToolResult check = CheckRunRecords(path_);
            if (check.status != 0)
                ADD_FAILURE() << "the run records of this run do not hold to their schema ("
                              << check.status << "):\n"
                              << check.out << check.err;
        }
    }
    return result;
}

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, const std::string& input,
                      const std::string& workdir) {
    std::vector<std::string> envText = environment;
    std::vector<char*> envp;
    for (auto& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argText{program};
    argText.insert(argText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : argText) argv.push_back(s.data());
    argv.push_back(nullptr);

    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    const std::string& dir = workdir;
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (!input.empty()) {
        const ssize_t written = ::write(inPipe[1], input.data(), input.size());
        (void)written;
    }
    ::close(inPipe[1]);

    ToolResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.maxRssKb = usage.ru_maxrss;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string RecordCheckPython() {
    if (::access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/python3";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

ToolResult CheckRunRecords(const std::string& toolFolder) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    return RunProgram(RecordCheckPython(), {QNL_RECORD_CHECKER, toolFolder}, envText, {},
                      toolFolder);
}

}  // namespace qnl::test
