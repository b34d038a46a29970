// Operator prompts for window tests: every message is recorded with its caption, and the login
// and the file choosers give the answers the test queued (cancelled when none is queued).
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/OperatorPrompts.h"

namespace qnl::test {

class RecordingPrompts final : public IOperatorPrompts {
  public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon = MessageIcon::None;
    };

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& /*consoleText*/) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({text, caption, icon});
    }
    bool AskSerialNumber(ISerialNumberEntry& entry) override {
        std::lock_guard lock(mutex_);
        ++serialNumberQuestions_;
        entry.OnInitDialog();
        entry.OnCancel();
        return false;
    }
    std::optional<std::string> AskLogin(const LoginQuestion& question) override {
        std::lock_guard lock(mutex_);
        loginQuestions_.push_back(question);
        return Next(logins_);
    }
    std::optional<std::string> ChooseFile(const FileQuestion& question) override {
        std::lock_guard lock(mutex_);
        fileQuestions_.push_back(question);
        return Next(files_);
    }

    // nullopt: the operator cancels.
    void QueueLogin(std::optional<std::string> answer) {
        std::lock_guard lock(mutex_);
        logins_.push_back(std::move(answer));
    }
    void QueueFile(std::optional<std::string> answer) {
        std::lock_guard lock(mutex_);
        files_.push_back(std::move(answer));
    }

    std::vector<Message> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<LoginQuestion> LoginQuestions() const {
        std::lock_guard lock(mutex_);
        return loginQuestions_;
    }
    std::vector<FileQuestion> FileQuestions() const {
        std::lock_guard lock(mutex_);
        return fileQuestions_;
    }
    void ClearMessages() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

  private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& queue) {
        if (queue.empty()) return std::nullopt;
        auto answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }

    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<LoginQuestion> loginQuestions_;
    std::vector<FileQuestion> fileQuestions_;
    std::deque<std::optional<std::string>> logins_;
    std::deque<std::optional<std::string>> files_;
    int serialNumberQuestions_ = 0;
};

}  // namespace qnl::test
