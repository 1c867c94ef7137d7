// Message boxes for tests: records what was shown and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/MessageBox.h"

namespace qor::test {

struct TShownBox {
    std::string Text;
    std::string Caption;
    bool Question = false;
};

class TScriptedMessageBox : public IMessageBox {
public:
    std::vector<TShownBox> Shown;
    std::deque<bool> Answers; // for AskYesNo, in order; No when the script has run out
    // Runs while a box is "open", as the event loop would.
    std::function<void()> WhileOpen;

    void ShowMessage(const std::string& text, const std::string& caption) override {
        Shown.push_back({text, caption, false});
        if (WhileOpen) {
            WhileOpen();
        }
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        Shown.push_back({text, caption, true});
        if (Answers.empty()) {
            return false;
        }
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
};

} // namespace qor::test
