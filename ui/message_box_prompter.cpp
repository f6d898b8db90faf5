// QMessageBox back end of the prompt layer.
#include "ui/message_box_prompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTextBoundaryFinder>

namespace orv {

namespace {

constexpr QChar kZeroWidthSpace(0x200B);
// Longer runs than this without a place to break may break anywhere: some 250 pixels of text,
// well within the narrowest box.
constexpr qsizetype kLongestUnbrokenRun = 32;

// Text copied out of the box (its text or a part of it, selected) goes to the clipboard and the
// selection without the zero-width spaces the box shows; what is copied elsewhere is left alone.
void keepCopiesAsGiven(QMessageBox* box, const QString& shown) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    const auto restore = [clipboard, shown](QClipboard::Mode mode) {
        const QString copied = clipboard->text(mode);
        if (!copied.contains(kZeroWidthSpace) || !(shown.contains(copied) || copied.contains(shown))) return;
        clipboard->setText(QString(copied).remove(kZeroWidthSpace), mode);
    };
    QObject::connect(clipboard, &QClipboard::dataChanged, box, [restore] { restore(QClipboard::Clipboard); });
    QObject::connect(clipboard, &QClipboard::selectionChanged, box, [restore] { restore(QClipboard::Selection); });
}

} // namespace

QString breakableText(const QString& text) {
    if (text.contains(kZeroWidthSpace)) return text;
    QString shown;
    shown.reserve(text.size());
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    qsizetype start = 0;
    for (qsizetype end = lines.toNextBoundary(); end != -1; end = lines.toNextBoundary()) {
        // The blanks or line end a run may end with need no place to break.
        qsizetype last = end;
        while (last > start && text.at(last - 1).isSpace()) --last;
        const QString run = text.mid(start, last - start);
        const QString blanks = text.mid(last, end - last);
        start = end;
        if (run.size() <= kLongestUnbrokenRun) {
            shown += run + blanks;
            continue;
        }
        // Between characters as the reader sees them, never inside one (an accent, a surrogate pair).
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, run);
        qsizetype from = 0;
        for (qsizetype to = characters.toNextBoundary(); to != -1; to = characters.toNextBoundary()) {
            if (from > 0) shown += kZeroWidthSpace;
            shown += run.mid(from, to - from);
            from = to;
        }
        shown += blanks;
    }
    return shown;
}

std::unique_ptr<QMessageBox> wrappingMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, title, QString(), buttons, parent);
    const QString shown = breakableText(text);
    box->setTextFormat(Qt::PlainText);
    box->setText(shown);
    box->setAccessibleDescription(text);
    if (shown != text) {
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) label->setAccessibleName(text);
        keepCopiesAsGiven(box.get(), shown);
    }
    return box;
}

QMessageBox::StandardButton askWarning(QWidget* parent, const QString& title, const QString& text,
                                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    auto box = wrappingMessageBox(QMessageBox::Warning, title, text, buttons, parent);
    box->setDefaultButton(defaultButton);
    if (box->exec() == -1) return QMessageBox::Cancel;
    return box->standardButton(box->clickedButton());
}

std::unique_ptr<QMessageBox> buildMessageBox(const Prompt& prompt, QWidget* parent) {
    auto box = wrappingMessageBox(QMessageBox::NoIcon, QString::fromStdString(prompt.title),
                                  QString::fromStdString(prompt.text), QMessageBox::NoButton, parent);
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
    if (!prompt.details.empty()) box->setDetailedText(QString::fromStdString(prompt.details));
    box->setAccessibleName(QString::fromStdString(prompt.title));
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
