// The About dialog and its System Info button.
#include "ui/form_about.h"

#include "base/prompt.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0.0.0"
#endif

namespace {

const QString kAppTitle = QStringLiteral("Orvanta");

} // namespace

QString aboutVersionText(const QString& buildVersion) {
    const QStringList parts = buildVersion.trimmed().split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int value = i < parts.size() ? parts[i].trimmed().toInt(&ok) : 0;
        numbers << QString::number(ok ? value : 0);
    }
    return QStringLiteral("Version ") + numbers.join(QLatin1Char('.'));
}

QStringList FrmAbout::systemInfoTools() {
    // Hardware and system overviews first, then the desktops' own system monitors.
    return {QStringLiteral("hardinfo2"),          QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),        QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"), QStringLiteral("xfce4-taskmanager")};
}

FrmAbout::FrmAbout(orv::Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + kAppTitle);
    setModal(true);

    finder_ = [](const QString& name) { return QStandardPaths::findExecutable(name); };
    starter_ = [](const QString& path) { return QProcess::startDetached(path, {}); };

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFixedSize(64, 64);
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setAccessibleName(QStringLiteral("%1 icon").arg(kAppTitle));
    const QPixmap icon(QStringLiteral(":/orvanta.png"));
    if (!icon.isNull())
        picIcon->setPixmap(icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    auto* lblTitle = new QLabel(kAppTitle, this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    auto* lblVersion = new QLabel(aboutVersionText(QStringLiteral(ORVANTA_VERSION)), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto* lblDescription = new QLabel(
        QStringLiteral("Brindlemoor program to combine a number of pictures and present a single in focus picture."),
        this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* lblDisclaimer = new QLabel(
        QStringLiteral(
            "Warning: this program is provided as it is, without any warranty. A montage is put "
            "together automatically from blocks of your pictures and can show seams, misaligned "
            "edges or detail that no single picture holds; check every montage before you rely on "
            "it for measurement, identification or publication. Orvanta never changes the pictures "
            "of a series, but saving a montage or a project can replace a file of the same name, "
            "so keep copies of your originals."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    QFont small = lblDisclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    lblDisclaimer->setFont(small);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    auto* cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(cmdOK, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);

    // The dialog's arrangement: the buttons beside the notice, or, where the texts scroll, in a row
    // below them.
    auto arrange = [=, this](bool scrolls) {
        auto* text = new QVBoxLayout;
        text->addWidget(lblTitle);
        text->addWidget(lblVersion);
        text->addSpacing(8);
        text->addWidget(lblDescription);
        auto* top = new QHBoxLayout;
        top->addWidget(picIcon, 0, Qt::AlignTop);
        top->addSpacing(12);
        top->addLayout(text, 1);
        auto* bottom = new QHBoxLayout;
        bottom->addWidget(lblDisclaimer, 1, Qt::AlignTop);
        auto* page = new QVBoxLayout;
        page->addLayout(top);
        page->addSpacing(6);
        page->addWidget(line);
        page->addLayout(bottom);
        auto* layout = new QVBoxLayout(this);
        if (!scrolls) {
            auto* buttons = new QVBoxLayout;
            buttons->addWidget(cmdOK);
            buttons->addWidget(cmdSysInfo);
            buttons->addStretch();
            bottom->addSpacing(12);
            bottom->addLayout(buttons);
            layout->addLayout(page);
            return layout;
        }
        auto* content = new QWidget;
        content->setLayout(page);
        auto* scroll = new QScrollArea(this);
        scroll->setObjectName(QStringLiteral("aboutScroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(content);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(cmdOK);
        buttons->addWidget(cmdSysInfo);
        layout->addWidget(scroll, 1);
        layout->addLayout(buttons);
        return layout;
    };
    // 520 x 280 with the usual font; with a larger one the dialog grows to hold the wrapped texts
    // whole instead of cutting off the description and the notice. Where that would make it
    // taller than the screen (a large font on a small screen), it grows wider instead, as far as
    // the screen allows, so the texts wrap into fewer lines and the notice ends on the screen.
    QLayout* layout = arrange(false);
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48)
                              : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    int width = std::max(520, layout->minimumSize().width());
    while (heightForWidth(width) > room.height() && width + 20 <= room.width()) width += 20;
    if (width <= room.width() && heightForWidth(width) <= room.height()) {
        setFixedSize(width, std::max(280, heightForWidth(width)));
        return;
    }
    // Even the screen's whole width leaves them too tall (a very large font, or a high screen scale
    // on a small screen): the texts scroll inside a dialog the screen's size, and the buttons stay.
    delete layout;
    arrange(true);
    setFixedSize(std::min(width, room.width()), room.height());
}

void FrmAbout::setProgramFinder(ProgramFinder finder) {
    if (finder) finder_ = std::move(finder);
}

void FrmAbout::setProgramStarter(ProgramStarter starter) {
    if (starter) starter_ = std::move(starter);
}

void FrmAbout::cmdOK_Click() { accept(); }

void FrmAbout::cmdSysInfo_Click() {
    for (const QString& tool : systemInfoTools()) {
        const QString path = finder_(tool);
        if (path.isEmpty()) continue;
        // A tool that is present but will not start counts as absent; the next one is tried.
        if (starter_(path)) return;
    }
    prompter_.ask(orv::PromptIcon::Information, "System Information Is Unavailable At This Time",
                  kAppTitle.toStdString());
}
