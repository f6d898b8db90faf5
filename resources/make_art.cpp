// Draws Orvanta's own artwork: the program icon, the main window's background tile and the splash
// picture. Build and run it once and commit the PNGs it writes:
//   g++ -std=c++20 -fPIC make_art.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_art
//   QT_QPA_PLATFORM=offscreen /tmp/make_art resources/
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

namespace {

// A lens seen from the front: dark glass, a coloured coating ring and a highlight.
void drawLens(QPainter& p, QPointF c, double r) {
    QRadialGradient glass(c, r, c - QPointF(r * 0.3, r * 0.3));
    glass.setColorAt(0, QColor(70, 120, 140));
    glass.setColorAt(0.6, QColor(20, 45, 60));
    glass.setColorAt(1, QColor(5, 12, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 240, 245), r * 0.12));
    p.drawEllipse(c, r * 0.94, r * 0.94);
    p.setPen(QPen(QColor(120, 200, 190, 200), r * 0.05));
    p.drawEllipse(c, r * 0.62, r * 0.62);
    p.setPen(QPen(QColor(200, 150, 230, 150), r * 0.04));
    p.drawEllipse(c, r * 0.45, r * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(c.x() - r * 0.35, c.y() - r * 0.38), r * 0.16, r * 0.1);
}

QImage icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QLinearGradient back(0, 0, 0, s);
    back.setColorAt(0, QColor(34, 92, 108));
    back.setColorAt(1, QColor(12, 36, 48));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.2, s * 0.2);
    // Three focus slices of one subject, from blurred (back) to sharp (front).
    const QColor slice[3] = {QColor(120, 170, 160, 90), QColor(170, 210, 190, 140), QColor(240, 250, 245, 230)};
    for (int i = 0; i < 3; ++i) {
        const QRectF r(s * (0.14 + 0.09 * i), s * (0.50 - 0.12 * i), s * 0.5, s * 0.26);
        p.setBrush(slice[i]);
        p.drawRoundedRect(r, s * 0.05, s * 0.05);
    }
    drawLens(p, QPointF(s * 0.66, s * 0.64), s * 0.22);
    return img;
}

QImage backgroundTile() {
    const int n = 64;
    QImage img(n, n, QImage::Format_RGB32);
    img.fill(QColor(222, 229, 232));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Faint rings placed so they continue across the tile's edges.
    p.setPen(QPen(QColor(205, 215, 220), 1.5));
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            p.drawEllipse(QPointF(16 + dx * n, 16 + dy * n), 10, 10);
            p.drawEllipse(QPointF(48 + dx * n, 48 + dy * n), 10, 10);
        }
    p.setPen(QPen(QColor(212, 221, 225), 1));
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            p.drawEllipse(QPointF(16 + dx * n, 16 + dy * n), 4, 4);
            p.drawEllipse(QPointF(48 + dx * n, 48 + dy * n), 4, 4);
        }
    return img;
}

QImage splash() {
    const int w = 480, h = 300;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, w, h);
    back.setColorAt(0, QColor(22, 62, 76));
    back.setColorAt(1, QColor(6, 20, 28));
    p.fillRect(img.rect(), back);
    // Out-of-focus highlights behind the lens.
    QRandomGenerator rng(20240611);
    for (int i = 0; i < 26; ++i) {
        const QPointF c(rng.bounded(w), rng.bounded(h));
        const double r = 6 + rng.bounded(22);
        QRadialGradient g(c, r);
        g.setColorAt(0, QColor(140, 200, 210, 40));
        g.setColorAt(0.8, QColor(140, 200, 210, 25));
        g.setColorAt(1, QColor(140, 200, 210, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }
    // Guide circle of the arc animation around the lens at (120, 150).
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    for (int ring = 1; ring <= 4; ++ring) p.drawEllipse(QPointF(120, 150), ring * 25 + 12.5, ring * 25 + 12.5);
    drawLens(p, QPointF(120, 150), 26);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawLine(QPointF(242, 200), QPointF(440, 200));
    return img;
}

bool save(const QImage& img, const QString& path, bool indexed) {
    const QImage out = indexed ? img.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither) : img;
    const bool ok = out.save(path, "PNG", 9);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/") : QStringLiteral("./");
    bool ok = save(icon(128), dir + QStringLiteral("orvanta.png"), false);
    ok = save(icon(32), dir + QStringLiteral("orvanta-32.png"), false) && ok;
    ok = save(backgroundTile(), dir + QStringLiteral("background.png"), true) && ok;
    ok = save(splash(), dir + QStringLiteral("splash.png"), true) && ok;
    return ok ? 0 : 1;
}
