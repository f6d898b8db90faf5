// Tests of the help window with its pages, the program's own help pages, and Contact.
#include "support/scaled_font.h"
#include "ui/help_window.h"

#include "base/prompt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>

namespace {

// ---------------------------------------------------------------------------------------------
// Help window

// Restores the default help folder and shell opener and closes the help window after a test.
struct HelpGuard {
    ~HelpGuard() {
        closeHelp();
        setHelpProgramFolder({});
        setShellOpener({});
    }
};

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QStringList hrefsOf(const QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->data(0, Qt::UserRole).toString();
    return out;
}

// A small help folder of our own, so the viewer is tested apart from the real pages.
struct TinyHelp {
    QTemporaryDir dir;
    TinyHelp() {
        QDir(dir.path()).mkpath(QStringLiteral("help"));
        const QString h = dir.path() + QStringLiteral("/help/");
        writeFile(h + "index.html",
                  "<html><head><title>Contents</title></head><body><h1>Help</h1>"
                  "<h2>Starting</h2><ul><li><a href=\"one.html\">Page one</a></li>"
                  "<li><a href=\"two.html#part\">Page two, a part</a></li></ul>"
                  "<h2>More</h2><p><a href=\"three.html\">Page three</a> and "
                  "<a href=\"https://example.org/\">a web page</a></p></body></html>");
        writeFile(h + "one.html",
                  "<html><head><title>One</title></head><body><p>First page. "
                  "<a href=\"two.html\">to two</a> <a href=\"https://example.org/x\">out</a></p></body></html>");
        writeFile(h + "two.html", "<html><head><title>Two</title></head><body><p>Second page.</p>"
                                  "<h2><a name=\"part\"></a>A part</h2></body></html>");
        writeFile(h + "three.html", "<html><head><title>Three</title></head><body><p>Third.</p></body></html>");
        setHelpProgramFolder(dir.path() + QStringLiteral("/"));
    }
};

TEST(HelpWindowViewer, ListsTheContentsPageSectionsAndPages) {
    HelpGuard guard;
    TinyHelp tiny;
    showHelp(nullptr);
    HelpWindow* w = openHelpWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->currentPage(), QStringLiteral("index.html"));

    QTreeWidget* tree = w->contents();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Contents"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Starting"));
    EXPECT_EQ(hrefsOf(tree->topLevelItem(1)), (QStringList{"one.html", "two.html#part"}));
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), QStringLiteral("Page one"));
    EXPECT_EQ(tree->topLevelItem(2)->text(0), QStringLiteral("More"));
    EXPECT_EQ(hrefsOf(tree->topLevelItem(2)), QStringList{"three.html"}) << "web links are not pages";
}

// The program's own pages on the test platform's small screen (800 x 800), in the usual and in a
// large font: the window fits the screen, and every contents title can be read whole (scrolling
// the list sideways when the page leaves it too little room).
TEST(HelpWindowViewer, FitsTheScreenAndShowsEveryContentsTitleWhole) {
    HelpGuard guard;
    for (const double factor : {1.0, 1.6}) {
        const orv::testing::ScaledApplicationFont font(factor);
        HelpWindow w(helpFolder());
        w.show();
        QApplication::processEvents();
        const QRect room = w.screen()->availableGeometry();
        EXPECT_LE(w.width(), room.width()) << factor;
        EXPECT_LE(w.height(), room.height()) << factor;
        QTreeWidget* tree = w.contents();
        ASSERT_GT(tree->topLevelItemCount(), 3) << "the program's help pages are beside the tests";
        const QFontMetrics metrics(tree->font());
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            const QRect cell = tree->visualItemRect(*it);
            EXPECT_LT(metrics.horizontalAdvance((*it)->text(0)), cell.width())
                << factor << ": the title is cut short: " << (*it)->text(0).toStdString();
        }
        EXPECT_GT(w.browser()->width(), w.width() / 2) << factor << ": the page keeps the room";
    }
}

TEST(HelpWindowViewer, OpensAPageFromTheListFromALinkAndByName) {
    HelpGuard guard;
    TinyHelp tiny;
    QWidget owner;
    showHelp(&owner, QStringLiteral("one.html"));
    HelpWindow* w = openHelpWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), &owner);
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(w->currentPage(), QStringLiteral("one.html"));
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("First page.")));
    EXPECT_EQ(w->contents()->currentItem()->text(0), QStringLiteral("Page one"));

    // A click in the contents list.
    w->contents()->setCurrentItem(w->contents()->topLevelItem(2)->child(0));
    EXPECT_EQ(w->currentPage(), QStringLiteral("three.html"));

    // A link in a page.
    showHelp(&owner, QStringLiteral("one.html"));
    emit w->browser()->anchorClicked(QUrl(QStringLiteral("two.html")));
    EXPECT_EQ(w->currentPage(), QStringLiteral("two.html"));
    EXPECT_EQ(openHelpWindow(), w) << "one help window for the program";

    // Back goes to the page before.
    w->findChild<QToolButton*>(QStringLiteral("helpBack"))->click();
    EXPECT_EQ(w->currentPage(), QStringLiteral("one.html"));
}

TEST(HelpWindowViewer, WebLinksGoToTheDesktopBrowserAndThePageStays) {
    HelpGuard guard;
    TinyHelp tiny;
    QList<QUrl> opened;
    setShellOpener([&](const QUrl& u) {
        opened << u;
        return true;
    });
    showHelp(nullptr, QStringLiteral("one.html"));
    HelpWindow* w = openHelpWindow();
    emit w->browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/x")));
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/x"))});
    EXPECT_EQ(w->currentPage(), QStringLiteral("one.html"));
}

TEST(HelpWindowViewer, AMissingPageSaysSoAndCloseHelpClosesTheWindow) {
    HelpGuard guard;
    TinyHelp tiny;
    showHelp(nullptr, QStringLiteral("nowhere.html"));
    HelpWindow* w = openHelpWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->currentPage().isEmpty());
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("nowhere.html")));
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("not in the folder")));

    QPointer<HelpWindow> watch(w);
    closeHelp();
    EXPECT_EQ(openHelpWindow(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, 2000));
    closeHelp(); // closing again is harmless
}

TEST(HelpWindowViewer, AMissingHelpFolderStillOpensAWindowThatSaysSo) {
    HelpGuard guard;
    QTemporaryDir empty;
    setHelpProgramFolder(empty.path());
    EXPECT_EQ(helpFolder(), empty.path() + QStringLiteral("/help/"));
    showHelp(nullptr);
    ASSERT_NE(openHelpWindow(), nullptr);
    EXPECT_TRUE(openHelpWindow()->browser()->toPlainText().contains(QStringLiteral("index.html")));
}

// ---------------------------------------------------------------------------------------------
// The program's own help pages (copied beside the programs by the build)

QString realHelpFolder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/help/"); }

QStringList realPages() {
    return QDir(realHelpFolder()).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

struct PageLinks {
    QString title;
    QStringList hrefs;
    QSet<QString> anchorNames;
};

PageLinks readPage(const QString& path) {
    QFile f(path);
    PageLinks out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(f.readAll()));
    out.title = doc.metaInformation(QTextDocument::DocumentTitle);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat fmt = it.fragment().charFormat();
            if (fmt.isAnchor()) {
                if (!fmt.anchorHref().isEmpty()) out.hrefs << fmt.anchorHref();
                for (const QString& n : fmt.anchorNames()) out.anchorNames.insert(n);
            }
        }
    }
    return out;
}

TEST(HelpPages, AreCopiedBesideTheProgramsAndEachHasATitle) {
    const QStringList pages = realPages();
    ASSERT_GE(pages.size(), 15) << "help pages in " << realHelpFolder().toStdString();
    EXPECT_TRUE(pages.contains(QStringLiteral("index.html")));
    for (const QString& page : pages)
        EXPECT_FALSE(readPage(realHelpFolder() + page).title.trimmed().isEmpty()) << page.toStdString();
}

TEST(HelpPages, EveryLinkResolvesToAPageAndAnAnchorThatExist) {
    const QStringList pages = realPages();
    ASSERT_FALSE(pages.isEmpty());
    std::map<QString, PageLinks> read;
    for (const QString& page : pages) read[page] = readPage(realHelpFolder() + page);
    int links = 0;
    for (const auto& [page, info] : read) {
        for (const QString& href : info.hrefs) {
            const QUrl url(href);
            if (!url.scheme().isEmpty()) {
                EXPECT_TRUE(url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"))
                    << page.toStdString() << ": " << href.toStdString();
                continue;
            }
            ++links;
            const QString target = url.path().isEmpty() ? page : url.path();
            ASSERT_TRUE(read.count(target)) << page.toStdString() << " links to missing " << href.toStdString();
            if (url.hasFragment()) {
                EXPECT_TRUE(read[target].anchorNames.contains(url.fragment()))
                    << page.toStdString() << " links to missing anchor " << href.toStdString();
            }
        }
    }
    EXPECT_GT(links, 50);
}

TEST(HelpPages, TheContentsListReachesEveryPage) {
    HelpGuard guard;
    setHelpProgramFolder(QCoreApplication::applicationDirPath());
    showHelp(nullptr);
    HelpWindow* w = openHelpWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->currentPage(), QStringLiteral("index.html"));
    QSet<QString> listed;
    int sections = 0;
    for (QTreeWidgetItemIterator it(w->contents()); *it; ++it) {
        const QString href = (*it)->data(0, Qt::UserRole).toString();
        if (href.isEmpty())
            ++sections;
        else
            listed.insert(QUrl(href).path());
    }
    EXPECT_GE(sections, 3);
    for (const QString& page : realPages()) EXPECT_TRUE(listed.contains(page)) << page.toStdString();

    // Every listed entry opens its page.
    for (QTreeWidgetItemIterator it(w->contents()); *it; ++it) {
        const QString href = (*it)->data(0, Qt::UserRole).toString();
        if (href.isEmpty()) continue;
        w->contents()->setCurrentItem(*it);
        EXPECT_EQ(w->currentPage(), QUrl(href).path());
        EXPECT_FALSE(w->browser()->toPlainText().trimmed().isEmpty()) << href.toStdString();
    }
}

// ---------------------------------------------------------------------------------------------
// Contact

TEST(Contact, HandsTheProductPageToTheDesktopBrowser) {
    HelpGuard guard;
    QList<QUrl> opened;
    setShellOpener([&](const QUrl& u) {
        opened << u;
        return true;
    });
    orv::RecordingPrompter prompter;
    EXPECT_TRUE(openContactPage(&prompter));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], productPageUrl());
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("https"));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(Contact, WithoutABrowserTellsTheAddressInstead) {
    HelpGuard guard;
    setShellOpener([](const QUrl&) { return false; });
    orv::RecordingPrompter prompter;
    EXPECT_FALSE(openContactPage(&prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find(productPageUrl().toString().toStdString()), std::string::npos);
    EXPECT_FALSE(openContactPage(nullptr)); // no prompter: nothing shown, no crash
}

} // namespace
