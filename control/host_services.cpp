// Default message box and clipboard of the control.
#include "host_services.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

namespace vantler {
namespace {

HostServices defaults() {
    HostServices s;
    s.message = [](const QString& prompt) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), prompt, QMessageBox::Ok);
        box.exec();
    };
    s.setClipboardBitmap = [](const QImage& bitmap) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || bitmap.isNull()) return false;
        QGuiApplication::clipboard()->setImage(bitmap);
        return true;
    };
    return s;
}

}  // namespace

HostServices& hostServices() {
    static HostServices services = defaults();
    return services;
}

void resetHostServices() { hostServices() = defaults(); }

}  // namespace vantler
