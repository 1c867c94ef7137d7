// Message boxes answered by the test: every shown text and caption is kept.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/MessageBox.h"

namespace qor::test {

class TRecordingMessageBox : public IMessageBox {
public:
    std::vector<std::pair<std::string, std::string>> Shown; // text, caption
    bool Answer = true;

    void ShowMessage(const std::string& text, const std::string& caption) override {
        Shown.emplace_back(text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        Shown.emplace_back(text, caption);
        return Answer;
    }
};

} // namespace qor::test
