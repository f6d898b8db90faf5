// The start-up splash window: a frameless picture with rounded corners and an animated ring of
// coloured arcs, shown modally while the main window loads; it closes itself after four seconds,
// or at the next animation step after a click or a key.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRegion>

#include <functional>
#include <random>

class QLabel;
class QTimer;

namespace orv {
class Prompter;
}

// The region of a window of the given size with corners cut as ellipses of ellipseW x ellipseH.
QRegion roundedWindowRegion(QSize size, int ellipseW, int ellipseH);

class Splash : public QDialog {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;   // milliseconds, never going backwards
    using DepthQuery = std::function<int()>; // bits per pixel of the screen

    static constexpr int kTimerInterval = 100; // ms between animation frames
    static constexpr qint64 kShowTime = 4000;  // ms the splash stays up
    static constexpr int kCornerEllipse = 100; // corner ellipse width and height
    static constexpr int kMinimumDepth = 8;

    Splash(orv::Prompter& prompter, std::function<void()> loadMainWindow, QWidget* parent = nullptr);

    // Replace the clock and the screen-depth query (tests). Set them before the splash is shown.
    void setClock(Clock clock);
    void setScreenDepthQuery(DepthQuery query);

    // One animation step: draws the next arcs and closes the splash once its time is up.
    void Timer1_Timer();

    // The activation work: the colour-depth message, then the main window is loaded. Runs once.
    void Form_Activate();

    // A key or mouse press on the picture: the splash closes at the next animation step.
    void Picture1_Press();

    QPixmap canvas() const { return canvas_; }

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void drawArt();
    void drawFrame();
    qint64 now() const;

    orv::Prompter& prompter_;
    std::function<void()> loadMainWindow_;
    Clock clock_;
    DepthQuery depthQuery_;

    QLabel* picture_ = nullptr;
    QTimer* timer_ = nullptr;
    QPixmap canvas_;

    qint64 startTime_ = 0;
    bool loaded_ = false;     // first show done: start time taken, timer running
    bool activated_ = false;  // activation work started
    bool activating_ = false; // activation work running (the splash waits for it before closing)
    double angle_ = 0;
    std::mt19937 random_;
};
