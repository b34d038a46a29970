// A fresh tool whose tool folder is a real temporary folder, over a scripted I/O library: for
// tests of the settings file, firmware files and the configuration image.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ScriptedIo.h"
#include "support/ToolFixture.h"

namespace qnl::test {

class FolderTool {
  public:
    FolderTool() : folder_(MakeFolder()) { tool = std::make_unique<ToolUnderTest>(io, folder_); }
    ~FolderTool() {
        tool.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    FolderTool(const FolderTool&) = delete;
    FolderTool& operator=(const FolderTool&) = delete;

    const std::string& Folder() const { return folder_; }
    std::string File(const std::string& name) const { return folder_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const auto path = std::filesystem::path(File(name));
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::uint8_t> ReadBytes(const std::string& name) const {
        const std::string s = Read(name);
        return std::vector<std::uint8_t>(s.begin(), s.end());
    }

    ToolContext& ctx() { return *tool->context; }
    std::string Console() const { return tool->console.Text(); }
    std::string LogText() { return tool->LogText(); }

    ScriptedIo io;
    std::unique_ptr<ToolUnderTest> tool;

  private:
    static std::string MakeFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qnl-tool-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }
    std::string folder_;
};

}  // namespace qnl::test
