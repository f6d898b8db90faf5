// The help viewer: a contents list beside a browser that shows the HTML pages in the program
// folder's "help" folder; one window for the whole program, closed when the program quits. Also
// the hand-off of web addresses to the desktop's browser, which the Contact entry uses.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QSplitter;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orv {
class Prompter;
}

// Page names of the help, for windows that open the help at their own page.
namespace HelpPage {
inline const QString contents = QStringLiteral("index.html");
inline const QString introduction = QStringLiteral("introduction.html");
inline const QString focusSeries = QStringLiteral("focus_series.html");
inline const QString loadingSeries = QStringLiteral("loading_series.html");
inline const QString makingMontage = QStringLiteral("making_montage.html");
inline const QString montageMethods = QStringLiteral("montage_methods.html");
inline const QString dominantMap = QStringLiteral("dominant_map.html");
inline const QString clipboardEditorPreview = QStringLiteral("clipboard_editor_preview.html");
inline const QString messages = QStringLiteral("messages.html");
inline const QString mainWindow = QStringLiteral("main_window.html");
inline const QString pictureWindows = QStringLiteral("windows.html");
inline const QString offsets = QStringLiteral("offsets.html");
inline const QString smoothing = QStringLiteral("smoothing.html");
inline const QString comparisons = QStringLiteral("comparisons.html");
inline const QString saving = QStringLiteral("saving.html");
inline const QString printing = QStringLiteral("printing.html");
inline const QString projects = QStringLiteral("projects.html");
inline const QString preferences = QStringLiteral("preferences.html");
inline const QString commandLine = QStringLiteral("command_line.html");
} // namespace HelpPage

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // helpFolder: the folder of the pages, ending in "/".
    explicit HelpWindow(const QString& helpFolder, QWidget* parent = nullptr);

    // Shows a page of the help folder ("saving.html", "saving.html#gif"); empty: the contents.
    void showPage(const QString& page);

    // The file name of the page shown ("saving.html"), empty when the page was missing.
    QString currentPage() const;
    QString helpFolder() const { return folder_; }

    QTextBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }

private:
    void buildContents();
    void fitToScreen();
    void fitContentsPane();
    void followLink(const QUrl& link);
    void showUrl(const QUrl& url);
    void selectInContents(const QString& page);
    void updateButtons();

    QString folder_;
    QString current_;
    QTextBrowser* browser_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    bool syncing_ = false;
};

// The program folder, ending in "/", whose "help" folder holds the pages. Empty restores the
// default: the folder of the running program.
void setHelpProgramFolder(const QString& folder);
// The program folder + "help/", or, when that is missing and the program is installed,
// "../share/orvanta/help/" beside the program folder.
QString helpFolder();

// Opens the help window (one for the program, owned by owner when it is created) at a page of the
// help folder, or at the contents when page is empty, and brings it to the front.
void showHelp(QWidget* owner, const QString& page = {});

// Closes the help window if it is open. Also runs when the application quits.
void closeHelp();

// The open help window, or nullptr.
HelpWindow* openHelpWindow();

// Hands an address or file to the desktop's default application (the shell's "Open" action).
// Tests replace the opener; an empty opener restores QDesktopServices::openUrl.
using ShellOpener = std::function<bool(const QUrl&)>;
void setShellOpener(ShellOpener opener);
bool shellOpen(const QUrl& url);

// The product's web page.
QUrl productPageUrl();

// The Contact entry: opens the product's web page in the default browser. When no browser can be
// started and a prompter is given, tells the user the address instead. True when the page opened.
bool openContactPage(orv::Prompter* prompter = nullptr);
