// Test rigs for the desktop windows: a temporary folder with small numbered series, and a main
// window on its own state record with a recording prompter and a scripted common dialog.
#pragma once

#include "ui/program_state.h"
#include "base/prompt.h"
#include "ui/common_dialog.h"
#include "ui/form_montage.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

namespace orv::testing {

class SeriesFolder {
public:
    // Removed by bytes: Qt's removal cannot name entries whose names are not UTF-8.
    ~SeriesFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_.path().toStdString(), ec);
    }

    std::string folder() const { return dir_.path().toStdString() + "/"; }
    std::string path(const std::string& name) const { return folder() + name; }

    // Writes `count` pictures prefix + number (padded to `width`) + ext, starting at `first`.
    void writeSeries(const std::string& prefix, int first, int count, int width = 2,
                     const std::string& ext = ".bmp", QSize size = QSize(8, 6)) const {
        for (int n = first; n < first + count; ++n) {
            std::string digits = std::to_string(n);
            while (int(digits.size()) < width) digits.insert(0, "0");
            writePicture(prefix + digits + ext, size, n);
        }
    }

    void writePicture(const std::string& name, QSize size = QSize(8, 6), int shade = 1) const {
        QImage img(size, QImage::Format_RGB888);
        img.fill(QColor((shade * 37) % 256, (shade * 71) % 256, (shade * 13) % 256));
        const std::string full = path(name);
        const QString format = QString::fromStdString(full).section('.', -1).toUpper();
        img.save(QString::fromStdString(full), format == "JPG" ? "JPG" : format == "GIF" ? "PNG" : "BMP");
    }

    void writeText(const std::string& name, const std::string& text) const {
        QFile f(QString::fromStdString(path(name)));
        f.open(QIODevice::WriteOnly);
        f.write(text.data(), qint64(text.size()));
    }

private:
    QTemporaryDir dir_;
};

// A BMP written to `path` by its bytes (Qt's file names go through UTF-8, so a folder whose name
// is not UTF-8 is reached this way only).
inline bool writePictureByBytes(const std::string& path, const QImage& picture) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "BMP")) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(data.constData(), data.size());
    return bool(out);
}

// The picture in the file at `path`, read by its bytes.
inline QImage readPictureByBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return QImage::fromData(QByteArray::fromStdString(data));
}

struct MainWindowRig {
    SeriesFolder files;
    ProgramState state;
    RecordingPrompter prompter;
    ScriptedDialogBackend* dialogs = nullptr;
    std::unique_ptr<CommonDialog> dialog;
    std::unique_ptr<FormMontage> form;
    int quits = 0;

    MainWindowRig() {
        state.programFolder = files.folder();
        state.preferences = ProfileFile(files.path("orvanta.ini"));
        state.startupFlag = false;
        state.firstActivation = false;
        state.layout.captionHeight = 20;
        state.layout.menuBarHeight = 24;
        state.layout.sizingFrameHeight = 4;
        state.layout.dialogFrameHeight = 3;
        state.quit = [this] { ++quits; };
        auto backend = std::make_unique<ScriptedDialogBackend>();
        dialogs = backend.get();
        dialog = std::make_unique<CommonDialog>(std::move(backend));
        form = std::make_unique<FormMontage>(state, prompter, *dialog);
    }

    // Types a name into the file-name box and runs the Load command.
    LoadOutcome load(const std::string& name) {
        form->textFileName()->setText(QString::fromStdString(name));
        return form->loadCommand();
    }

    int visibleSourceWindows() const {
        int n = 0;
        for (int k = 1; k <= kMaxPictures; ++k)
            if (FormPicture* w = form->windows().existingSourceWindow(k); w && w->isVisible()) ++n;
        return n;
    }

    std::string preference(const std::string& key) const {
        return readProfileText(state.preferences, kPreferencesSection, key);
    }
};

} // namespace orv::testing
