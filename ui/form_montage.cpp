// The main window: its controls and menus, how they are wired to the commands, and what the
// session shows in them (the commands with their lock and the files it opens are in
// form_montage_commands.cpp, its own window events in form_montage_events.cpp, its keys in
// form_montage_keys.cpp).
#include "ui/form_montage.h"

#include "settings/preferences.h"
#include "ui/desktop_observer.h"
#include "ui/beep.h"
#include "ui/busy_cursor.h"
#include "ui/clipboard_editor.h"
#include "ui/main_background.h"
#include "ui/path_text.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>


namespace orv {

namespace {

// A name as a menu entry's text: a long one keeps its start and its end (where the folders begin,
// and the file) with "..." between, so the menu stays within a screen; an ampersand in it ("Bugs &
// Beetles") is shown, not taken for the mark of an access key.
QString menuText(const std::string& name) {
    const QFontMetrics metrics(QApplication::font("QMenu"));
    return metrics.elidedText(pathText(name), Qt::ElideMiddle, metrics.averageCharWidth() * kMenuNameChars)
        .replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The "Window" entries show the captions, one each, and keep the whole caption to find the window
// by; the entries left over are hidden.
template <std::size_t N> void showEntries(const std::array<QAction*, N>& entries, const std::vector<std::string>& captions) {
    for (std::size_t i = 0; i < N; ++i) {
        if (i < captions.size()) {
            entries[i]->setText(menuText(captions[i]));
            entries[i]->setData(pathText(captions[i]));
        }
        entries[i]->setVisible(i < captions.size());
    }
}

// The caption a "Window" entry stands for.
QString entryCaption(const QAction* entry) { return entry->data().toString(); }

constexpr const char* kFileNameTip =
    "Type in the path and name of the first file here, or use the Browse icon to the right";
constexpr const char* kBrowseTip =
    "Browse to find the name of the first file here, or type in the path and name to the left";
constexpr const char* kIncrementTip =
    "Enter how large a chunk you want the software to examine to determine which picture has the "
    "best focus, usually an increment of about 20 works best";
constexpr const char* kGoTip = "Press here to make a Montage with the Montage method you have chosen";

// Names shown in the boxes and menus keep their bytes (see path_text.h).
QString qs(const std::string& s) { return pathText(s); }

} // namespace

std::string initialFileName(const std::string& programFolder) { return programFolder + "sample01.bmp"; }

FormMontage::FormMontage(ProgramState& state, Prompter& prompter, CommonDialog& dialog, QWidget* parent)
    : QMainWindow(parent), state_(state), pausingPrompter_(prompter), prompter_(pausingPrompter_), dialog_(dialog) {
    setObjectName(QStringLiteral("FormMontage"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setAccessibleName(QString::fromLatin1(kMainCaption));
    buildControls();
    actions_ = buildMenuBar(menuBar());
    menuBar()->installEventFilter(this);
    // A picture or a project dropped from a file manager opens as Browse or Load a Project would.
    setAcceptDrops(true);
    windows_ = new WindowManager(this, state_.dragState, state_.layout);
    windows_->setTargetColor(state_.targetColor);
    observer_ = std::make_unique<DesktopObserver>(*this, *windows_, state_);
    session_ = std::make_unique<MontageSession>(state_, *observer_);
    const CommandContext context{state_, *session_, *windows_, prompter_, dialog_, *this, this};
    montage_ = std::make_unique<MontageCommands>(context);
    output_ = std::make_unique<OutputCommands>(context);
    projects_ = std::make_unique<ProjectCommands>(context);
    offsets_ = std::make_unique<OffsetCommands>(context, actions_);
    retouch_ = std::make_unique<RetouchCommands>(context, [this] { return running_ > 0; });
    editorWatch_ = std::make_unique<EditorHandOffWatch>([this](const std::string& file) { handedNow_.push_back(file); },
                                                        [this](const std::string& file) { editorFailed(file); });
    connectCommands();
    addKeyboardEntries();
    addZoomKeys();
    addRetouchKeys();
    addScrollKeys();
    progress_ = new RunProgress(this, statusBar());
    pausingPrompter_.setStrip(progress_);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->addWidget(progress_, 1);
    statusBar()->setSizeGripEnabled(false);
    // Designed for a 1024 x 768 screen: a strip along the top, the pictures cascade below it.
    move(0, 0);
    resize(1016, 52 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
#ifndef QT_NO_SESSIONMANAGER
    // Logging out ends the program without closing its windows first: the session manager asks
    // here, while the user can still save, keep or let go of the montage.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            if (!mayEndSession([&manager] { return manager.allowsInteraction(); })) manager.cancel();
            manager.release();
        });
#endif
}

FormMontage::~FormMontage() = default;

void FormMontage::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    image1_ = new QLabel(client);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setPixmap(backgroundTile());
    image1_->setGeometry(QRect(QPoint(0, 0), image1_->pixmap().size()));
    image1_->hide();

    textFileName_ = new QLineEdit(client);
    textFileName_->setObjectName(QStringLiteral("textFileName"));
    textFileName_->setGeometry(12, 14, 540, 26);
    textFileName_->setToolTip(QString::fromLatin1(kFileNameTip));
    textFileName_->setAccessibleName(QStringLiteral("First file name"));
    textFileName_->setText(qs(initialFileName(state_.programFolder)));

    commandBrowse_ = new QToolButton(client);
    commandBrowse_->setObjectName(QStringLiteral("CommandBrowse"));
    commandBrowse_->setGeometry(558, 12, 34, 30);
    commandBrowse_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    commandBrowse_->setIconSize(QSize(20, 20));
    commandBrowse_->setText(QStringLiteral("Browse"));
    commandBrowse_->setToolTip(QString::fromLatin1(kBrowseTip));
    commandBrowse_->setAccessibleName(QStringLiteral("Browse"));

    // Alt+N moves to the increment box (Alt+I opens the Ignore Image menu).
    auto* label1 = new QLabel(QStringLiteral("I&ncrement"), client);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(614, 14, 72, 26);
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    textIncrement_ = new QLineEdit(client);
    textIncrement_->setObjectName(QStringLiteral("TextIncrement"));
    textIncrement_->setGeometry(692, 14, 52, 26);
    textIncrement_->setToolTip(QString::fromLatin1(kIncrementTip));
    textIncrement_->setAccessibleName(QStringLiteral("Increment"));
    textIncrement_->setText(QStringLiteral("20"));
    textIncrement_->installEventFilter(this);
    textFileName_->installEventFilter(this);
    label1->setBuddy(textIncrement_);

    commandGo_ = new QPushButton(QStringLiteral("Make Montage"), client);
    commandGo_->setObjectName(QStringLiteral("CommandGo"));
    commandGo_->setGeometry(764, 10, 150, 34);
    commandGo_->setToolTip(QString::fromLatin1(kGoTip));
    commandGo_->setAccessibleName(QStringLiteral("Make Montage"));
    commandGo_->setDefault(true);
    QFont bold = commandGo_->font();
    bold.setBold(true);
    commandGo_->setFont(bold);

    setTabOrder(textFileName_, commandBrowse_);
    setTabOrder(commandBrowse_, textIncrement_);
    setTabOrder(textIncrement_, commandGo_);
}

void FormMontage::connectCommands() {
    // Every entry with a command of its own goes through one dispatcher.
    for (std::size_t c = 0; c < actions_.byCommand.size(); ++c)
        if (QAction* a = actions_.byCommand[c])
            connect(a, &QAction::triggered, this, [this, c] { runCommand(Command(c)); });
    connect(commandBrowse_, &QToolButton::clicked, this, [this] { runCommand(Command::Browse); });
    connect(commandGo_, &QPushButton::clicked, this, [this] { runCommand(Command::MakeMontage); });
    // Make Montage is the window's default button: Enter in either box presses it, as it would in
    // a dialog (a main window has no default button of its own). While a run holds it, a beep.
    for (QLineEdit* box : {textFileName_, textIncrement_})
        connect(box, &QLineEdit::returnPressed, this, [this] {
            if (commandGo_->isEnabled()) commandGo_->click();
            else beep();
        });
    for (int i = 0; i < kMethodCount; ++i)
        connect(mnusimpleCol(i), &QAction::triggered, this, [this, i] {
            // The chosen method is kept as alignment is, so both come back together at the next start.
            setMontageMethod(i);
            state_.preferences.tryWrite(kPreferencesSection, "Montage method", std::to_string(i));
        });
    for (int i = 0; i < 12; ++i) {
        connect(mnuRecentFile(i), &QAction::triggered, this, [this, i] { openRecentFile(i); });
        connect(mnuWindow(i + 1), &QAction::triggered, this,
                [this, i] { windows_->bringSourceToFront(entryCaption(mnuWindow(i + 1))); });
    }
    for (int i = 0; i < 10; ++i)
        connect(mnuWindow2(i), &QAction::triggered, this, [this, i] { windows_->bringMontageToFront(entryCaption(mnuWindow2(i))); });
    // A new file name clears the ignore ticks.
    connect(textFileName_, &QLineEdit::textChanged, this, [this] {
        for (QAction* a : actions_.ignoreImages) a->setChecked(false);
    });

    connect(windows_, &WindowManager::sourceCommand, this, &FormMontage::runSourceCommand);
    connect(windows_, &WindowManager::montageCommand, this, &FormMontage::runMontageCommand);
    // Retouching strokes are the user's own work: closing their window asks first. While another
    // command runs it cannot be saved, so the window stays until that ends.
    windows_->setMontageCloseGuard([this](FormMontagePicture* w) { return mayCloseMontageWindow(w); });
    connect(windows_, &WindowManager::windowsChanged, this, &FormMontage::refreshWindowMenus);
    connect(windows_, &WindowManager::sourceListChanged, this,
            [this] { showEntries(actions_.sourceWindows, windows_->sourceList().entries()); });
    connect(windows_, &WindowManager::focusHandOff, this, &FormMontage::takeFocusLater);
    connect(windows_, &WindowManager::targetMoved, this, [this] { offsets_->showStatus(); });
}

// --- controls ----------------------------------------------------------------------------------

QAction* FormMontage::menuAction(const QString& name) const {
    for (QAction* a : findChildren<QAction*>())
        if (a->objectName() == name) return a;
    return nullptr;
}

int FormMontage::montageMethod() const {
    for (int i = 0; i < kMethodCount; ++i)
        if (mnusimpleCol(i)->isChecked()) return i;
    return 0;
}

void FormMontage::setMontageMethod(int method) {
    if (method < 0 || method >= kMethodCount) method = 0;
    for (int i = 0; i < kMethodCount; ++i) mnusimpleCol(i)->setChecked(i == method);
}

void FormMontage::showFileName(const std::string& name) { textFileName_->setText(qs(name)); }

std::string FormMontage::shownFileName() const { return pathBytes(textFileName_->text()); }

void FormMontage::showIncrement(const std::string& text) { textIncrement_->setText(qs(text)); }

void FormMontage::showRequest(const MontageRequest& r) {
    // The file name first: a new name clears the ignore ticks, which are set after it.
    if (qs(r.firstFileName) != textFileName_->text()) textFileName_->setText(qs(r.firstFileName));
    setMontageMethod(int(r.method));
    showIncrement(r.incrementText);
    offsets_->show(r);
    for (int i = 0; i < 10; ++i) mnuignoreImage(i)->setChecked(r.ignored[std::size_t(i)]);
}

void FormMontage::showIgnoreEntries(int count) {
    for (int k = 0; k < 10; ++k) mnuignoreImage(k)->setVisible(k < count);
}

void FormMontage::showProgress(RunPhase phase, int done, int total) {
    savingNow_ = running_ > 0 && phase == RunPhase::Saving;
    progress_->showProgress(phase, done, total);
}

bool FormMontage::stopAsked() const { return progress_->stopAsked(); }

bool FormMontage::offsetsOn() const { return action(Command::UseOffsets)->isChecked(); }

void FormMontage::fillRecentFiles() {
    for (int i = 0; i < RecentFiles::kCount; ++i) {
        QAction* a = mnuRecentFile(i);
        const QString caption = menuText(state_.recent.caption(i));
        a->setText(caption);
        // An empty entry is not shown: there is nothing to open.
        a->setVisible(!caption.isEmpty());
    }
}

void FormMontage::addRecentFile(const std::string& name) {
    state_.recent.add(name, state_.preferences);
    fillRecentFiles();
}

void FormMontage::forgetRecentFile(const std::string& name) {
    state_.recent.blank(name, state_.preferences);
    fillRecentFiles();
}

void FormMontage::refreshWindowMenus() {
    showEntries(actions_.sourceWindows, windows_->sourceCaptions());
    showEntries(actions_.montageWindows, windows_->montageCaptions());
    if (retouch_) retouch_->refreshEntries();
}

void FormMontage::takeFocusLater() {
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) activateWindow();
    });
}

} // namespace orv
