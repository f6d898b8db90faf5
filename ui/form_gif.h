// FormGIF: the small window that writes a picture as a GIF file. Shown modally by Save As, it
// starts saving as soon as it is on screen, fills its progress bar while the encoder runs,
// reports the result and closes itself.
#pragma once

#include "base/prompt.h"
#include "base/runtime_error.h"

#include <QDialog>
#include <QImage>

#include <optional>
#include <string>

class QCheckBox;
class QPushButton;

namespace orv {

inline constexpr const char* kGifCreatedTitle = "Orvanta";
// "256 color (half color palette)  'NAME'  GIF file created."
std::string gifCreatedText(const std::string& fileName);

// The progress bar (Picture2): a blue box that grows from the left edge over the whole height.
class GifProgressBox : public QWidget {
    Q_OBJECT
public:
    explicit GifProgressBox(QWidget* parent = nullptr);
    void setPercent(int percent);
    int percent() const { return percent_; }
    // round(percent x width / 100)
    int filledWidth() const;
    QSize sizeHint() const override { return {240, 18}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int percent_ = 0;
};

class FormGIF : public QDialog {
    Q_OBJECT
public:
    // `picture` is written whole to `fileName`; `owner` is the window being saved.
    FormGIF(QImage picture, std::string fileName, Prompter& prompter, QWidget* owner);

    QCheckBox* Check1() const { return check1_; }       // "Save transparent"
    GifProgressBox* Picture2() const { return picture2_; }
    QPushButton* Command1() const { return command1_; } // the save action

    // Writes the GIF: the colour of the top-left pixel, as the file shows it, is transparent
    // when Check1 is ticked. An error is kept for error(), not thrown through the window. Esc or
    // the user closing the window meanwhile stops it at the next ten rows, writing nothing (error
    // 18); close() called by the program (as it ends on a signal) waits for the file instead.
    void Command1_Click();

    bool written() const { return written_; }
    const std::optional<RuntimeError>& error() const { return error_; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void saveReportAndClose();
    void cGif_Progress(int percent);

    QImage picture_;
    std::string fileName_;
    Prompter& prompter_;
    QCheckBox* check1_;
    GifProgressBox* picture2_;
    QPushButton* command1_;
    bool started_ = false;
    bool saving_ = false;
    bool stopAsked_ = false; // Esc or the window's close while it saves
    bool written_ = false;
    std::optional<RuntimeError> error_;
};

// Shows FormGIF modally, owned by `owner`, for one save; returns whether the file was written and
// raises the save's RuntimeError once the window has closed.
bool saveGifWithForm(const QImage& picture, const std::string& fileName, Prompter& prompter, QWidget* owner);

} // namespace orv
