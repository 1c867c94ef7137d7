// The application message box on Qt: text, caption, OK or Yes/No, no icon.
#pragma once

#include "base/MessageBox.h"

class QWidget;

class TQtMessageBox : public qor::IMessageBox {
public:
    // Boxes are shown over `parent` (may be changed once the main window exists).
    explicit TQtMessageBox(QWidget* parent = nullptr) : Parent(parent) {}
    void SetParent(QWidget* parent) { Parent = parent; }

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;

private:
    QWidget* Parent;
};
