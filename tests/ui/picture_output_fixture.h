// Shared by the output-command tests: a noisy test picture, a temporary folder that also serves as
// the temporary-file folder, and pixel comparisons.
#pragma once

#include "base/prompt.h"
#include "ui/common_dialog.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orv::testing {

inline QImage noisyPicture(int w, int h, unsigned seed = 3) {
    QImage img(w, h, QImage::Format_RGB888);
    std::uint32_t s = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            img.setPixel(x, y, qRgb(int(s >> 24), int((s >> 16) & 255), int((s >> 8) & 255)));
        }
    return img;
}

// True when every pixel of `b` equals `a`'s (alpha ignored).
inline ::testing::AssertionResult samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes " << a.width() << "x" << a.height() << " and " << b.width()
                                             << "x" << b.height();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
    return ::testing::AssertionSuccess();
}

// The page objects of a PDF file ("/Type /Page", not "/Type /Pages").
inline int pdfPageCount(const QByteArray& pdf) {
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1))
        if (pdf.mid(at + 11, 1) != "s") ++pages;
    return pages;
}

// A folder for the files a test writes; while it lives it is also the temporary-file folder, so
// a test sees every temporary BMP made and removed.
class OutputFolder {
public:
    OutputFolder() : oldTmp_(qgetenv("TMPDIR")), hadTmp_(qEnvironmentVariableIsSet("TMPDIR")) {
        temp_.mkpath(QStringLiteral("tmp"));
        qputenv("TMPDIR", QFile::encodeName(dir_.filePath("tmp")));
    }
    ~OutputFolder() {
        if (hadTmp_) qputenv("TMPDIR", oldTmp_);
        else qunsetenv("TMPDIR");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::string str(const QString& name) const { return path(name).toStdString(); }
    // Everything left in the temporary folder: files, and folders with what they hold.
    QStringList temporaryFiles() const {
        QStringList left;
        QDirIterator it(dir_.filePath("tmp"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) left << QDir(dir_.filePath("tmp")).relativeFilePath(it.next());
        return left;
    }
    QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files); }

private:
    QTemporaryDir dir_;
    QDir temp_{dir_.path()};
    QByteArray oldTmp_;
    bool hadTmp_;
};

struct DialogRig {
    RecordingPrompter prompter;
    ScriptedDialogBackend* dialogs = nullptr;
    std::unique_ptr<CommonDialog> dialog;
    DialogRig() {
        auto backend = std::make_unique<ScriptedDialogBackend>();
        dialogs = backend.get();
        dialog = std::make_unique<CommonDialog>(std::move(backend));
    }
};

} // namespace orv::testing
