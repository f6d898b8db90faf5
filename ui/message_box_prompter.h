// The program's voice: every prompt shown as a modal QMessageBox with its icon, buttons and title.
#pragma once

#include "base/prompt.h"

#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace orv {

// The box a prompt becomes, not yet shown (tests inspect it).
std::unique_ptr<QMessageBox> buildMessageBox(const Prompt& prompt, QWidget* parent);

class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer show(const Prompt& prompt) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace orv
