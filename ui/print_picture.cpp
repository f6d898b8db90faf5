// The three print sizes, the page drawn on any paint device, and the print command.
#include "ui/print_picture.h"

#include "base/numbers.h"
#include "ui/busy_cursor.h"
#include "ui/picture_source.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QWidget>

#include <algorithm>

namespace orv {

namespace {

// Puts the targets back on every way out of the drawing.
struct TargetsHidden {
    std::function<void()> restore;
    explicit TargetsHidden(const HideTargets& hide) {
        if (hide) restore = hide();
    }
    ~TargetsHidden() {
        if (restore) restore();
    }
    TargetsHidden(const TargetsHidden&) = delete;
    TargetsHidden& operator=(const TargetsHidden&) = delete;
};

long wholeTwips(double inches) { return long(roundHalfEven(inches * 1440.0)); }

std::string printerLabel(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) return printer.outputFileName().toStdString();
    return printer.printerName().toStdString();
}

// The picture scaled by one factor so that it fits `box`, centred in it: never stretched.
QRectF fittedInto(const QRectF& box, QSize picture) {
    if (picture.width() <= 0 || picture.height() <= 0) return box;
    const double scale = std::min(box.width() / picture.width(), box.height() / picture.height());
    const double w = scale * picture.width(), h = scale * picture.height();
    return QRectF(box.x() + (box.width() - w) / 2, box.y() + (box.height() - h) / 2, w, h);
}

} // namespace

QRectF printedRectTwips(PrintSize size, QSize picturePixels, PageTwips page, int twipsPerPixelX, int twipsPerPixelY) {
    switch (size) {
    case PrintSize::Natural:
        return QRectF(0, 0, double(picturePixels.width()) * twipsPerPixelX,
                      double(picturePixels.height()) * twipsPerPixelY);
    case PrintSize::FitToPage: {
        // 95 % of the page, centred on it.
        const QRectF box(0.025 * double(page.width), 0.025 * double(page.height), 0.95 * double(page.width),
                         0.95 * double(page.height));
        return fittedInto(box, picturePixels);
    }
    case PrintSize::HalfPage:
        return fittedInto(QRectF(0, 0, double(page.width) / 2, double(page.height) / 2), picturePixels);
    }
    return {};
}

PageTwips pageTwipsOf(const QPrinter& printer) {
    const QRectF inches = printer.pageLayout().paintRect(QPageLayout::Inch);
    return PageTwips{wholeTwips(inches.width()), wholeTwips(inches.height())};
}

PageTwips pageTwipsOf(const QPaintDevice& device) {
    return PageTwips{wholeTwips(double(device.width()) / device.logicalDpiX()),
                     wholeTwips(double(device.height()) / device.logicalDpiY())};
}

HideTargets hideWidgetsWhilePrinting(std::vector<QPointer<QWidget>> targets) {
    return [targets = std::move(targets)]() -> std::function<void()> {
        std::vector<QPointer<QWidget>> wereVisible;
        for (const QPointer<QWidget>& t : targets) {
            if (!t) continue;
            if (!t->isHidden()) wereVisible.push_back(t);
            t->hide();
        }
        return [wereVisible] {
            for (const QPointer<QWidget>& t : wereVisible)
                if (t) t->show();
        };
    };
}

bool printPage(const PrintRequest& request, QPaintDevice& device, PageTwips page) {
    TargetsHidden hidden(request.hideTargets);
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRectF twips =
        printedRectTwips(request.size, request.picture.size(), page, request.twipsPerPixelX, request.twipsPerPixelY);
    const double sx = device.logicalDpiX() / 1440.0;
    const double sy = device.logicalDpiY() / 1440.0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(twips.x() * sx, twips.y() * sy, twips.width() * sx, twips.height() * sy), request.picture);
    // Ending the painter ends the document: the page goes to the printer.
    return painter.end();
}

PrintOutcome printPicture(const PrintRequest& request, CommonDialog& dialog, Prompter& prompter, QPrinter& printer) {
    dialog.Flags = 0;
    if (!dialog.ShowPrinter(printer)) return PrintOutcome::Cancelled;
    bool printed = false;
    {
        BusyCursor busy;
        printed = printPage(request, printer, pageTwipsOf(printer));
    }
    if (printed) return PrintOutcome::Printed;
    prompter.ask(PromptIcon::Critical,
                 "So very sorry, but I could not print on  '" + printerLabel(printer) +
                     "'.   Please check the printer, or choose another one in the print dialog.",
                 kPrintFailedTitle);
    return PrintOutcome::Failed;
}

PrintOutcome printPicture(const PrintRequest& request, CommonDialog& dialog, Prompter& prompter) {
    QPrinter printer(QPrinter::HighResolution);
    return printPicture(request, dialog, prompter, printer);
}

PrintOutcome printMontage(bool montageVisible, const PrintRequest& request, CommonDialog& dialog, Prompter& prompter) {
    if (!requireMontage(montageVisible, MontageCommand::Print, prompter)) return PrintOutcome::Cancelled;
    return printPicture(request, dialog, prompter);
}

} // namespace orv
