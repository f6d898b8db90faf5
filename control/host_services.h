// The two places where the control reaches the desktop: a plain OK message box and the
// clipboard. Hosts and tests may replace either, so nothing blocks or touches the real clipboard.
#pragma once

#include "vantler_global.h"

#include <QImage>
#include <QString>

#include <functional>

namespace vantler {

struct HostServices {
    // Shows a plain message with an OK button and returns when it is dismissed.
    std::function<void(const QString& prompt)> message;
    // Puts a bitmap on the clipboard; true when the clipboard took it.
    std::function<bool(const QImage& bitmap)> setClipboardBitmap;
};

// The services in use; defaults are a QMessageBox and QClipboard.
VANTLER_EXPORT HostServices& hostServices();
// Restores the defaults (after a test replaced them).
VANTLER_EXPORT void resetHostServices();

}  // namespace vantler
