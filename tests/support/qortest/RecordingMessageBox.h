// Answers the core's message boxes in tests and remembers what was shown.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/MessageBox.h"

namespace qor::test {

struct TShownMessage {
    std::string Text;
    std::string Caption;
    bool operator==(const TShownMessage&) const = default;
};

class TRecordingMessageBox : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        Shown.push_back({text, caption});
        if (WhileShown) {
            WhileShown();
        }
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        Asked.push_back({text, caption});
        if (WhileAsked) {
            WhileAsked();
        }
        if (Answers.empty()) {
            return Answer;
        }
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }

    std::vector<TShownMessage> Shown;
    std::vector<TShownMessage> Asked;
    bool Answer = true;
    std::deque<bool> Answers; // answered first, in order; then Answer
    // Run while a box or a question is open, as the window's timers do.
    std::function<void()> WhileShown;
    std::function<void()> WhileAsked;
};

} // namespace qor::test
