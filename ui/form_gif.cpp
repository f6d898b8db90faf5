// FormGIF and its progress bar.
#include "ui/form_gif.h"

#include "output/bgr_image.h"
#include "output/gif_encoder.h"
#include "ui/busy_cursor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orv {

std::string gifCreatedText(const std::string& fileName) {
    return "256 color (half color palette)  '" + fileName + "'  GIF file created.";
}

GifProgressBox::GifProgressBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Picture2"));
    setMinimumHeight(18);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GifProgressBox::setPercent(int percent) {
    percent_ = std::clamp(percent, 0, 100);
    repaint();
}

int GifProgressBox::filledWidth() const { return int(std::nearbyint(percent_ * double(width()) / 100.0)); }

void GifProgressBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    // Blue: the platform colour &HFF0000 keeps red in its low byte.
    p.fillRect(QRect(0, 0, filledWidth(), height()), QColor(0, 0, 255));
}

FormGIF::FormGIF(QImage picture, std::string fileName, Prompter& prompter, QWidget* owner)
    : QDialog(owner), picture_(std::move(picture)), fileName_(std::move(fileName)), prompter_(prompter) {
    setObjectName(QStringLiteral("FormGIF"));
    setWindowTitle(QStringLiteral("Saving a GIF file"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QString::fromStdString(fileName_), this);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    check1_ = new QCheckBox(QStringLiteral("Save transparent"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    layout->addWidget(check1_);
    picture2_ = new GifProgressBox(this);
    picture2_->setAccessibleName(QStringLiteral("Progress"));
    layout->addWidget(picture2_);
    command1_ = new QPushButton(QStringLiteral("Save"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setVisible(false); // the window saves by itself once it is shown
    layout->addWidget(command1_);
    connect(command1_, &QPushButton::clicked, this, &FormGIF::Command1_Click);
}

void FormGIF::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (started_) return;
    started_ = true;
    // After the window has been drawn, inside the modal loop.
    QTimer::singleShot(0, this, &FormGIF::saveReportAndClose);
}

void FormGIF::saveReportAndClose() {
    {
        BusyCursor busy;
        Command1_Click();
    }
    if (written_) prompter_.ask(PromptIcon::Information, gifCreatedText(fileName_), kGifCreatedTitle);
    accept();
}

void FormGIF::Command1_Click() {
    if (saving_) return;
    saving_ = true;
    stopAsked_ = false;
    written_ = false;
    error_.reset();
    try {
        GIF cGif;
        cGif.Progress = [this](int percent) { cGif_Progress(percent); };
        const GifImage rows(picture_);
        const bool transparent = check1_->isChecked();
        const Rgb corner = transparent ? rows.picture().reducedColourAt(0, 0) : Rgb{};
        written_ = cGif.SaveGIF(rows.picture(), fileName_, transparent, corner);
    } catch (...) {
        error_ = currentError();
    }
    saving_ = false;
}

void FormGIF::cGif_Progress(int percent) {
    picture2_->setPercent(percent);
    QCoreApplication::processEvents();
    // The encoder writes the file only when it is whole: stopped here, nothing is written.
    if (stopAsked_) throw RuntimeError(kUserInterrupt);
}

void FormGIF::closeEvent(QCloseEvent* e) {
    // The window stays while the encoder runs. The user closing it stops the saving; the program
    // closing its dialogs as it ends (a close that does not come from the window system) lets
    // the file be finished first, as every other picture being written is, and the window then
    // closes by itself.
    if (saving_) {
        if (e->spontaneous()) stopAsked_ = true;
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void FormGIF::reject() {
    if (saving_) stopAsked_ = true;
    else QDialog::reject();
}

bool saveGifWithForm(const QImage& picture, const std::string& fileName, Prompter& prompter, QWidget* owner) {
    FormGIF form(picture, fileName, prompter, owner);
    form.exec();
    if (form.error()) throw *form.error();
    return form.written();
}

} // namespace orv
