// The picture window base.
#include "ui/picture_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace orv {

PictureWindow::PictureWindow(QWidget* mainWindow, const char* objectName, const char* pictureName,
                             std::span<const ActionSpec> menu)
    : QWidget(mainWindow, Qt::Window) {
    setObjectName(QString::fromLatin1(objectName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_ = new PictureBox;
    picture_->setObjectName(QString::fromLatin1(pictureName));
    scroll_->setWidget(picture_);
    layout->addWidget(scroll_);

    if (menu.empty()) return;
    menu_ = new QMenu(QStringLiteral("Menu"), this);
    menu_->setObjectName(QStringLiteral("mnuMenu"));
    actions_ = buildMenu(menu_, menu);
    for (const ActionSpec& e : menu) {
        if (e.command == Command::None) continue;
        const Command c = e.command;
        connect(actions_[c], &QAction::triggered, this, [this, c] {
            if (c == Command::PictureClose) close();
            else if (!handleOwnCommand(c)) emit commandRequested(c);
        });
    }
    connect(picture_, &PictureBox::rightButtonReleased, this, [this](const QPoint& at) { menu_->popup(at); });
}

QAction* PictureWindow::menuAction(const QString& name) const {
    if (!menu_) return nullptr;
    for (QAction* a : menu_->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

void PictureWindow::fitToPicture() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize room = (s ? s->availableGeometry().size() : QSize(1024, 768)) - QSize(16, 48);
    QSize client = picture_->size();
    if (client.width() > room.width() || client.height() > room.height()) {
        const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        client = QSize(std::min(client.width() + bar, std::max(100, room.width())),
                       std::min(client.height() + bar, std::max(100, room.height())));
    }
    resize(client);
}

void PictureWindow::placeAt(int left, int top) {
    QSize client = picture_->size();
    // A picture larger than the screen keeps its full size inside the window, which scrolls.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        const int maxW = std::max(100, avail.right() - left - 8);
        const int maxH = std::max(100, avail.bottom() - top - 40);
        if (client.width() > maxW || client.height() > maxH) {
            const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
            client = QSize(std::min(client.width() + bar, maxW), std::min(client.height() + bar, maxH));
        }
    }
    resize(client);
    move(left, top);
}

bool PictureWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) emit focusHandOff();
    return QWidget::event(e);
}

void PictureWindow::closeEvent(QCloseEvent* e) {
    e->accept();
    // Out of sight before the window lists are told, so they drop it.
    const QString caption = windowTitle();
    hide();
    emit closed(caption);
}

} // namespace orv
