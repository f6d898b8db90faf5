// Printing a picture window's picture, one to a page: at its size on screen, stretched to 0.95 of
// the page, or to half the page, top left. Qt's print dialog through the common dialog (so a PDF
// file works without a printer), the hourglass, and the source window's offset targets hidden
// while the page is drawn.
#pragma once

#include "base/prompt.h"
#include "ui/common_dialog.h"

#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QSize>

#include <functional>
#include <vector>

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace orv {

enum class PrintSize {
    Natural,   // "Print": the picture's size on screen
    FitToPage, // "Print Fit to Page": 0.95 of the page's width and height
    HalfPage,  // "Print Fit to Half Page": half the page's width and height
};

// The page's width and height in twips, whole numbers.
struct PageTwips {
    long width = 0;
    long height = 0;
};

// Where the picture goes on the page, in twips from the top-left corner. The two scaled sizes
// scale the picture by one factor until it fits (95 % of the page, centred on it; the top-left
// quarter of the page, centred in it), never stretching it. `twipsPerPixelX/Y` are the screen's,
// which give the natural size.
QRectF printedRectTwips(PrintSize size, QSize picturePixels, PageTwips page, int twipsPerPixelX, int twipsPerPixelY);

// The printer's page rectangle (the area it can print, whose corner is the origin) in twips.
PageTwips pageTwipsOf(const QPrinter& printer);

// The page size of any paint device, from its size in device units and its resolution.
PageTwips pageTwipsOf(const QPaintDevice& device);

// Hides the source window's offset targets for the length of the drawing; what it returns puts
// them back as they were.
using HideTargets = std::function<std::function<void()>()>;

// For targets that are widgets: hides them all, and the restorer shows again only those that
// were visible. Targets destroyed meanwhile are skipped.
HideTargets hideWidgetsWhilePrinting(std::vector<QPointer<QWidget>> targets);

struct PrintRequest {
    QImage picture;          // the window's picture, whole
    PrintSize size = PrintSize::FitToPage;
    int twipsPerPixelX = 15; // the screen's (layout record)
    int twipsPerPixelY = 15;
    HideTargets hideTargets; // source windows only; empty for the others
};

// Draws the page: targets hidden, the picture drawn on `device`, targets restored (also when
// drawing fails). `page` is the device's page in twips. `copies` pages alike when the device has
// pages (a PDF file, whose printer does not make copies itself). False when the device cannot be
// painted.
bool printPage(const PrintRequest& request, QPaintDevice& device, PageTwips page, int copies = 1);

enum class PrintOutcome { Printed, Cancelled, Failed };

inline constexpr const char* kPrintFailedTitle = "Orvanta";

// The print command on a given printer: the print dialog (flags 0; Cancel ends the command), then
// the page under the hourglass. A printer that cannot be started (no printer, an unwritable PDF
// file) is reported. A PDF file is drawn into a temporary file first and written into place only
// when it is whole, so a full disk is reported and an earlier file of that name stays as it was.
PrintOutcome printPicture(const PrintRequest& request, CommonDialog& dialog, Prompter& prompter, QPrinter& printer);

// The same on a new printer object for the user's current default printer, so a printer chosen
// in the Printer Wizard is the one the next print uses.
PrintOutcome printPicture(const PrintRequest& request, CommonDialog& dialog, Prompter& prompter);

// The main window's print entries: the no-montage message when the montage window is not
// visible, else printPicture.
PrintOutcome printMontage(bool montageVisible, const PrintRequest& request, CommonDialog& dialog, Prompter& prompter);

} // namespace orv
