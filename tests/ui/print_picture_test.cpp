// Printing: the three sizes drawn on a recording page, the offset targets hidden only while the
// page is drawn, the print dialog's Cancel, and a real one-page PDF.
#include "picture_output_fixture.h"

#include "ui/print_picture.h"

#include <QFile>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPrinter>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace orv;
using namespace orv::testing;

namespace {

// A page that records where pictures are drawn, in its own units (dpi units per inch).
class RecordingPage : public QPaintDevice {
public:
    RecordingPage(int width, int height, int dpi) : width_(width), height_(height), dpi_(dpi) {}

    struct Engine : QPaintEngine {
        RecordingPage* page = nullptr;
        bool refuse = false;
        Engine() : QPaintEngine(QPaintEngine::AllFeatures) {}
        bool begin(QPaintDevice*) override { return !refuse; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF& r, const QPixmap&, const QRectF&) override { page->drawn.push_back(r); }
        void drawImage(const QRectF& r, const QImage& image, const QRectF&, Qt::ImageConversionFlags) override {
            page->drawn.push_back(r);
            page->sizes.push_back(image.size());
            if (page->onDraw) page->onDraw();
        }
        Type type() const override { return QPaintEngine::User; }
    };

    QPaintEngine* paintEngine() const override {
        engine_.page = const_cast<RecordingPage*>(this);
        return &engine_;
    }
    void refuseToPaint() { engine_.refuse = true; }

    std::vector<QRectF> drawn;
    std::vector<QSize> sizes;
    std::function<void()> onDraw;

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth: return width_;
        case PdmHeight: return height_;
        case PdmWidthMM: return int(width_ * 25.4 / dpi_);
        case PdmHeightMM: return int(height_ * 25.4 / dpi_);
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return dpi_;
        case PdmNumColors: return 1 << 24;
        case PdmDepth: return 24;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    int width_, height_, dpi_;
    mutable Engine engine_;
};

struct SizeCase {
    const char* label;
    PrintSize size;
    int dpi;        // of the page
    QRectF drawn;   // in the page's units
};

class PrintSizes : public ::testing::TestWithParam<SizeCase> {};

// A letter page, 12 240 x 15 840 twips, at the page's resolution.
TEST_P(PrintSizes, OfAThousandByFiveHundredPictureOnALetterPage) {
    const SizeCase& c = GetParam();
    RecordingPage page(8 * c.dpi + c.dpi / 2, 11 * c.dpi, c.dpi);
    const PageTwips twips = pageTwipsOf(page);
    EXPECT_EQ(twips.width, 12240);
    EXPECT_EQ(twips.height, 15840);
    const QImage picture(1000, 500, QImage::Format_RGB888);
    ASSERT_TRUE(printPage(PrintRequest{picture, c.size, 15, 15, {}}, page, twips));
    ASSERT_EQ(page.drawn.size(), 1u);
    EXPECT_DOUBLE_EQ(page.drawn[0].x(), c.drawn.x());
    EXPECT_DOUBLE_EQ(page.drawn[0].y(), c.drawn.y());
    EXPECT_NEAR(page.drawn[0].width(), c.drawn.width(), 1e-6);
    EXPECT_NEAR(page.drawn[0].height(), c.drawn.height(), 1e-6);
    EXPECT_EQ(page.sizes[0], QSize(1000, 500)); // the whole picture
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrintSizes,
    ::testing::Values(SizeCase{"fit_to_page_in_twips", PrintSize::FitToPage, 1440, QRectF(306, 5013, 11628, 5814)},
                      SizeCase{"half_page_in_twips", PrintSize::HalfPage, 1440, QRectF(0, 2430, 6120, 3060)},
                      SizeCase{"natural_at_15_twips_per_pixel", PrintSize::Natural, 1440, QRectF(0, 0, 15000, 7500)},
                      SizeCase{"natural_at_600_dpi", PrintSize::Natural, 600, QRectF(0, 0, 6250, 3125)}),
    [](const auto& info) { return std::string(info.param.label); });

struct ShapeCase {
    const char* label;
    PrintSize size;
    QSize picture;
    PageTwips page;
};

class PrintShapes : public ::testing::TestWithParam<ShapeCase> {};

// The scaled sizes keep the picture's proportions, touch the box on one side and stay inside it,
// centred.
TEST_P(PrintShapes, KeepProportionsAndStayCentredInTheirBox) {
    const ShapeCase& c = GetParam();
    const QRectF r = printedRectTwips(c.size, c.picture, c.page, 15, 15);
    const double W = double(c.page.width), H = double(c.page.height);
    const QRectF box = c.size == PrintSize::FitToPage ? QRectF(0.025 * W, 0.025 * H, 0.95 * W, 0.95 * H)
                                                      : QRectF(0, 0, W / 2, H / 2);
    EXPECT_NEAR(r.width() / r.height(), double(c.picture.width()) / c.picture.height(), 1e-9);
    EXPECT_TRUE(std::abs(r.width() - box.width()) < 1e-6 || std::abs(r.height() - box.height()) < 1e-6);
    EXPECT_LE(r.width(), box.width() + 1e-6);
    EXPECT_LE(r.height(), box.height() + 1e-6);
    EXPECT_NEAR(r.center().x(), box.center().x(), 1e-6);
    EXPECT_NEAR(r.center().y(), box.center().y(), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrintShapes,
    ::testing::Values(ShapeCase{"landscape_4_3_on_portrait_page", PrintSize::FitToPage, QSize(4000, 3000), PageTwips{12240, 15840}},
                      ShapeCase{"portrait_on_landscape_page", PrintSize::FitToPage, QSize(300, 900), PageTwips{15840, 12240}},
                      ShapeCase{"tiny_square_grows", PrintSize::FitToPage, QSize(3, 3), PageTwips{12240, 15840}},
                      ShapeCase{"half_page_landscape", PrintSize::HalfPage, QSize(4000, 3000), PageTwips{12240, 15840}},
                      ShapeCase{"half_page_tall", PrintSize::HalfPage, QSize(100, 1000), PageTwips{12240, 15840}}),
    [](const auto& info) { return std::string(info.param.label); });

struct TargetCase {
    const char* label;
    bool first, second; // visible before printing
};

class PrintTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(PrintTargets, AreHiddenWhileDrawingAndComeBackOnlyIfTheyWereVisible) {
    const TargetCase& c = GetParam();
    QWidget window;
    auto* a = new QWidget(&window);
    auto* b = new QWidget(&window);
    a->setVisible(c.first);
    b->setVisible(c.second);
    window.show();
    RecordingPage page(1440, 1440, 1440);
    std::vector<bool> duringDraw;
    page.onDraw = [&] { duringDraw = {!a->isHidden(), !b->isHidden()}; };
    const PrintRequest request{noisyPicture(4, 4), PrintSize::HalfPage, 15, 15, hideWidgetsWhilePrinting({a, b})};
    ASSERT_TRUE(printPage(request, page, pageTwipsOf(page)));
    EXPECT_EQ(duringDraw, (std::vector<bool>{false, false}));
    EXPECT_EQ(!a->isHidden(), c.first);
    EXPECT_EQ(!b->isHidden(), c.second);

    // A page that cannot be painted gives the targets back as well.
    RecordingPage broken(1440, 1440, 1440);
    broken.refuseToPaint();
    EXPECT_FALSE(printPage(request, broken, pageTwipsOf(broken)));
    EXPECT_EQ(!a->isHidden(), c.first);
    EXPECT_EQ(!b->isHidden(), c.second);
}

INSTANTIATE_TEST_SUITE_P(Table, PrintTargets,
                         ::testing::Values(TargetCase{"both_visible", true, true},
                                           TargetCase{"first_only", true, false},
                                           TargetCase{"second_only", false, true},
                                           TargetCase{"neither", false, false}),
                         [](const auto& info) { return std::string(info.param.label); });

class PrintCommand : public ::testing::Test {
protected:
    OutputFolder out;
    DialogRig rig;
    QPrinter printer{QPrinter::HighResolution};
    PrintRequest request{noisyPicture(64, 48), PrintSize::FitToPage, 15, 15, {}};

    void toPdf(const QString& path) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
    }
};

TEST_F(PrintCommand, PrintsOnePageToAPdfFile) {
    toPdf(out.path("montage.pdf"));
    rig.dialogs->choosePrinter();
    EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Printed);
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.dialogs->requests[0].kind, DialogKind::Print);
    EXPECT_EQ(rig.dialogs->requests[0].flags, 0);
    QFile pdf(out.path("montage.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(pdfPageCount(bytes), 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// The print dialog's copies: a printer makes them itself; a PDF file, whose printer does not, gets
// one page for each, the picture on every one.
TEST_F(PrintCommand, CopiesAskedForAPdfFileAreThatManyPagesAlike) {
    toPdf(out.path("copies.pdf"));
    printer.setCopyCount(3); // as the dialog leaves it
    ASSERT_FALSE(printer.supportsMultipleCopies());
    rig.dialogs->choosePrinter();
    EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Printed);
    QFile pdf(out.path("copies.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_EQ(pdfPageCount(bytes), 3);
    // The picture is held once, however many pages show it.
    EXPECT_EQ(bytes.count("/Subtype /Image"), 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST_F(PrintCommand, ThePageIsThePrintersPrintableRectangleInTwips) {
    toPdf(out.path("unused.pdf"));
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Inch);
    EXPECT_EQ(pageTwipsOf(printer).width, 12240);
    EXPECT_EQ(pageTwipsOf(printer).height, 15840);
    printer.setPageMargins(QMarginsF(0.5, 0.25, 0.5, 0.75), QPageLayout::Inch);
    EXPECT_EQ(pageTwipsOf(printer).width, 10800);
    EXPECT_EQ(pageTwipsOf(printer).height, 14400);
}

TEST_F(PrintCommand, CancelInThePrintDialogPrintsNothing) {
    toPdf(out.path("montage.pdf"));
    rig.dialogs->cancel();
    bool hidden = false;
    request.hideTargets = [&] {
        hidden = true;
        return std::function<void()>([] {});
    };
    EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Cancelled);
    EXPECT_FALSE(hidden);
    EXPECT_FALSE(QFile::exists(out.path("montage.pdf")));
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST_F(PrintCommand, APrinterThatCannotStartIsReported) {
    toPdf(out.path("no/such/folder/montage.pdf"));
    rig.dialogs->choosePrinter();
    EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Failed);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Critical);
    EXPECT_NE(rig.prompter.shown[0].text.find(out.str("no/such/folder/montage.pdf")), std::string::npos);
}

// Files of the process may not grow past `bytes` while this lives (writes beyond fail, as on a
// full disk).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Qt's PDF engine reports success whatever happens to its file: the command must find out.
TEST_F(PrintCommand, APdfFileThatCannotBeWrittenWholeIsReportedAndAnOldFileKept) {
    request.picture = noisyPicture(200, 150);
    const QString target = out.path("montage.pdf");
    {
        // The file's disk is full.
        toPdf(QStringLiteral("/dev/full"));
        rig.dialogs->choosePrinter();
        EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Failed);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Critical);
        EXPECT_NE(rig.prompter.shown[0].text.find("/dev/full"), std::string::npos) << rig.prompter.shown[0].text;
        EXPECT_NE(rig.prompter.shown[0].text.find("Disk full"), std::string::npos) << rig.prompter.shown[0].text;
    }
    {
        // The page cannot be written whole: the earlier print of that name stays as it was.
        rig.prompter.shown.clear();
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("%PDF-1.4 the earlier print");
        old.close();
        toPdf(target);
        rig.dialogs->choosePrinter();
        PrintOutcome outcome;
        {
            FileSizeLimit limit(16 * 1024);
            outcome = printPicture(request, *rig.dialog, rig.prompter, printer);
        }
        EXPECT_EQ(outcome, PrintOutcome::Failed);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_NE(rig.prompter.shown[0].text.find(out.str("montage.pdf")), std::string::npos);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("%PDF-1.4 the earlier print"));
        old.close();
        EXPECT_EQ(out.files(), QStringList{QStringLiteral("montage.pdf")});
        EXPECT_TRUE(out.temporaryFiles().isEmpty());
    }
    {
        // Room again: the page replaces the earlier print, whole, on the page the dialog set. (A
        // new printer object, as every print command makes: Qt's writes nothing at all with
        // one whose file has failed once.)
        rig.prompter.shown.clear();
        QPrinter again(QPrinter::HighResolution);
        again.setOutputFormat(QPrinter::PdfFormat);
        again.setOutputFileName(target);
        again.setPageSize(QPageSize(QPageSize::A5));
        rig.dialogs->choosePrinter();
        EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, again), PrintOutcome::Printed);
        EXPECT_TRUE(rig.prompter.shown.empty());
        QFile pdf(target);
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        EXPECT_TRUE(bytes.startsWith("%PDF"));
        EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
        EXPECT_EQ(pdfPageCount(bytes), 1);
        EXPECT_EQ(again.outputFileName(), target);
        EXPECT_EQ(again.pageLayout().pageSize().id(), QPageSize::A5);
        EXPECT_EQ(out.files(), QStringList{QStringLiteral("montage.pdf")});
        EXPECT_TRUE(out.temporaryFiles().isEmpty());
    }
}

} // namespace
