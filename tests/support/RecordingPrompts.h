// Operator prompts for tests: records every message, answers file choices from a prepared
// list (nullopt = cancelled) and cancels everything else.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/OperatorPrompts.h"

namespace qnl::test {

class RecordingPrompts final : public IOperatorPrompts {
  public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon,
                     const std::string&) override {
        messages.push_back(text);
    }
    bool AskSerialNumber(ISerialNumberEntry&) override { return false; }
    std::optional<std::string> AskLogin(const LoginQuestion&) override { return std::nullopt; }
    std::optional<std::string> ChooseFile(const FileQuestion& question) override {
        fileQuestions.push_back(question);
        if (fileAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<FileQuestion> fileQuestions;
    std::deque<std::optional<std::string>> fileAnswers;
};

}  // namespace qnl::test
