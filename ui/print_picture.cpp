// The three print sizes, the page drawn on any paint device, and the print command.
#include "ui/print_picture.h"

#include "base/atomic_file.h"
#include "base/numbers.h"
#include "base/runtime_error.h"
#include "ui/busy_cursor.h"
#include "ui/path_text.h"
#include "ui/picture_source.h"

#include <QDir>
#include <QFile>
#include <QPagedPaintDevice>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryFile>
#include <QWidget>

#include <algorithm>
#include <vector>

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

// Whether a PDF file was written to its end: its last line is "%%EOF", after "startxref" and the
// offset of its cross-reference section, and that offset names a cross-reference table or stream
// object. A file cut short by a full disk fails one or the other.
bool isWholePdf(QFile& file) {
    const qint64 size = file.size();
    if (!file.seek(std::max<qint64>(0, size - 1024))) return false;
    QByteArray tail = file.readAll();
    while (tail.endsWith('\n') || tail.endsWith('\r') || tail.endsWith(' ')) tail.chop(1);
    if (!tail.endsWith("%%EOF")) return false;
    tail.chop(5);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0) return false;
    bool ok = false;
    const qint64 offset = tail.mid(at + 9).trimmed().toLongLong(&ok);
    if (!ok || offset <= 0 || offset >= size || !file.seek(offset)) return false;
    const QByteArray there = file.read(32);
    if (there.startsWith("xref")) return true;
    // "N G obj": a cross-reference stream.
    const QList<QByteArray> words = there.simplified().split(' ');
    bool number = false, generation = false;
    if (words.size() >= 3) {
        words[0].toLongLong(&number);
        words[1].toInt(&generation);
    }
    return number && generation && words[2].startsWith("obj");
}

// Copies the finished spool file into the PDF file the user chose, whole or not at all (an
// existing file stays as it was). Raises RuntimeError 61, 70 or 75.
void commitPdf(QFile& spool, const std::string& target) {
    if (!spool.seek(0)) throw RuntimeError(75);
    AtomicFile out(target);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const qint64 n = spool.read(buffer.data(), qint64(buffer.size()));
        if (n < 0) throw RuntimeError(75);
        if (n == 0) break;
        out.write(buffer.data(), std::size_t(n));
    }
    out.commit();
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

bool printPage(const PrintRequest& request, QPaintDevice& device, PageTwips page, int copies) {
    TargetsHidden hidden(request.hideTargets);
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRectF twips =
        printedRectTwips(request.size, request.picture.size(), page, request.twipsPerPixelX, request.twipsPerPixelY);
    const double sx = device.logicalDpiX() / 1440.0;
    const double sy = device.logicalDpiY() / 1440.0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF placed(twips.x() * sx, twips.y() * sy, twips.width() * sx, twips.height() * sy);
    auto* pages = dynamic_cast<QPagedPaintDevice*>(&device);
    for (int copy = 0; copy < std::max(1, copies); ++copy) {
        if (copy > 0 && !(pages && pages->newPage())) break;
        painter.drawImage(placed, request.picture);
    }
    // Ending the painter ends the document: the page goes to the printer.
    return painter.end();
}

PrintOutcome printPicture(const PrintRequest& request, CommonDialog& dialog, Prompter& prompter, QPrinter& printer) {
    dialog.Flags = 0;
    if (!dialog.ShowPrinter(printer)) return PrintOutcome::Cancelled;
    const QString pdfFile = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    // A printer makes the copies asked for in the dialog itself; a PDF file gets them as pages.
    const int copies = printer.supportsMultipleCopies() ? 1 : printer.copyCount();
    bool printed = false;
    std::string pdfFailure; // why the PDF file was not written, when the page was drawn
    {
        BusyCursor busy;
        if (pdfFile.isEmpty()) {
            printed = printPage(request, printer, pageTwipsOf(printer), copies);
        } else {
            // Qt's PDF engine does not say when its file cannot be written: a full disk ends the
            // file short (after it has emptied an existing one) and the print still succeeds. The
            // page goes to a spool file first and into the chosen file only when it is whole.
            QTemporaryFile spool(QDir::tempPath() + QStringLiteral("/orvanta-print-XXXXXX.pdf"));
            if (spool.open()) {
                printer.setOutputFileName(spool.fileName());
                printed = printPage(request, printer, pageTwipsOf(printer), copies);
                printer.setOutputFileName(pdfFile);
                if (printed) {
                    QFile written(spool.fileName());
                    if (!written.open(QIODevice::ReadOnly) || !isWholePdf(written)) {
                        pdfFailure = "the page could not be written whole in the temporary folder  '" +
                                     pathBytes(QDir::tempPath()) + "'";
                    } else {
                        try {
                            commitPdf(written, pathBytes(pdfFile));
                        } catch (...) {
                            pdfFailure = currentError().description();
                        }
                    }
                }
            } else {
                pdfFailure = "no temporary file could be made in the temporary folder  '" + pathBytes(QDir::tempPath()) + "'";
            }
        }
    }
    if (printed && pdfFailure.empty()) return PrintOutcome::Printed;
    if (!pdfFailure.empty())
        prompter.ask(PromptIcon::Critical,
                     "So very sorry, but I could not write the PDF file  '" + pathBytes(pdfFile) + "':  " + pdfFailure +
                         ".   A file of that name is as it was before.   Please make room on the disk or choose another "
                         "file in the print dialog.",
                     kPrintFailedTitle);
    else
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
