// The main window's progress strip: while a command runs, the status bar shows its phase (reading,
// aligning, fusing, smoothing, saving), how far it is, and a Cancel button; Esc cancels too. Cancelling
// only asks: the session stops at the next picture, block row or band of a file being saved.
#pragma once

#include "base/prompt.h"
#include "session/session_observer.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

namespace orv {

// The phase's words in the status bar ("Fusing").
QString phaseText(RunPhase phase);

class RunProgress : public QWidget {
    Q_OBJECT
public:
    // `shortcutWindow`: the window whose Esc cancels.
    explicit RunProgress(QWidget* shortcutWindow, QWidget* parent = nullptr);

    // A command starts: nothing asked yet; the strip shows once the command has run `showDelay`
    // milliseconds (a click that ends sooner never lays the main window out for it). It ends: the
    // strip hidden.
    void start();
    void setShowDelay(int milliseconds) { showDelay_ = milliseconds; }
    void finish();
    void showProgress(RunPhase phase, int done, int total);
    // A message waits for the user: the strip goes meanwhile, and comes back only when the command
    // goes on working afterwards (after the same delay as at its start).
    void pause();
    // Cancel or Esc was pressed since the command started.
    bool stopAsked() const { return stopAsked_; }
    void requestStop();

    QLabel* phaseLabel() const { return phase_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QLabel* phase_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QShortcut* escape_;
    bool running_ = false;
    bool stopAsked_ = false;
    bool saving_ = false; // the run has started saving
    int showDelay_ = 400;
    QElapsedTimer started_;
};

// Shows each message through `inner`, the strip paused while it is open: a command's last message
// (a comparison's verdict) never shows under a strip still saying "Fusing".
class StripPausingPrompter : public Prompter {
public:
    explicit StripPausingPrompter(Prompter& inner) : inner_(inner) {}
    void setStrip(RunProgress* strip) { strip_ = strip; }
    PromptAnswer show(const Prompt& prompt) override;

private:
    Prompter& inner_;
    RunProgress* strip_ = nullptr;
};

} // namespace orv
