// The help viewer and the desktop hand-off of web addresses. The contents list is read from the
// help's own contents page, so the list and the page never disagree.
#include "ui/help_window.h"

#include "base/prompt.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

#ifndef ORVANTA_PRODUCT_PAGE
#define ORVANTA_PRODUCT_PAGE "https://www.brindlemoor.com/orvanta/"
#endif

namespace {

QString& programFolderSetting() {
    static QString folder;
    return folder;
}

QPointer<HelpWindow>& theHelpWindow() {
    static QPointer<HelpWindow> window;
    return window;
}

ShellOpener& shellOpener() {
    static ShellOpener opener;
    return opener;
}

QString htmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

} // namespace

HelpWindow::HelpWindow(const QString& helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(helpFolder) {
    if (!folder_.endsWith(QLatin1Char('/'))) folder_ += QLatin1Char('/');
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Orvanta Help"));

    back_ = new QToolButton(this);
    back_->setObjectName(QStringLiteral("helpBack"));
    back_->setText(QStringLiteral("Back"));
    back_->setShortcut(QKeySequence::Back);
    forward_ = new QToolButton(this);
    forward_->setObjectName(QStringLiteral("helpForward"));
    forward_->setText(QStringLiteral("Forward"));
    forward_->setShortcut(QKeySequence::Forward);
    auto* home = new QToolButton(this);
    home->setObjectName(QStringLiteral("helpContents"));
    home->setText(QStringLiteral("Contents"));

    contents_ = new QTreeWidget(this);
    contents_->setObjectName(QStringLiteral("helpContentsList"));
    contents_->setHeaderHidden(true);
    contents_->setRootIsDecorated(true);
    contents_->setAccessibleName(QStringLiteral("Help contents"));
    // A title longer than the list is wide scrolls sideways instead of being cut short.
    contents_->header()->setStretchLastSection(false);
    contents_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenLinks(false);
    browser_->setSearchPaths({folder_});
    browser_->setAccessibleName(QStringLiteral("Help page"));

    splitter_ = new QSplitter(this);
    splitter_->addWidget(contents_);
    splitter_->addWidget(browser_);
    splitter_->setStretchFactor(1, 1);

    auto* bar = new QHBoxLayout;
    bar->addWidget(back_);
    bar->addWidget(forward_);
    bar->addWidget(home);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(splitter_, 1);
    fitToScreen();

    // Esc closes the help, as it closes any viewer: there is nothing in it to lose.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("helpClose"));
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QToolButton::clicked, this, [this] { showPage({}); });
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        current_ = QFileInfo(url.toLocalFile()).fileName();
        selectInContents(current_);
        updateButtons();
    });
    connect(browser_, &QTextBrowser::historyChanged, this, &HelpWindow::updateButtons);
    connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (syncing_ || !item) return;
        const QString href = item->data(0, Qt::UserRole).toString();
        if (!href.isEmpty()) showPage(href);
    });

    buildContents();
    fitContentsPane();
    updateButtons();
}

void HelpWindow::fitToScreen() {
    // 900 x 640 where the screen has room; on a smaller screen (800 x 600) the window, with its
    // frame, stays within it.
    const QScreen* s = parentWidget() && parentWidget()->screen() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QSize room = s ? s->availableGeometry().size() : QSize(1024, 768);
    resize(std::min(900, std::max(320, room.width() - 16)), std::min(640, std::max(240, room.height() - 48)));
}

void HelpWindow::fitContentsPane() {
    // The list as wide as its longest title, so every title reads whole, but never more than
    // nine twentieths of the window: the page keeps the most room; a longer title scrolls.
    contents_->header()->resizeSections(QHeaderView::ResizeToContents);
    const int titles = contents_->header()->sectionSize(0) + 2 * contents_->frameWidth() +
                       contents_->verticalScrollBar()->sizeHint().width() + 4;
    const int total = std::max(1, width() - 12 - splitter_->handleWidth());
    const int left = std::clamp(titles, std::min(290, total * 9 / 20), total * 9 / 20);
    splitter_->setSizes({left, total - left});
}

void HelpWindow::buildContents() {
    contents_->clear();
    auto* top = new QTreeWidgetItem(contents_, {QStringLiteral("Contents")});
    top->setData(0, Qt::UserRole, HelpPage::contents);

    QFile file(folder_ + HelpPage::contents);
    if (!file.open(QIODevice::ReadOnly)) return;
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(file.readAll()));

    // Each second-level heading of the contents page starts a section; each link below it is a
    // page of that section.
    QTreeWidgetItem* section = nullptr;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 2) {
            section = new QTreeWidgetItem(contents_, {block.text().trimmed()});
            section->setFlags(section->flags() & ~Qt::ItemIsSelectable);
            continue;
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isAnchor()) continue;
            const QString href = fragment.charFormat().anchorHref();
            if (href.isEmpty() || QUrl(href).scheme().size() > 1) continue;
            auto* item = section ? new QTreeWidgetItem(section, {fragment.text().trimmed()})
                                 : new QTreeWidgetItem(contents_, {fragment.text().trimmed()});
            item->setData(0, Qt::UserRole, href);
            item->setToolTip(0, item->text(0));
        }
    }
    contents_->expandAll();
}

void HelpWindow::showPage(const QString& page) {
    const QString name = page.isEmpty() ? HelpPage::contents : page;
    showUrl(QUrl::fromLocalFile(folder_).resolved(QUrl(name)));
}

QString HelpWindow::currentPage() const { return current_; }

void HelpWindow::followLink(const QUrl& link) {
    QUrl base = browser_->source();
    if (base.isEmpty()) base = QUrl::fromLocalFile(folder_);
    const QUrl target = link.isRelative() ? base.resolved(link) : link;
    if (target.isLocalFile())
        showUrl(target);
    else
        shellOpen(target);
}

void HelpWindow::showUrl(const QUrl& url) {
    if (QFileInfo(url.toLocalFile()).isFile()) {
        browser_->setSource(url);
        return;
    }
    // Keep the window usable and say plainly what is wrong.
    current_.clear();
    browser_->setHtml(QStringLiteral("<h2>Help page not found</h2><p>The help page <b>%1</b> is not in "
                                     "the folder <b>%2</b>.</p><p>Installing Orvanta again puts the "
                                     "help pages back.</p>")
                          .arg(htmlEscaped(QFileInfo(url.toLocalFile()).fileName()), htmlEscaped(folder_)));
    selectInContents({});
}

void HelpWindow::selectInContents(const QString& page) {
    syncing_ = true;
    QTreeWidgetItem* match = nullptr;
    for (QTreeWidgetItemIterator it(contents_); *it && !match; ++it) {
        const QString href = (*it)->data(0, Qt::UserRole).toString();
        if (!page.isEmpty() && QUrl(href).path() == page) match = *it;
    }
    contents_->setCurrentItem(match);
    if (!match) contents_->clearSelection();
    syncing_ = false;
}

void HelpWindow::updateButtons() {
    back_->setEnabled(browser_->isBackwardAvailable());
    forward_->setEnabled(browser_->isForwardAvailable());
}

void setHelpProgramFolder(const QString& folder) { programFolderSetting() = folder; }

QString helpFolder() {
    QString program = programFolderSetting();
    if (program.isEmpty()) program = QCoreApplication::applicationDirPath();
    if (!program.endsWith(QLatin1Char('/'))) program += QLatin1Char('/');
    const QString beside = program + QStringLiteral("help/");
    // An installed program keeps its pages with its other shared files.
    if (!QFileInfo(beside).isDir()) {
        const QString installed = QDir::cleanPath(program + QStringLiteral("../share/orvanta/help")) + QLatin1Char('/');
        if (QFileInfo(installed).isDir()) return installed;
    }
    return beside;
}

void showHelp(QWidget* owner, const QString& page) {
    QPointer<HelpWindow>& window = theHelpWindow();
    if (window && window->helpFolder() != helpFolder()) closeHelp();
    if (!window) {
        window = new HelpWindow(helpFolder(), owner);
        static const bool quitHooked = [] {
            if (QCoreApplication::instance())
                QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &closeHelp);
            return true;
        }();
        (void)quitHooked;
    }
    window->showPage(page);
    window->show();
    window->raise();
    window->activateWindow();
}

void closeHelp() {
    QPointer<HelpWindow>& window = theHelpWindow();
    if (!window) return;
    HelpWindow* w = window;
    window.clear();
    w->close();
    w->deleteLater();
}

HelpWindow* openHelpWindow() { return theHelpWindow(); }

void setShellOpener(ShellOpener opener) { shellOpener() = std::move(opener); }

bool shellOpen(const QUrl& url) {
    if (shellOpener()) return shellOpener()(url);
    return QDesktopServices::openUrl(url);
}

QUrl productPageUrl() { return QUrl(QStringLiteral(ORVANTA_PRODUCT_PAGE)); }

bool openContactPage(orv::Prompter* prompter) {
    const QUrl page = productPageUrl();
    if (shellOpen(page)) return true;
    if (prompter) {
        prompter->ask(orv::PromptIcon::Information,
                      "I could not start a web browser.   You can find Orvanta on the web at " +
                          page.toString().toStdString(),
                      "Contact Brindlemoor Software");
    }
    return false;
}
