// The message boxes and the modal dialogs of the desktop program, injected so that tests answer them.
#pragma once

#include "app/MessageBoxes.h"

#include <functional>
#include <string>

class QDialog;

namespace halcyra {

class IPrompter : public IMessageBoxes {
public:
    // Runs a dialog modally; true when it closed with OK.
    virtual bool ExecDialog(QDialog& dialog);
};

// Real message boxes, for the desktop program.
class TMessageBoxPrompter final : public IPrompter {
public:
    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
};

// Without a display: every message goes to the log and a question takes its default answer (Yes, the
// first button, as a message box would on Enter).
class TLoggingPrompter final : public IPrompter {
public:
    explicit TLoggingPrompter(std::function<void(const std::string&)> log) : log_(std::move(log)) {}
    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    // Nobody can answer a dialog: it is logged and counts as cancelled.
    bool ExecDialog(QDialog& dialog) override;

private:
    std::function<void(const std::string&)> log_;
};

}  // namespace halcyra
