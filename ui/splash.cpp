// The start-up splash window: rounded frameless art, an arc animation every 100 ms, the screen
// colour-depth warning, and the hand-off that loads the main window while the splash is up.
#include "ui/splash.h"

#include "base/prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <memory>

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0.0.0"
#endif

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 300;
// The emblem the arcs run around: the lens on the left of the art.
constexpr QPointF kEmblemCentre(120, 150);
constexpr int kRings = 4;
constexpr double kAngleStart = -0.2;
constexpr double kAngleEnd = 2 * 3.141 - 0.2;
constexpr double kAngleStep = 0.1;

} // namespace

QRegion roundedWindowRegion(QSize size, int ellipseW, int ellipseH) {
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0) return {};
    const int ew = std::min(ellipseW, w);
    const int eh = std::min(ellipseH, h);
    QRegion region(0, eh / 2, w, h - eh / 2 * 2);
    region += QRegion(ew / 2, 0, w - ew / 2 * 2, h);
    region += QRegion(0, 0, ew, eh, QRegion::Ellipse);
    region += QRegion(w - ew, 0, ew, eh, QRegion::Ellipse);
    region += QRegion(0, h - eh, ew, eh, QRegion::Ellipse);
    region += QRegion(w - ew, h - eh, ew, eh, QRegion::Ellipse);
    return region;
}

Splash::Splash(orv::Prompter& prompter, std::function<void()> loadMainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      prompter_(prompter),
      loadMainWindow_(std::move(loadMainWindow)),
      random_(std::random_device{}()) {
    setObjectName(QStringLiteral("Splash"));
    setModal(true);
    setFixedSize(kWidth, kHeight);

    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    clock_ = [elapsed] { return elapsed->elapsed(); };
    depthQuery_ = [this] {
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        return s ? s->depth() : 24;
    };

    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setGeometry(0, 0, kWidth, kHeight);
    picture_->setFocusPolicy(Qt::StrongFocus);
    picture_->installEventFilter(this);
    picture_->setFocus();

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(kTimerInterval);
    connect(timer_, &QTimer::timeout, this, &Splash::Timer1_Timer);

    setMask(roundedWindowRegion(size(), kCornerEllipse, kCornerEllipse));
    drawArt();
    angle_ = kAngleStart;
}

void Splash::setClock(Clock clock) {
    if (clock) clock_ = std::move(clock);
}

void Splash::setScreenDepthQuery(DepthQuery query) {
    if (query) depthQuery_ = std::move(query);
}

qint64 Splash::now() const { return clock_(); }

void Splash::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!loaded_) {
        loaded_ = true;
        if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
        startTime_ = now();
        timer_->start();
        // A window manager may never activate a frameless window; the activation work must run
        // regardless, so it is also queued here (it runs only once).
        QTimer::singleShot(0, this, &Splash::Form_Activate);
    }
}

bool Splash::event(QEvent* e) {
    // The activation work may show a modal message box, so it runs after this event, not inside it.
    if (e->type() == QEvent::WindowActivate && loaded_ && !activated_)
        QTimer::singleShot(0, this, &Splash::Form_Activate);
    return QDialog::event(e);
}

void Splash::hideEvent(QHideEvent* e) {
    timer_->stop();
    QDialog::hideEvent(e);
}

void Splash::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    activating_ = true;
    QCoreApplication::processEvents();
    if (depthQuery_() < kMinimumDepth) {
        prompter_.ask(orv::PromptIcon::Information,
                      "This software works best with 256 colours or more in your screen colour palette.",
                      "but you can still use it with 16 colours");
    }
    QCoreApplication::processEvents();
    if (loadMainWindow_) loadMainWindow_();
    QCoreApplication::processEvents();
    activating_ = false;
}

void Splash::Picture1_Press() { startTime_ = now() - 5000; }

void Splash::keyPressEvent(QKeyEvent* e) {
    // Every key, Escape included, ends the splash at the next step rather than at once.
    Picture1_Press();
    e->accept();
}

void Splash::mousePressEvent(QMouseEvent* e) {
    Picture1_Press();
    e->accept();
}

bool Splash::eventFilter(QObject* watched, QEvent* e) {
    if (watched == picture_ && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::KeyPress)) {
        Picture1_Press();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void Splash::Timer1_Timer() {
    drawFrame();
    // Closing waits for the activation work, so the main window is always loaded when the
    // splash's caller goes on.
    if (!activating_ && now() - startTime_ > kShowTime) {
        timer_->stop();
        accept();
    }
}

void Splash::drawArt() {
    canvas_ = QPixmap(kWidth, kHeight);
    QPainter p(&canvas_);
    p.setRenderHint(QPainter::Antialiasing);
    const QPixmap art(QStringLiteral(":/splash.png"));
    if (!art.isNull()) {
        p.drawPixmap(canvas_.rect(), art);
    } else {
        QLinearGradient g(0, 0, 0, kHeight);
        g.setColorAt(0, QColor(18, 52, 64));
        g.setColorAt(1, QColor(6, 18, 26));
        p.fillRect(canvas_.rect(), g);
        p.setPen(QPen(QColor(220, 235, 240), 3));
        p.drawEllipse(kEmblemCentre, 22.0, 22.0);
    }
    // Text to the right of the lens, each line shrunk until it fits the space.
    const QRect textArea(246, 60, kWidth - 246 - 16, 190);
    auto drawFitted = [&](const QString& text, int pixelSize, bool bold, int top, int height, QColor colour) {
        QFont font(QStringLiteral("Trebuchet MS"));
        font.setBold(bold);
        font.setPixelSize(pixelSize);
        while (pixelSize > 8 && QFontMetrics(font).horizontalAdvance(text) > textArea.width())
            font.setPixelSize(--pixelSize);
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QRect(textArea.left(), top, textArea.width(), height), Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    drawFitted(QStringLiteral("Orvanta"), 54, true, 70, 70, QColor(240, 246, 248));
    drawFitted(QStringLiteral("from Brindlemoor Software"), 15, false, 140, 24, QColor(180, 210, 220));
    drawFitted(QStringLiteral("Every depth in focus"), 15, false, 166, 24, QColor(180, 210, 220));
    drawFitted(QStringLiteral("Version ") + QStringLiteral(ORVANTA_VERSION), 12, false, 236, 20,
               QColor(180, 210, 220));
    p.end();
    picture_->setPixmap(canvas_);
}

void Splash::drawFrame() {
    QPainter p(&canvas_);
    p.setRenderHint(QPainter::Antialiasing);
    std::uniform_int_distribution<int> red(0, 255);
    std::uniform_int_distribution<int> greenBlue(0, 200);
    const double spacing = kHeight / 12.0;
    const int startSixteenths = static_cast<int>(angle_ * 180.0 / 3.141 * 16.0);
    const int spanSixteenths = static_cast<int>(kAngleStep * 180.0 / 3.141 * 16.0) + 8;
    for (int ring = 1; ring <= kRings; ++ring) {
        const QColor colour(red(random_), greenBlue(random_), greenBlue(random_));
        p.setPen(QPen(colour, spacing / 3.0, Qt::SolidLine, Qt::FlatCap));
        const double r = ring * spacing + spacing / 2.0;
        p.drawArc(QRectF(kEmblemCentre.x() - r, kEmblemCentre.y() - r, 2 * r, 2 * r), startSixteenths,
                  spanSixteenths);
    }
    p.end();
    picture_->setPixmap(canvas_);
    angle_ += kAngleStep;
    if (angle_ > kAngleEnd) angle_ = kAngleStart;
}
