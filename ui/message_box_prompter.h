// The program's voice: every prompt shown as a modal QMessageBox with its icon, buttons and title.
#pragma once

#include "base/prompt.h"

#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace orv {

// The box a prompt becomes, not yet shown (tests inspect it).
std::unique_ptr<QMessageBox> buildMessageBox(const Prompt& prompt, QWidget* parent);

// The text as a message box shows it: a run of more characters than a line break may wait for (a
// long file name with no blank or slash in it) may break after any of its characters, by
// zero-width spaces between them, so that the box wraps it within the screen. Shorter runs stay as
// they are, and so does a text that holds a zero-width space of its own.
QString breakableText(const QString& text);

// A message box that shows `text` as breakableText makes it. What is copied from it (where the
// style lets its text be selected) and what assistive technology reads is `text` as it was given.
std::unique_ptr<QMessageBox> wrappingMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons, QWidget* parent);

// QMessageBox::warning's question, in a box whose text wraps as a prompt's does.
QMessageBox::StandardButton askWarning(QWidget* parent, const QString& title, const QString& text,
                                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);

class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    PromptAnswer show(const Prompt& prompt) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace orv
