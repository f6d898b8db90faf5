// Window metrics and the layout of windows.
#include "base/numbers.h"
#include "ui/screen_metrics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

std::int16_t metric(QStyle::PixelMetric m, int fallback) {
    const int v = QApplication::style()->pixelMetric(m);
    return std::int16_t(v > 0 ? v : fallback);
}

} // namespace

void readScreenMetrics(LayoutRecord& layout) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpiX = screen ? screen->logicalDotsPerInchX() : 96;
    const double dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    layout.twipsPerPixel = twipsPerPixelFor(dpiX);
    layout.twipsPerPixelY = twipsPerPixelFor(dpiY);
    layout.captionHeight = metric(QStyle::PM_TitleBarHeight, 22);
    layout.dialogFrameHeight = metric(QStyle::PM_DefaultFrameWidth, 3);
    layout.sizingFrameHeight = metric(QStyle::PM_MdiSubWindowFrameWidth, 4);
    QMenuBar probe;
    probe.addMenu(QStringLiteral(" File "));
    layout.menuBarHeight = std::int16_t(std::max(probe.sizeHint().height(), 1));
}

void ComputeScreenScale(LayoutRecord& layout, std::optional<ScreenSize> asked) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ScreenSize size{1024, 768};
    if (screen) size = {screen->geometry().width(), screen->geometry().height()};
    computeScreenScale(layout, size, asked);
}

void ApplyLayout(QWidget* window, const LayoutRecord& layout) {
    if (!window) return;
    QWidget* client = window;
    if (auto* main = qobject_cast<QMainWindow*>(window); main && main->centralWidget())
        client = main->centralWidget();
    // Each control gets its own font, scaled from the font it had, before the window's font
    // changes: otherwise the controls would inherit the scaled font and grow twice.
    if (!client->layout()) {
        const auto controls = client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* c : controls) {
            QFont f = c->font();
            const double remembered = QFontInfo(f).pointSizeF();
            if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * layout.scaleX);
            c->setFont(f);
            const double ratio = remembered > 0 ? QFontInfo(f).pointSizeF() / remembered : layout.scaleX;
            const QRect g = c->geometry();
            const Geometry r = scaleControlGeometry(c->objectName().toStdString(),
                                                    {double(g.x()), double(g.y()), double(g.width()), double(g.height())},
                                                    ratio, layout);
            QSize size(int(roundHalfEven(r.width)), int(roundHalfEven(r.height)));
            if (qobject_cast<QLabel*>(c)) {
                // A label that keeps its size shrinks with a layout made smaller, as its smaller
                // caption does: kept whole, it reaches into the control beside it (the right-aligned
                // "Increment" ran under its box on an 800 x 600 screen). It still shows its whole
                // caption in a larger font, as a self-sizing label would.
                if (size.width() > g.width() * layout.scaleX) size.setWidth(int(roundHalfEven(g.width() * layout.scaleX)));
                if (size.height() > g.height() * layout.scaleY) size.setHeight(int(roundHalfEven(g.height() * layout.scaleY)));
                size = size.expandedTo(c->sizeHint());
            } else if (qobject_cast<QAbstractButton*>(c)) {
                // A button keeps its whole caption in a font larger than the layout's ("Make
                // Montage" in a large desktop font lost both its ends).
                size.setWidth(std::max(size.width(), c->sizeHint().width()));
            }
            int left = int(roundHalfEven(r.left));
            // A right-aligned label that grows keeps its right edge next to its control, instead
            // of running under it.
            if (auto* label = qobject_cast<QLabel*>(c); label && (label->alignment() & Qt::AlignRight)) {
                const int keptRight = int(roundHalfEven(r.left + g.width() * layout.scaleX));
                left = std::min(left, keptRight - size.width());
            }
            c->setGeometry(left, int(roundHalfEven(r.top)), size.width(), size.height());
        }
    }
    QFont wf = window->font();
    if (wf.pointSizeF() > 0) wf.setPointSizeF(wf.pointSizeF() * layout.scaleX);
    window->setFont(wf);
    const QRect g = window->geometry();
    const Geometry r = scaleWindowGeometry({double(window->x()), double(window->y()), double(g.width()), double(g.height())},
                                           layout);
    window->move(int(roundHalfEven(r.left)), int(roundHalfEven(r.top)));
    window->resize(int(roundHalfEven(r.width)), int(roundHalfEven(r.height)));
}

void ShowTaskbar(bool) { QCoreApplication::processEvents(); }

} // namespace orv
