// FormStatus: the offsets status window. One label in Times New Roman listing the target centre of
// every visible source window; it stands at the left edge of the screen against the main window
// and exists only while image offsets are used.
#pragma once

#include <QWidget>

#include <string>

class QLabel;

namespace orv {

class FormStatus : public QWidget {
    Q_OBJECT
public:
    explicit FormStatus(QWidget* owner);

    QLabel* LabelStatus() const { return label_; }
    std::string statusText() const { return text_; }
    // The caption of the label; the window keeps its width and takes the label's height plus
    // three dialog-frame heights.
    void setStatusText(const std::string& text, int dialogFrameHeight);
    // At the left edge of the screen, just below the main window.
    void placeAgainst(const QWidget* mainWindow);

signals:
    void focusHandOff();

protected:
    bool event(QEvent* e) override;

private:
    QLabel* label_;
    std::string text_;
};

} // namespace orv
