// The main window: controls, menus, the request they make, the dispatch of its commands and the
// files dropped on it (its own window events are in form_montage_events.cpp, its keys in
// form_montage_keys.cpp).
#include "ui/form_montage.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "settings/preferences.h"
#include "settings/project_file.h"
#include "ui/beep.h"
#include "ui/desktop_observer.h"
#include "ui/busy_cursor.h"
#include "ui/form_about.h"
#include "ui/help_window.h"
#include "ui/main_background.h"
#include "ui/path_text.h"
#include "ui/run_progress.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSessionManager>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <filesystem>

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
    : QMainWindow(parent), state_(state), prompter_(prompter), dialog_(dialog) {
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
    connectCommands();
    addKeyboardEntries();
    addZoomKeys();
    addRetouchKeys();
    addScrollKeys();
    progress_ = new RunProgress(this, statusBar());
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
        connect(mnuRecentFile(i), &QAction::triggered, this, [this, i] { runLocked([this, i] { openRecentFile(i); }); });
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

// --- commands and the lock -------------------------------------------------------------------

class FormMontage::CommandRun {
public:
    explicit CommandRun(FormMontage& f) : f_(f) {
        // A command changes the work: an answer given when the desktop session began to end no longer holds.
        f_.sessionEndLetGo_.reset();
        if (f_.running_++ == 0) {
            // A stroke the left button is still painting ends before the command changes the
            // montage or the pictures it paints from (a shortcut or the context menu mid-drag).
            f_.retouch_->endStrokeUnderway();
            f_.lockControls(true);
            f_.progress_->start();
        }
    }
    ~CommandRun() {
        if (--f_.running_ == 0) {
            f_.progress_->finish();
            f_.lockControls(false);
            if (f_.closing_) f_.windows_->hideAll();
            f_.closing_ = false;
            f_.savingNow_ = false;
            // Closed while a file was being written: it closes now, asking what is still unsaved.
            if (f_.closeAfterRun_) {
                f_.closeAfterRun_ = false;
                QTimer::singleShot(0, &f_, [&f = f_] { f.close(); });
            }
            // However the command ended (made, stopped, refused, failed part way), the "Window"
            // menus list the windows on screen now, never those of a series that has gone.
            f_.refreshWindowMenus();
        }
    }
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

private:
    FormMontage& f_;
};

template <typename F> void FormMontage::runLocked(F&& command) {
    // A command that would start while another runs is refused: that one still works on the
    // arrays, the records and the windows.
    if (running_ > 0) {
        beep();
        return;
    }
    CommandRun run(*this);
    command();
}

bool FormMontage::mayCloseMontageWindow(FormMontagePicture* w) {
    if (letGoAtSessionEnd()) return true;
    if (running_ > 0) {
        if (output_->unkeptStrokes(w) == 0) return true;
        beep();
        return false;
    }
    CommandRun run(*this);
    return output_->mayCloseMontageWindow(w);
}

template <typename F> void FormMontage::withRequestLocked(F&& command) {
    // A request that cannot be read (a target beyond 16 bits) is the montage's error.
    runLocked([&] {
        std::optional<MontageRequest> r;
        try {
            r = readRequest();
        } catch (...) {
            prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), kLineDisplayArea, kMontageRoutine),
                          kGenericErrorTitle);
            return;
        }
        command(*r);
    });
}

void FormMontage::lockControls(bool locked) {
    // The commands that start another run are disabled, and the boxes are read-only, until the
    // command ends; everything else (the windows, the view menus) still answers.
    static constexpr Command kRunCommands[] = {Command::Browse,          Command::Load,
                                               Command::OpenProject,     Command::SaveProject,
                                               Command::MakeMontage,     Command::SaveMontageAs,
                                               Command::CompareAllMethods, Command::EvaluateIncrements,
                                               Command::EvaluateAll,     Command::Smooth,
                                               // The montage on screen is half made: what these
                                               // would hand over is not what the window shows.
                                               Command::CopyMontage,     Command::EditMontage,
                                               Command::PrintMontage,    Command::PrintMontageFit,
                                               Command::PrintMontageHalf};
    for (Command c : kRunCommands)
        if (QAction* a = action(c)) a->setEnabled(!locked);
    for (QAction* a : actions_.recentFiles) a->setEnabled(!locked);
    commandGo_->setEnabled(!locked);
    commandBrowse_->setEnabled(!locked);
    textFileName_->setReadOnly(locked);
    textIncrement_->setReadOnly(locked);
}

MontageRequest FormMontage::readRequest() const {
    MontageRequest r;
    r.firstFileName = pathBytes(textFileName_->text());
    r.incrementText = textIncrement_->text().toStdString();
    r.method = FocusMethod(montageMethod());
    for (int i = 0; i < 10; ++i) r.ignored[std::size_t(i)] = mnuignoreImage(i)->isChecked();
    r.useOffsets = action(Command::UseOffsets)->isChecked();
    if (r.useOffsets) r.targets = windows_->targetCentres();
    r.align = action(Command::AlignImages)->isChecked();
    r.colourMatch = action(Command::MatchColours)->isChecked();
    r.area = offsets_->area();
    r.smoothing = state_.smoothing;
    return r;
}

void FormMontage::runCommand(Command c) {
    auto withRequest = [this](auto&& command) { withRequestLocked(command); };
    // The commands that make new montages ask before a retouched one is thrown away, and before an
    // unsaved one of another series is (see mayReplaceMontage).
    auto replacing = [this, &withRequest](auto&& command) {
        withRequest([&](const MontageRequest& r) {
            if (!mayReplaceMontage(r)) return;
            command(r);
            retouch_->montageReplaced();
        });
    };
    switch (c) {
    case Command::Browse: runLocked([this] { browse(); }); break;
    case Command::Load:
        runLocked([this] {
            if (output_->mayDiscardMontage()) loadCommand();
        });
        break;
    case Command::MakeMontage: replacing([this](const MontageRequest& r) { montage_->make(r); }); break;
    case Command::Smooth: withRequest([this](const MontageRequest& r) { montage_->smooth(r); }); break;
    case Command::CompareAllMethods:
        replacing([this](const MontageRequest& r) {
            int checked = -1;
            for (int i = 0; i < kMethodCount && checked < 0; ++i)
                if (mnusimpleCol(i)->isChecked()) checked = i;
            montage_->compareAllMethods(r, checked);
        });
        break;
    case Command::EvaluateIncrements: replacing([this](const MontageRequest& r) { montage_->evaluateIncrements(r); }); break;
    case Command::EvaluateAll: replacing([this](const MontageRequest& r) { montage_->evaluateAll(r); }); break;
    case Command::UseOffsets: offsets_->useOffsetsClicked(); break;
    case Command::AlignImages: offsets_->alignClicked(); break;
    case Command::MatchColours: offsets_->rememberAlignment(); break;
    case Command::SaveProject: runLocked([this] { projects_->save(windows_->montageWindow(), true); }); break;
    case Command::OpenProject:
        withRequest([this](const MontageRequest& r) {
            if (!output_->mayDiscardMontage()) return;
            projects_->open(r);
            retouch_->montageReplaced();
        });
        break;
    case Command::AreaMinimum:
    case Command::AreaMaximum:
    case Command::AreaSame: offsets_->areaClicked(action(c)); break;
    case Command::Help: showHelp(this); break;
    case Command::Contact: openContactPage(&prompter_); break;
    case Command::About: {
        FrmAbout about(prompter_, this);
        about.exec();
        break;
    }
    case Command::Exit: close(); break;
    case Command::SaveMontageAs:
    case Command::CopyMontage:
    case Command::EditMontage:
    case Command::PrintMontage:
    case Command::PrintMontageFit:
    case Command::PrintMontageHalf: runLocked([this, c] { output_->runMontageFileCommand(c); }); break;
    case Command::SelectPrinter: output_->runMontageFileCommand(c); break;
    case Command::Preferences: {
        std::vector<std::string> captions;
        for (int i = 0; i < kMethodCount; ++i) captions.push_back(mnusimpleCol(i)->text().remove(QLatin1Char('&')).toStdString());
        output_->preferences(captions, [this](std::uint32_t colour) {
            state_.targetColor = colour;
            setTargetColor(colour);
        });
        break;
    }
    default: break;
    }
}

void FormMontage::runSourceCommand(Command c, FormPicture* window) {
    switch (c) {
    case Command::PicturePreview:
        runLocked([&] { montage_->previewSource(window, readRequest().ignored); });
        break;
    case Command::PictureTargetColor: offsets_->chooseTargetColor(); break;
    case Command::PicturePlaceTarget: offsets_->placeTarget(window); break;
    case Command::PictureSaveAs: runLocked([&] { output_->runPictureCommand(c, window, std::nullopt); }); break;
    default: output_->runPictureCommand(c, window, std::nullopt); break;
    }
}

void FormMontage::runMontageCommand(Command c, FormMontagePicture* window) {
    const MontageChoice which{window->comparison()};
    switch (c) {
    case Command::PictureSmooth: runLocked([&] { montage_->smooth(readRequest(), window); }); break;
    case Command::PictureProperties: montage_->properties(window); break;
    case Command::PictureSaveProject: runLocked([&] { projects_->save(window, false); }); break;
    case Command::PictureSaveDepthMap: runLocked([&] { output_->saveDepthMap(window); }); break;
    case Command::Retouch: retouch_->setMode(window, retouch_->window() != window); break;
    case Command::RetouchBrush: retouch_->chooseBrush(); break;
    case Command::UndoRetouch: runLocked([&] { retouch_->undo(window); }); break;
    case Command::RedoRetouch: runLocked([&] { retouch_->redo(window); }); break;
    case Command::ClearRetouch: runLocked([&] { retouch_->clear(window); }); break;
    case Command::PicturePreview: runLocked([&] { montage_->previewMontage(window, readRequest().ignored); }); break;
    // Saving, copying, printing or editing a montage waits for a run that is making one.
    default: runLocked([&] { output_->runPictureCommand(c, window, which); }); break;
    }
}

bool FormMontage::mayReplaceMontage(const MontageRequest& r) {
    // A montage of another series is asked about as Load and Open ask: it cannot be made again
    // from what is on screen. Nor can one whose series was re-shot since (the camera wrote new
    // pictures under the same names): it is the only record of the old pictures. Made again from
    // the same unchanged series (another method or block side) the new montage is what the user
    // asked for; only strokes, which cannot be made again, are asked about then.
    // (That question covers its strokes and those of the comparison montages too.)
    if ((session_->namesAnotherSeries(r) || session_->seriesChangedSinceMainMontage(r)) &&
        session_->mainMontageUnsaved() && windows_->montageWindow()->isVisible())
        return output_->mayDiscardMontage();
    return retouch_->confirmNewMontage();
}

LoadOutcome FormMontage::loadCommand() {
    // The controls are locked and Cancel answers for the whole Load, also the one start-up runs.
    CommandRun run(*this);
    return montage_->load(pathBytes(textFileName_->text()));
}

MakeOutcome FormMontage::makeMontage() {
    CommandRun run(*this);
    return montage_->make(readRequest());
}

void FormMontage::browse() {
    try {
        dialog_.Filter = QString::fromLatin1(kPictureFilter);
        dialog_.FileName = textFileName_->text();
        dialog_.InitDir = textFileName_->text();
        dialog_.Flags = kFlagHideReadOnly;
        // A cancelled choice loads nothing: the series on screen stays as it is.
        if (!dialog_.ShowOpen()) return;
        if (!output_->mayDiscardMontage()) return;
        textFileName_->setText(dialog_.FileName);
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "CommandBrowse"), kGenericErrorTitle);
        return;
    }
    loadCommand();
}

namespace {

// The one local file a drag carries; none for several files, a folder or something else.
std::optional<std::string> droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return std::nullopt;
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) return std::nullopt;
    const std::string path = pathBytes(url.toLocalFile());
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec)) return std::nullopt;
    return path;
}

} // namespace

void FormMontage::dragEnterEvent(QDragEnterEvent* e) {
    if (droppedFile(e->mimeData())) e->acceptProposedAction();
}

void FormMontage::dropEvent(QDropEvent* e) {
    const std::optional<std::string> path = droppedFile(e->mimeData());
    if (!path) return;
    e->acceptProposedAction();
    // Opened once the drop has ended: the file manager it came from is not held by our questions.
    QTimer::singleShot(0, this, [this, p = *path] { openDroppedFile(p); });
}

void FormMontage::openDroppedFile(const std::string& path) {
    if (isProjectFileName(path)) {
        withRequestLocked([this, &path](const MontageRequest& r) {
            if (!output_->mayDiscardMontage()) return;
            projects_->open(r, path);
            retouch_->montageReplaced();
        });
        return;
    }
    runLocked([this, &path] {
        if (!output_->mayDiscardMontage()) return;
        textFileName_->setText(pathText(path));
        loadCommand();
    });
}

void FormMontage::openRecentFile(int index) {
    if (!output_->mayDiscardMontage()) return;
    // The entry's name as the list holds it: the menu's text is only what is shown.
    const std::string caption = state_.recent.caption(index);
    textFileName_->setText(qs(caption));
    if (caption.rfind("project ", 0) == 0) {
        projects_->open(readRequest());
        // As after Load a Project: retouching goes on from a picture the project's series has.
        retouch_->montageReplaced();
        return;
    }
    if (caption.empty() || caption[0] != '/') textFileName_->setText(qs(state_.programFolder + caption));
    // Only a series that loaded goes back to the top: a missing one was just blanked.
    if (loadCommand() == LoadOutcome::Loaded) addRecentFile(shownFileName());
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
