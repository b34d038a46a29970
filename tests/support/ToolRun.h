// Runs the real qnlmptool executable in a temporary tool folder, for end-to-end tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qnl::test {

struct ToolResult {
    int status = -1;  // process exit status (0..255), or -1 when it did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
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
  // tool folder unless `workdir` is given.
  ToolResult Run(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& env = {}, const std::string& input = {},
                 const std::string& workdir = {}) const;

private:
    std::string path_;
};

}  // namespace qnl::test
