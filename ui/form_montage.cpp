// The main window: controls, menus and the commands built on them.
#include "ui/form_montage.h"

#include "base/leading_number.h"
#include "base/runtime_error.h"
#include "input/series_loader.h"
#include "settings/preferences.h"
#include "ui/clipboard_editor.h"
#include "ui/desktop_observer.h"
#include "ui/form_preferences.h"
#include "ui/busy_cursor.h"
#include "ui/form_about.h"
#include "ui/help_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <cmath>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace orv {

namespace {

constexpr const char* kFileNameTip =
    "Type in the path and name of the first file here, or use the Browse icon to the right";
constexpr const char* kBrowseTip =
    "Browse to find the name of the first file here, or type in the path and name to the left";
constexpr const char* kIncrementTip =
    "Enter how large a chunk you want the software to examine to determine which picture has the "
    "best focus, usually an increment of about 20 works best";
constexpr const char* kGoTip = "Press here to make a Montage with the Montage method you have chosen";

// The background tile of Image1: the art of the resources when present, else a soft paper
// texture drawn here.
QPixmap backgroundTile() {
    if (QPixmap art(QStringLiteral(":/background.png")); !art.isNull()) return art;
    QImage tile(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            // A quiet weave: two crossing sine ripples on a warm grey.
            const double v = 6 * std::sin(x * 0.196) * std::sin(y * 0.196) + 3 * std::sin((x + y) * 0.098);
            const int base = 222 + int(v);
            tile.setPixel(x, y, qRgb(base, base - 2, base - 8));
        }
    return QPixmap::fromImage(tile);
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

std::string initialFileName(const std::string& programFolder) { return programFolder + "sample01.bmp"; }

FormMontage::FormMontage(ProgramState& state, Prompter& prompter, CommonDialog& dialog, QWidget* parent)
    : QMainWindow(parent), state_(state), prompter_(prompter), dialog_(dialog) {
    setObjectName(QStringLiteral("FormMontage"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setAccessibleName(QString::fromLatin1(kMainCaption));
    buildControls();
    actions_ = buildMenuBar(menuBar());
    windows_ = new WindowManager(this, state_.dragState, state_.layout);
    windows_->setTargetColor(state_.targetColor);
    observer_ = std::make_unique<DesktopObserver>(*this);
    session_ = std::make_unique<MontageSession>(state_, *observer_);
    connectCommands();
    // Designed for a 1024 x 768 screen: a strip along the top, the pictures cascade below it.
    move(0, 0);
    resize(1016, 52 + menuBar()->sizeHint().height());
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

    label1_ = new QLabel(QStringLiteral("Increment"), client);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(614, 14, 72, 26);
    label1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    textIncrement_ = new QLineEdit(client);
    textIncrement_->setObjectName(QStringLiteral("TextIncrement"));
    textIncrement_->setGeometry(692, 14, 52, 26);
    textIncrement_->setToolTip(QString::fromLatin1(kIncrementTip));
    textIncrement_->setAccessibleName(QStringLiteral("Increment"));
    textIncrement_->setText(QStringLiteral("20"));
    textIncrement_->installEventFilter(this);
    label1_->setBuddy(textIncrement_);

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
    for (int i = 0; i < 5; ++i)
        connect(mnusimpleCol(i), &QAction::triggered, this, [this, i] { mnusimpleCol_Click(i); });
    for (int i = 0; i < 12; ++i) {
        connect(mnuRecentFile(i), &QAction::triggered, this, [this, i] {
            if (gate()) mnuRecentFile_Click(i);
        });
        connect(mnuWindow(i + 1), &QAction::triggered, this, [this, i] { mnuWindow_Click(i + 1); });
    }
    for (int i = 0; i < 10; ++i)
        connect(mnuWindow2(i), &QAction::triggered, this, [this, i] { mnuWindow2_Click(i); });
    connect(textFileName_, &QLineEdit::textChanged, this, &FormMontage::clearIgnoreTicks);

    connect(windows_, &WindowManager::sourceCommand, this, &FormMontage::runSourceCommand);
    connect(windows_, &WindowManager::montageCommand, this, &FormMontage::runMontageCommand);
    connect(windows_, &WindowManager::windowsChanged, this, &FormMontage::RefreshWindowMenus);
    connect(windows_, &WindowManager::sourceListChanged, this, [this] {
        const auto& entries = windows_->sourceList().entries();
        for (int i = 0; i < kSourceWindowEntries; ++i) {
            const bool used = std::size_t(i) < entries.size();
            if (used) mnuWindow(i + 1)->setText(qs(entries[std::size_t(i)]));
            mnuWindow(i + 1)->setVisible(used);
        }
    });
    connect(windows_, &WindowManager::focusHandOff, this, &FormMontage::focusMainLater);
    connect(windows_, &WindowManager::targetMoved, this, &FormMontage::ShowOffsetStatus);
}

void FormMontage::runCommand(Command c) {
    switch (c) {
    // Commands that reload the series wait until a long command has finished.
    case Command::Browse:
        if (gate()) CommandBrowse_Click();
        break;
    case Command::Load:
        if (gate()) mnuLoad_Click();
        break;
    case Command::MakeMontage: CommandGo_Click(); break;
    case Command::Smooth: mnuSmooth_Click(); break;
    case Command::CompareAllMethods: mnuAllMethods_Click(); break;
    case Command::EvaluateIncrements: mnuEvaluate_Click(); break;
    case Command::EvaluateAll: mnuEvaluateAll_Click(); break;
    case Command::UseOffsets: mnuAddOffsets_Click(); break;
    case Command::AlignImages: mnuAlign_Click(); break;
    case Command::MatchColours: rememberAlignment(); break;
    case Command::SaveProject: mnuSave_Click(); break;
    case Command::OpenProject:
        if (gate()) mnuOpenProject_Click();
        break;
    case Command::AreaMinimum:
    case Command::AreaMaximum:
    case Command::AreaSame: mnuActivateOffsets_Click(c); break;
    case Command::Help: mnuHelp_Click(); break;
    case Command::Contact: mnuContact_Click(); break;
    case Command::About: mnuAbout_Click(); break;
    case Command::Exit: mnuExit_Click(); break;
    case Command::PyramidFocus: mnusimpleCol_Click(int(FocusMethod::Pyramid)); break;
    case Command::SaveMontageAs:
    case Command::CopyMontage:
    case Command::EditMontage:
    case Command::PrintMontage:
    case Command::PrintMontageFit:
    case Command::PrintMontageHalf:
    case Command::SelectPrinter: runMontageFileCommand(c); break;
    case Command::Preferences: mnuPreferences_Click(); break;
    default: break; // entries whose commands arrive with later work
    }
}

void FormMontage::runSourceCommand(Command c, FormPicture* window) {
    if (c == Command::PicturePreview) {
        if (gate()) mnushowPreview_Click(window);
        return;
    }
    if (c == Command::PictureTargetColor) {
        mnuOffsetColor_Click();
        return;
    }
    runPictureCommand(c, window, true);
}

void FormMontage::runMontageCommand(Command c, FormMontagePicture* window) {
    switch (c) {
    case Command::PictureSmooth:
        if (gate()) smoothMontageWindow(window);
        break;
    case Command::PictureProperties: mnuProperties_Click(window); break;
    case Command::PictureSaveProject: mnuSaveProject_Click(window); break;
    case Command::PictureSaveDepthMap: mnuSaveDepthMap_Click(window); break;
    case Command::PicturePreview:
        if (gate()) mnuShowPreview2_Click(window);
        break;
    default: runPictureCommand(c, window, false); break;
    }
}

QAction* FormMontage::menuAction(const QString& name) const {
    for (QAction* a : findChildren<QAction*>())
        if (a->objectName() == name) return a;
    return nullptr;
}

MontageControls FormMontage::readControls() const {
    MontageControls c;
    c.firstFileName = textFileName_->text().toStdString();
    c.incrementText = textIncrement_->text().toStdString();
    c.method = FocusMethod(montageMethod());
    for (int i = 0; i < 10; ++i) c.ignored[std::size_t(i)] = mnuignoreImage(i)->isChecked();
    c.useOffsets = action(Command::UseOffsets)->isChecked();
    c.align = action(Command::AlignImages)->isChecked();
    c.colourMatch = action(Command::MatchColours)->isChecked();
    if (action(Command::AreaSame)->isChecked()) c.area = DisplayArea::Same;
    else if (action(Command::AreaMinimum)->isChecked()) c.area = DisplayArea::Minimum;
    else if (action(Command::AreaMaximum)->isChecked()) c.area = DisplayArea::Maximum;
    else c.area.reset();
    return c;
}

int FormMontage::montageMethod() const {
    for (int i = 0; i < kMethodCount; ++i)
        if (methodEntry(i)->isChecked()) return i;
    return 0;
}

QAction* FormMontage::methodEntry(int method) const {
    return method == int(FocusMethod::Pyramid) ? action(Command::PyramidFocus) : mnusimpleCol(method);
}

void FormMontage::mnusimpleCol_Click(int index) {
    if (index < 0 || index >= kMethodCount) index = 0;
    for (int i = 0; i < kMethodCount; ++i) methodEntry(i)->setChecked(false);
    methodEntry(index)->setChecked(true);
}

void FormMontage::mnuActivateOffsets_Click(Command area) {
    // The entry inverted its own tick; when now ticked, the other two are unticked.
    if (!action(area)->isChecked()) return;
    for (Command other : {Command::AreaSame, Command::AreaMinimum, Command::AreaMaximum})
        if (other != area) action(other)->setChecked(false);
}

void FormMontage::clearIgnoreTicks() {
    for (QAction* a : actions_.ignoreImages) a->setChecked(false);
}

bool FormMontage::eventFilter(QObject* watched, QEvent* e) {
    // The increment box selects its whole text when it gets the focus, also by a click (the
    // click's own cursor placement comes first, so the selection is made just after it).
    if (watched == textIncrement_ && e->type() == QEvent::FocusIn)
        QTimer::singleShot(0, textIncrement_, [box = textIncrement_] { box->selectAll(); });
    return QMainWindow::eventFilter(watched, e);
}

bool FormMontage::gate() const {
    if (running_ == 0) return true;
    QApplication::beep();
    return false;
}

void FormMontage::focusMainLater() {
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) activateWindow();
    });
}

// --- start-up events ------------------------------------------------------------------------

void FormMontage::Form_Load() {
    makeBackground();
    if (readProfileNumber(state_.preferences, kPreferencesSection, "Load images") != 0) mnuLoad_Click();
}

void FormMontage::Form_Activate() {
    if (!state_.firstActivation) return;
    state_.firstActivation = false;
    mnuLoad_Click();
}

bool FormMontage::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && state_.firstActivation) {
        // Run after the activation has been delivered, so the window is up when messages show.
        QTimer::singleShot(0, this, &FormMontage::Form_Activate);
    }
    return QMainWindow::event(e);
}

void FormMontage::makeBackground() {
    const QPixmap tile = image1_->pixmap();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    background_ = QPixmap(size);
    background_.fill(Qt::white);
    if (!tile.isNull()) {
        QPainter p(&background_);
        const int w = image1_->width(), h = image1_->height();
        for (int y = 0; y < size.height(); y += h)
            for (int x = 0; x < size.width(); x += w) p.drawPixmap(x, y, w, h, tile);
    }
    QPalette pal = centralWidget()->palette();
    pal.setBrush(QPalette::Window, QBrush(background_));
    centralWidget()->setPalette(pal);
    centralWidget()->setAutoFillBackground(true);
}

int FormMontage::fileBoxBottom() const {
    // The box's bottom in the client area, counted from the main window's outer top edge; the
    // cascade adds the caption and menu-bar heights above the client area.
    return frameGeometry().top() + textFileName_->geometry().bottom() + 1;
}

int FormMontage::goButtonBottom() const { return commandGo_->mapToGlobal(QPoint(0, commandGo_->height())).y(); }

// --- Browse ----------------------------------------------------------------------------------

void FormMontage::CommandBrowse_Click() {
    try {
        dialog_.Filter = QString::fromLatin1(kPictureFilter);
        dialog_.FileName = textFileName_->text();
        dialog_.InitDir = textFileName_->text();
        dialog_.Flags = kFlagHideReadOnly;
        // A cancelled choice loads nothing: the series on screen stays as it is.
        if (!dialog_.ShowOpen()) return;
        textFileName_->setText(dialog_.FileName);
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "CommandBrowse"),
                      kGenericErrorTitle);
        return;
    }
    mnuLoad_Click();
}

// --- recent files ----------------------------------------------------------------------------

void FormMontage::fillRecentFiles() {
    for (int i = 0; i < RecentFiles::kCount; ++i) {
        QAction* a = mnuRecentFile(i);
        const QString caption = qs(state_.recent.caption(i));
        a->setText(caption);
        // An empty entry is not shown: there is nothing to open.
        a->setVisible(!caption.isEmpty());
    }
}

void FormMontage::AddRecentFile(const std::string& name) {
    state_.recent.add(name, state_.preferences);
    fillRecentFiles();
}

void FormMontage::mnuRecentFile_Click(int index) {
    const QString caption = mnuRecentFile(index)->text();
    textFileName_->setText(caption);
    if (caption.startsWith(QStringLiteral("project "))) {
        mnuOpenProject_Click();
        return;
    }
    if (!caption.startsWith('/')) textFileName_->setText(qs(state_.programFolder) + caption);
    // Only a series that loaded goes back to the top: a missing one was just blanked.
    if (loadCommand() == LoadOutcome::Loaded) AddRecentFile(textFileName_->text().toStdString());
}

// --- window lists -----------------------------------------------------------------------------

void FormMontage::RefreshWindowMenus() {
    const std::vector<std::string> sources = windows_->sourceCaptions();
    for (int i = 0; i < kSourceWindowEntries; ++i) {
        const bool used = std::size_t(i) < sources.size();
        if (used) mnuWindow(i + 1)->setText(qs(sources[std::size_t(i)]));
        mnuWindow(i + 1)->setVisible(used);
    }
    const std::vector<std::string> montages = windows_->montageCaptions();
    for (int i = 0; i < kMontageWindowEntries; ++i) {
        const bool used = std::size_t(i) < montages.size();
        if (used) mnuWindow2(i)->setText(qs(montages[std::size_t(i)]));
        mnuWindow2(i)->setVisible(used);
    }
}

void FormMontage::mnuWindow_Click(int index) { windows_->bringSourceToFront(mnuWindow(index)->text()); }

void FormMontage::mnuWindow2_Click(int index) { windows_->bringMontageToFront(mnuWindow2(index)->text()); }

// --- help, contact, about, quitting ---------------------------------------------------------

void FormMontage::mnuHelp_Click() { showHelp(this); }

void FormMontage::mnuContact_Click() { openContactPage(&prompter_); }

void FormMontage::mnuAbout_Click() {
    FrmAbout about(prompter_, this);
    about.exec();
}

void FormMontage::closeEvent(QCloseEvent* e) {
    closeHelp();
    windows_->hideAll();
    e->accept();
    QCoreApplication::processEvents();
    if (state_.quit) state_.quit();
}

} // namespace orv
