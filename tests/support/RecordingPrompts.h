// Operator prompts for tests: records every message (with its caption), answers file choices
// and logins from prepared lists (nullopt = cancelled) and cancels everything else.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/OperatorPrompts.h"

namespace qnl::test {

class RecordingPrompts final : public IOperatorPrompts {
  public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon,
                     const std::string&) override {
        messages.push_back(text);
        captions.push_back(caption);
    }
    // Records the question, runs `onRetryQuestion` (the operator's hand meanwhile) and answers
    // from `retryAnswers` (Cancel when none is left).
    bool AskRetry(const std::string& text, const std::string&, MessageIcon) override {
        retryQuestions.push_back(text);
        if (onRetryQuestion) onRetryQuestion();
        if (retryAnswers.empty()) return false;
        const bool answer = retryAnswers.front();
        retryAnswers.pop_front();
        return answer;
    }
    bool AskSerialNumber(ISerialNumberEntry&) override { return false; }
    std::optional<std::string> AskLogin(const LoginQuestion& question) override {
        loginQuestions.push_back(question);
        if (loginAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = loginAnswers.front();
        loginAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> ChooseFile(const FileQuestion& question) override {
        fileQuestions.push_back(question);
        if (fileAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<std::string> captions;  // one per message
    std::vector<std::string> retryQuestions;
    std::deque<bool> retryAnswers;
    std::function<void()> onRetryQuestion;
    std::vector<LoginQuestion> loginQuestions;
    std::deque<std::optional<std::string>> loginAnswers;
    std::vector<FileQuestion> fileQuestions;
    std::deque<std::optional<std::string>> fileAnswers;
};

}  // namespace qnl::test
