// The source window.
#include "ui/form_picture.h"
#include "ui/menu_table.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace orv {

namespace {

// The picture context menu; an empty name is a separator.
constexpr MenuEntry kContextMenu[] = {
    {"mnuSaveAs", "Save As"},
    {"mnuCopy", "Copy to Clipboard"},
    {"mnuEditor", "Open in Editor"},
    {"mnuPrint100", "Print"},
    {"mnuPrint", "Print File to Page"},
    {"mnuPrintHalf", "Print Fit to Half Page"},
    {"", "-"},
    {"mnuOffsetColor", "Set Offset Target Color"},
    {"mnushowPreview", "Show Preview of this Picture"},
    {"mnuClose", "Close Window"},
};

} // namespace

FormPicture::FormPicture(int slot, QWidget* mainWindow) : QWidget(mainWindow, Qt::Window), slot_(slot) {
    setObjectName(QStringLiteral("FormPicture"));
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_ = new PictureBox;
    picture_->setObjectName(QStringLiteral("PictureFile"));
    picture_->setToolTip(QString::fromLatin1(kSourcePictureTooltip));
    picture_->setAccessibleName(QStringLiteral("Picture"));
    scroll_->setWidget(picture_);
    layout->addWidget(scroll_);

    menu_ = new QMenu(QStringLiteral("Menu"), this);
    menu_->setObjectName(QStringLiteral("mnuMenu"));
    addMenuEntries(menu_, kContextMenu);
    connect(menuAction(QStringLiteral("mnuClose")), &QAction::triggered, this, &FormPicture::mnuClose_Click);
    connect(picture_, &PictureBox::rightButtonReleased, this, [this](const QPoint& at) { menu_->popup(at); });
}

QAction* FormPicture::menuAction(const QString& name) const {
    for (QAction* a : menu_->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

void FormPicture::showPicture(QImage image, const QString& caption) {
    picture_->setPicture(std::move(image));
    setWindowTitle(caption);
}

void FormPicture::unloadPicture() {
    picture_->clearPicture();
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
}

void FormPicture::placeAt(int left, int top) {
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

void FormPicture::mnuClose_Click() { close(); }

void FormPicture::closeEvent(QCloseEvent* e) {
    const QString caption = windowTitle();
    unloadPicture();
    e->accept();
    emit closed(slot_, caption);
}

bool FormPicture::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) emit focusHandOff();
    return QWidget::event(e);
}

} // namespace orv
