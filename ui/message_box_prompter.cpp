// QMessageBox back end of the prompt layer.
#include "ui/message_box_prompter.h"

#include <QAbstractButton>
#include <QApplication>

namespace orv {

std::unique_ptr<QMessageBox> buildMessageBox(const Prompt& prompt, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    switch (prompt.icon) {
    case PromptIcon::Critical: box->setIcon(QMessageBox::Critical); break;
    case PromptIcon::Question: box->setIcon(QMessageBox::Question); break;
    case PromptIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    case PromptIcon::Information: box->setIcon(QMessageBox::Information); break;
    case PromptIcon::None: box->setIcon(QMessageBox::NoIcon); break;
    }
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton first = QMessageBox::Ok;
    switch (prompt.buttons) {
    case PromptButtons::Ok: buttons = QMessageBox::Ok; break;
    case PromptButtons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case PromptButtons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; first = QMessageBox::Yes; break;
    case PromptButtons::YesNoCancel:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        first = QMessageBox::Yes;
        break;
    case PromptButtons::RetryCancel:
        buttons = QMessageBox::Retry | QMessageBox::Cancel;
        first = QMessageBox::Retry;
        break;
    }
    box->setStandardButtons(buttons);
    box->setDefaultButton(first);
    box->setWindowTitle(QString::fromStdString(prompt.title));
    box->setText(QString::fromStdString(prompt.text));
    box->setTextFormat(Qt::PlainText);
    if (!prompt.details.empty()) box->setDetailedText(QString::fromStdString(prompt.details));
    box->setAccessibleName(QString::fromStdString(prompt.title));
    box->setAccessibleDescription(QString::fromStdString(prompt.text));
    return box;
}

PromptAnswer MessageBoxPrompter::show(const Prompt& prompt) {
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    auto box = buildMessageBox(prompt, parent);
    // The pointer the user sees over a message is the normal one, whatever command is running.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box->exec();
    if (busy) QApplication::restoreOverrideCursor();
    switch (result) {
    case QMessageBox::Cancel: return PromptAnswer::Cancel;
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    case QMessageBox::Retry: return PromptAnswer::Retry;
    case QMessageBox::Ok: return PromptAnswer::Ok;
    default:
        // Closed with Escape or the window's close button: the escape button's answer.
        return prompt.buttons == PromptButtons::Ok ? PromptAnswer::Ok
               : prompt.buttons == PromptButtons::YesNo ? PromptAnswer::No
                                                        : PromptAnswer::Cancel;
    }
}

} // namespace orv
