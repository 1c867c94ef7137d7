// The application's message box, as the core flows see it: a text, a caption and OK, or the
// Yes/No question. The window shows real boxes; tests answer them.
#pragma once

#include <string>

namespace qor {

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // Shows the text with an OK button and returns when it is closed.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // Yes is the default button; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
};

} // namespace qor
