// The offsets status window.
#include "ui/form_status.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace orv {

namespace {

constexpr int kStatusWidth = 300; // wide enough for two entries on a line
constexpr int kMargin = 4;

} // namespace

FormStatus::FormStatus(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("FormStatus"));
    setWindowTitle(QStringLiteral("Image Offsets"));
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("LabelStatus"));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setFont(QFont(QStringLiteral("Times New Roman"), 10));
    label_->setToolTip(QStringLiteral("The centre of each picture's offset target"));
    resize(kStatusWidth, 40);
}

void FormStatus::setStatusText(const std::string& text, int dialogFrameHeight) {
    text_ = text;
    label_->setText(QString::fromStdString(text));
    const int labelWidth = width() - 2 * kMargin;
    const int labelHeight = label_->heightForWidth(labelWidth);
    label_->setGeometry(kMargin, kMargin, labelWidth, std::max(labelHeight, label_->fontMetrics().height()));
    resize(width(), label_->height() + 3 * std::max(1, dialogFrameHeight) + kMargin);
}

void FormStatus::placeAgainst(const QWidget* mainWindow) {
    const QScreen* s = mainWindow->screen() ? mainWindow->screen() : QGuiApplication::primaryScreen();
    const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    const int top = std::min(mainWindow->frameGeometry().bottom() + 1, avail.bottom() - height());
    move(avail.left(), std::max(avail.top(), top));
}

bool FormStatus::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) emit focusHandOff();
    return QWidget::event(e);
}

} // namespace orv
