// The source window.
#include "ui/form_picture.h"

#include <QCloseEvent>

namespace orv {

FormPicture::FormPicture(int slot, QWidget* mainWindow)
    : PictureWindow(mainWindow, "FormPicture", "PictureFile", sourceWindowMenu()), slot_(slot) {
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
    setAttribute(Qt::WA_DeleteOnClose, false);
    picture()->setToolTip(QString::fromLatin1(kSourcePictureTooltip));
    picture()->setAccessibleName(QStringLiteral("Picture"));
}

void FormPicture::showPicture(QImage image, const QString& caption) {
    picture()->setPicture(std::move(image));
    setWindowTitle(caption);
}

void FormPicture::unloadPicture() {
    picture()->clearPicture();
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
}

void FormPicture::closeEvent(QCloseEvent* e) {
    PictureWindow::closeEvent(e);
    unloadPicture();
}

} // namespace orv
