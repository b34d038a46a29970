// Runs the real qnlmptool executable in a temporary tool folder, for end-to-end tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qnl::test {

struct ToolResult {
    int status = -1;     // process exit status (0..255), or -1 when it did not exit normally
    std::string out;     // standard output
    std::string err;     // standard error
    long maxRssKb = 0;   // the process's peak resident set (getrusage of the child)
    double seconds = 0;  // wall time from start to exit
};

class TempToolFolder {
  public:
    // Creates a fresh folder (below `parent`, by default the temporary folder) and copies the
    // executable into it.
    explicit TempToolFolder(const std::string& parent = {});
    ~TempToolFolder();
    TempToolFolder(const TempToolFolder&) = delete;
    TempToolFolder& operator=(const TempToolFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

    // Runs the tool with arguments; `env` entries are added to the environment (QNLIO_*
    // variables of the test's own environment are removed first). The working folder is the
    // tool folder unless `workdir` is given. When the run leaves a records/ folder, its run
    // records are checked against their schema (CheckRunRecords) and a bad record fails the
    // calling test.
    ToolResult Run(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& env = {},
                   const std::string& input = {}, const std::string& workdir = {}) const;

  private:
    std::string path_;
};

// Runs `program` (a path) with `arguments` and exactly the environment `environment`
// ("NAME=value" entries) in `workdir`, feeding it `input`, and collects its output.
ToolResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, const std::string& input,
                      const std::string& workdir);

// The Python that checks the run records: /usr/bin/python3 (where Debian's python3-jsonschema
// goes, scripts/install-deps.sh), else the first python3 on PATH; empty when there is none.
std::string RecordCheckPython();

// scripts/check-run-records.py over `toolFolder`'s records/: status 0 when every line of
// every records file is valid against docs/run-record.schema.json; otherwise `out` names the
// lines and the reasons. Needs RecordCheckPython().
ToolResult CheckRunRecords(const std::string& toolFolder);

}  // namespace qnl::test
