// The progress strip.
#include "ui/run_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <cstdint>

namespace orv {

QString phaseText(RunPhase phase) {
    switch (phase) {
    case RunPhase::Reading: return QStringLiteral("Reading");
    case RunPhase::Aligning: return QStringLiteral("Aligning");
    case RunPhase::Fusing: return QStringLiteral("Fusing");
    case RunPhase::Smoothing: return QStringLiteral("Smoothing");
    case RunPhase::Saving: return QStringLiteral("Saving");
    }
    return {};
}

RunProgress::RunProgress(QWidget* shortcutWindow, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RunProgress"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    phase_ = new QLabel(this);
    phase_->setObjectName(QStringLiteral("labelPhase"));
    phase_->setMinimumWidth(160);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressRun"));
    bar_->setAccessibleName(QStringLiteral("Progress"));
    bar_->setMinimumWidth(200);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("CommandCancel"));
    cancel_->setAccessibleName(QStringLiteral("Cancel"));
    cancel_->setToolTip(QStringLiteral("Stop the command at the next picture or row (Esc)"));
    cancel_->setFocusPolicy(Qt::TabFocus);
    layout->addWidget(phase_);
    layout->addWidget(bar_, 1);
    layout->addWidget(cancel_);
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), shortcutWindow);
    escape_->setContext(Qt::ApplicationShortcut);
    escape_->setEnabled(false);
    connect(cancel_, &QPushButton::clicked, this, &RunProgress::requestStop);
    connect(escape_, &QShortcut::activated, this, &RunProgress::requestStop);
    setVisible(false);
}

void RunProgress::start() {
    running_ = true;
    stopAsked_ = false;
    saving_ = false;
    phase_->clear();
    bar_->setRange(0, 0);
    cancel_->setEnabled(true);
    escape_->setEnabled(true);
    started_.start();
    if (showDelay_ <= 0) setVisible(true);
}

void RunProgress::finish() {
    running_ = false;
    escape_->setEnabled(false);
    if (!isHidden()) setVisible(false);
}

void RunProgress::showProgress(RunPhase phase, int done, int total) {
    if (!running_) return;
    // Saving follows the file dialog: the wait before the strip shows counts from there.
    if (phase == RunPhase::Saving && !saving_) {
        saving_ = true;
        if (isHidden()) started_.start();
    }
    if (isHidden()) {
        if (started_.elapsed() < showDelay_) return;
        setVisible(true);
    }
    QString text = phaseText(phase);
    if (phase == RunPhase::Reading && done > 0) text += QStringLiteral(" picture %1").arg(done);
    if (phase == RunPhase::Saving && total > 0) text += QStringLiteral(" %1%").arg(int(std::int64_t(done) * 100 / total));
    if (stopAsked_) text = QStringLiteral("Stopping...");
    if (phase_->text() != text) {
        phase_->setText(text);
        bar_->setAccessibleDescription(text);
    }
    // An unknown total shows a moving bar.
    if (total > 0) {
        bar_->setRange(0, total);
        bar_->setValue(std::min(done, total));
    } else {
        bar_->setRange(0, 0);
    }
}

void RunProgress::pause() {
    if (!running_) return;
    started_.start();
    if (!isHidden()) setVisible(false);
}

PromptAnswer StripPausingPrompter::show(const Prompt& prompt) {
    if (strip_) strip_->pause();
    return inner_.show(prompt);
}

void RunProgress::requestStop() {
    if (!running_) return;
    stopAsked_ = true;
    cancel_->setEnabled(false);
    phase_->setText(QStringLiteral("Stopping..."));
}

} // namespace orv
