// The main window: controls, menus and the commands built on them.
#include "ui/form_montage.h"

#include "base/leading_number.h"
#include "base/runtime_error.h"
#include "input/series_loader.h"
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
    buildMenus();
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

QAction* FormMontage::addEntry(QMenu* menu, const char* name, const char* caption) {
    QAction* a = std::string_view(caption) == "-" ? menu->addSeparator() : menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void FormMontage::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* blank = bar->addMenu(QStringLiteral("    "));
    blank->setObjectName(QStringLiteral("mnublank"));
    blank->menuAction()->setObjectName(QStringLiteral("mnublank"));
    blank->setEnabled(false);

    QMenu* file = bar->addMenu(QStringLiteral(" File "));
    file->setObjectName(QStringLiteral("mnuFile"));
    addEntry(file, "mnuOpen", "Browse for Image File")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    addEntry(file, "mnuLoad", "Load Image Files");
    addEntry(file, "mnuOpenProject", "Load a Project");
    addEntry(file, "mnuSave", "Save a Project");
    addEntry(file, "mnuMakeMontage", "Make the Montage");
    addEntry(file, "mnuseparator", "-");
    addEntry(file, "mnuJPG", "Save Montage As");
    addEntry(file, "mnuCopy", "Copy Montage to Clipboard");
    addEntry(file, "mnuEditor", "Open Montage in Editor");
    addEntry(file, "mnuPrint100", "Print Montage");
    addEntry(file, "mnuPrint", "Print Montage Fit to Page")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    addEntry(file, "mnuPrintHalf", "Print Montage Fit to Half Page");
    addEntry(file, "mnuSelect", "Select Printer")->setVisible(false);
    addEntry(file, "mnuseparator1", "-");
    addEntry(file, "mnuPreferences", "Preferences");
    addEntry(file, "mnuseparator5", "-");
    for (int i = 0; i < 12; ++i) {
        recent_[std::size_t(i)] = addEntry(file, "", "");
        recent_[std::size_t(i)]->setObjectName(QStringLiteral("mnuRecentFile_%1").arg(i));
        recent_[std::size_t(i)]->setVisible(false);
    }
    addEntry(file, "mnuseparator4", "-");
    addEntry(file, "mnuExit", "Exit");

    QMenu* method = bar->addMenu(QStringLiteral(" Montage Method "));
    method->setObjectName(QStringLiteral("mnuMethod"));
    for (int i = 0; i < 5; ++i) {
        QAction* a = method->addAction(qs(methodCaption(i)));
        a->setObjectName(QStringLiteral("mnusimpleCol_%1").arg(i));
        a->setCheckable(true);
        a->setChecked(i == 0);
        methods_[std::size_t(i)] = a;
    }
    addEntry(method, "mnuseparator7", "-");
    addEntry(method, "mnuAllMethods", "Compare All Montage Methods");
    addEntry(method, "mnuEvaluate", "Evaluate Increments");
    addEntry(method, "mnuEvaluateAll", "Evaluate Increments and all Montage Methods");
    addEntry(method, "mnuseparate6", "-");
    addEntry(method, "mnuSmooth", "Smooth Montage Image");

    QMenu* ignore = bar->addMenu(QStringLiteral(" Ignore Image "));
    ignore->setObjectName(QStringLiteral("mnuIgnore"));
    for (int i = 0; i < 10; ++i) {
        QAction* a = ignore->addAction(QStringLiteral("Ignore Image %1").arg(i + 1));
        a->setObjectName(QStringLiteral("mnuignoreImage_%1").arg(i));
        a->setCheckable(true);
        a->setVisible(false);
        ignore_[std::size_t(i)] = a;
    }

    QMenu* offsets = bar->addMenu(QStringLiteral(" Set Image Offsets "));
    offsets->setObjectName(QStringLiteral("mnuOffsets"));
    addEntry(offsets, "mnuAddOffsets", "Use Image Offsets");
    QAction* minArea = addEntry(offsets, "mnuActivateOffsetsMin", "Activate Image Offsets - display minimum area");
    QAction* maxArea = addEntry(offsets, "mnuActivateOffsetsMax", "Activate Image Offsets - display maximum area");
    QAction* sameArea = addEntry(offsets, "mnuActivateOffsetsSame", "Activate Image Offsets - display same area");
    for (QAction* a : {minArea, maxArea, sameArea}) a->setCheckable(true);
    sameArea->setChecked(true);

    QMenu* window = bar->addMenu(QStringLiteral(" Window "));
    window->setObjectName(QStringLiteral("mnuWindows"));
    for (int i = 1; i <= 12; ++i) {
        QAction* a = window->addAction(QStringLiteral("Window"));
        a->setObjectName(QStringLiteral("mnuWindow_%1").arg(i));
        a->setVisible(false);
        windows_[std::size_t(i - 1)] = a;
    }
    addEntry(window, "mnuseparator3", "-");
    for (int i = 0; i < 10; ++i) {
        QAction* a = window->addAction(QStringLiteral("Window"));
        a->setObjectName(QStringLiteral("mnuWindow2_%1").arg(i));
        a->setVisible(false);
        windows2_[std::size_t(i)] = a;
    }

    QMenu* help = bar->addMenu(QStringLiteral(" Help "));
    help->setObjectName(QStringLiteral("mnuHelpMenu"));
    addEntry(help, "mnuHelp", "Help")->setShortcut(QKeySequence(Qt::Key_F1));
    addEntry(help, "mnuseparator2", "-");
    addEntry(help, "mnuContact", "Contact Brindlemoor Software");
    addEntry(help, "mnuAbout", "About");

    // Shortcuts work whichever window of the program is in front.
    for (QAction* a : findChildren<QAction*>())
        if (!a->shortcut().isEmpty()) a->setShortcutContext(Qt::ApplicationShortcut);
}

void FormMontage::connectCommands() {
    // Commands that reload the series wait until a long command has finished.
    connect(commandBrowse_, &QToolButton::clicked, this, [this] {
        if (gate()) CommandBrowse_Click();
    });
    connect(menuAction("mnuOpen"), &QAction::triggered, this, [this] {
        if (gate()) CommandBrowse_Click();
    });
    connect(menuAction("mnuLoad"), &QAction::triggered, this, [this] {
        if (gate()) mnuLoad_Click();
    });
    connect(commandGo_, &QPushButton::clicked, this, &FormMontage::CommandGo_Click);
    connect(menuAction("mnuMakeMontage"), &QAction::triggered, this, &FormMontage::CommandGo_Click);
    connect(menuAction("mnuSmooth"), &QAction::triggered, this, &FormMontage::mnuSmooth_Click);
    connect(menuAction("mnuAllMethods"), &QAction::triggered, this, &FormMontage::mnuAllMethods_Click);
    connect(menuAction("mnuEvaluate"), &QAction::triggered, this, &FormMontage::mnuEvaluate_Click);
    connect(menuAction("mnuEvaluateAll"), &QAction::triggered, this, &FormMontage::mnuEvaluateAll_Click);
    connect(menuAction("mnuExit"), &QAction::triggered, this, &FormMontage::mnuExit_Click);
    connect(menuAction("mnuHelp"), &QAction::triggered, this, &FormMontage::mnuHelp_Click);
    connect(menuAction("mnuContact"), &QAction::triggered, this, &FormMontage::mnuContact_Click);
    connect(menuAction("mnuAbout"), &QAction::triggered, this, &FormMontage::mnuAbout_Click);
    for (int i = 0; i < 5; ++i)
        connect(methods_[std::size_t(i)], &QAction::triggered, this, [this, i] { mnusimpleCol_Click(i); });
    for (int i = 0; i < 12; ++i) {
        connect(recent_[std::size_t(i)], &QAction::triggered, this, [this, i] {
            if (gate()) mnuRecentFile_Click(i);
        });
        connect(windows_[std::size_t(i)], &QAction::triggered, this, [this, i] { mnuWindow_Click(i + 1); });
    }
    for (int i = 0; i < 10; ++i)
        connect(windows2_[std::size_t(i)], &QAction::triggered, this, [this, i] { mnuWindow2_Click(i); });
    // The ignore entries toggle their own tick (checkable actions); the area entries invert theirs
    // and, when now ticked, untick the other two.
    const std::pair<const char*, DisplayArea> areas[] = {{"mnuActivateOffsetsSame", DisplayArea::Same},
                                                         {"mnuActivateOffsetsMin", DisplayArea::Minimum},
                                                         {"mnuActivateOffsetsMax", DisplayArea::Maximum}};
    for (const auto& [name, area] : areas)
        connect(menuAction(name), &QAction::triggered, this, [this, area = area] { mnuActivateOffsets_Click(area); });
    connect(textFileName_, &QLineEdit::textChanged, this, &FormMontage::clearIgnoreTicks);
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
    for (int i = 0; i < 10; ++i) c.ignored[std::size_t(i)] = ignore_[std::size_t(i)]->isChecked();
    c.useOffsets = menuAction("mnuAddOffsets")->isChecked();
    if (menuAction("mnuActivateOffsetsSame")->isChecked()) c.area = DisplayArea::Same;
    else if (menuAction("mnuActivateOffsetsMin")->isChecked()) c.area = DisplayArea::Minimum;
    else if (menuAction("mnuActivateOffsetsMax")->isChecked()) c.area = DisplayArea::Maximum;
    else c.area.reset();
    return c;
}

int FormMontage::montageMethod() const {
    for (int i = 0; i < 5; ++i)
        if (methods_[std::size_t(i)]->isChecked()) return i;
    return 0;
}

void FormMontage::mnusimpleCol_Click(int index) {
    if (index < 0 || index > 4) index = 0;
    for (QAction* a : methods_) a->setChecked(false);
    methods_[std::size_t(index)]->setChecked(true);
}

void FormMontage::mnuActivateOffsets_Click(DisplayArea area) {
    const std::pair<const char*, DisplayArea> areas[] = {{"mnuActivateOffsetsSame", DisplayArea::Same},
                                                         {"mnuActivateOffsetsMin", DisplayArea::Minimum},
                                                         {"mnuActivateOffsetsMax", DisplayArea::Maximum}};
    QAction* own = nullptr;
    for (const auto& [name, a] : areas)
        if (a == area) own = menuAction(name);
    if (!own || !own->isChecked()) return;
    for (const auto& [name, a] : areas)
        if (a != area) menuAction(name)->setChecked(false);
}

void FormMontage::clearIgnoreTicks() {
    for (QAction* a : ignore_) a->setChecked(false);
}

bool FormMontage::eventFilter(QObject* watched, QEvent* e) {
    // The increment box selects its whole text when it gets the focus, also by a click (the
    // click's own cursor placement comes first, so the selection is made just after it).
    if (watched == textIncrement_ && e->type() == QEvent::FocusIn)
        QTimer::singleShot(0, textIncrement_, [box = textIncrement_] { box->selectAll(); });
    return QMainWindow::eventFilter(watched, e);
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

// --- Browse and Load -----------------------------------------------------------------------

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

FormPicture* FormMontage::sourceWindow(int k) {
    FormPicture*& w = pictures_[std::size_t(k)];
    if (!w) {
        w = new FormPicture(k, this);
        connect(w, &FormPicture::closed, this, &FormMontage::onSourceWindowClosed);
        connect(w->menuAction(QStringLiteral("mnushowPreview")), &QAction::triggered, this, [this, w] {
            if (gate()) mnushowPreview_Click(w);
        });
        connect(w, &FormPicture::focusHandOff, this, &FormMontage::focusMainLater);
    }
    return w;
}

int FormMontage::fileBoxBottom() const {
    // The box's bottom in the client area, counted from the main window's outer top edge; the
    // cascade adds the caption and menu-bar heights above the client area.
    return frameGeometry().top() + textFileName_->geometry().bottom() + 1;
}

LoadOutcome FormMontage::loadCommand() {
    BusyCursor busy;
    LoadOutcome outcome = LoadOutcome::Failed;
    int line = 0;
    try {
        // Stage 0: an empty stack; the montage, map and properties windows go out of sight.
        state_.series.imageCount = 0;
        for (QWidget* w : {montageWindows_.montage.data(), montageWindows_.used.data(),
                           montageWindows_.properties.data()})
            if (w) w->hide();
        if (montageWindows_.clearPropertiesTicks) montageWindows_.clearPropertiesTicks();

        // Stage 200: earlier source windows hidden, comparison and preview windows unloaded; a
        // window that cannot go is left and the next one is tried.
        line = 200;
        dropEarlierSeriesWindows(true);

        // Stage 400: the completed name, the digit test, the first file.
        line = 400;
        const std::string typed = textFileName_->text().toStdString();
        const std::string completed = completeSeriesName(typed, state_.programFolder);
        if (completed != typed) textFileName_->setText(qs(completed));
        const std::optional<SeriesName> series = parseSeriesName(completed);
        if (!series) {
            prompter_.ask(PromptIcon::Critical, kRenameTextLoad, kRenameTitle);
            outcome = LoadOutcome::Refused;
        } else if (!fileExists(completed)) {
            outcome = LoadOutcome::Missing;
            if (!state_.startupFlag) {
                prompter_.ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
                state_.recent.blank(completed, state_.preferences);
                fillRecentFiles();
            }
        } else {
            // Stage 420: the number offset.
            line = 420;
            state_.series.numberOffset = series->offset;

            // Stages 500 and 510: file after file until one does not load or 30 are loaded.
            line = 500;
            const SeriesResult r = loadSeriesFiles(
                *series,
                [this](int k, const std::string& name) {
                    QImage image;
                    DecodeStatus st;
                    try {
                        st = decodePicture(name, image);
                    } catch (...) {
                        return DecodeStatus::Missing; // any other failure ends the series here
                    }
                    if (st != DecodeStatus::Ok) return st;
                    sourceWindow(k)->showPicture(std::move(image),
                                                 QStringLiteral("Image %1 -- %2").arg(k).arg(qs(name)));
                    state_.series.imageCount = std::int16_t(k);
                    QCoreApplication::processEvents();
                    return DecodeStatus::Ok;
                },
                [this] { prompter_.ask(PromptIcon::Critical, kLimitText, kLimitTitle); });
            state_.series.imageCount = std::int16_t(r.count);
            state_.series.currentFileName = r.currentFileName;
            // A file of the series that is there but cannot be read is said so, not passed over.
            if (r.invalidPicture)
                prompter_.ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);

            // Stage 800: sizes, the cascade, the ignore entries, the window lists.
            line = 800;
            const int n = r.count;
            for (int k = n + 1; k <= kMaxPictures; ++k)
                if (FormPicture* w = existingSourceWindow(k)) w->unloadPicture();
            state_.series.pictureWidth = n ? float(sourceWindow(1)->PictureFile()->picture().width()) : 0;
            state_.series.pictureHeight = n ? float(sourceWindow(1)->PictureFile()->picture().height()) : 0;
            const int boxBottom = fileBoxBottom();
            for (int k = 1; k <= n; ++k) {
                FormPicture* w = sourceWindow(k);
                const QImage& pic = w->PictureFile()->picture();
                const Placement p = cascadePlacement(k, boxBottom, pic.width(), pic.height(), state_.layout);
                w->placeAt(p.left, p.top);
                w->showNormal();
                w->raise();
            }
            for (int k = 1; k <= std::min(n, 10); ++k) ignore_[std::size_t(k - 1)]->setVisible(true);
            state_.targetColor = std::uint32_t(
                std::max(0.0, readProfileNumber(state_.preferences, kPreferencesSection, "Target color")));
            RefreshWindowMenus();
            outcome = n > 0 ? LoadOutcome::Loaded : LoadOutcome::Failed;
        }
    } catch (...) {
        const RuntimeError e = currentError();
        prompter_.ask(PromptIcon::Critical, genericErrorText(e, line, "mnuLoad"), kGenericErrorTitle);
        outcome = LoadOutcome::Failed;
    }
    // Stage 900: the normal pointer comes back with `busy`; start-up is over.
    state_.startupFlag = false;
    return outcome;
}

// --- recent files ----------------------------------------------------------------------------

void FormMontage::fillRecentFiles() {
    for (int i = 0; i < RecentFiles::kCount; ++i) {
        QAction* a = recent_[std::size_t(i)];
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
    const QString caption = recent_[std::size_t(index)]->text();
    textFileName_->setText(caption);
    if (caption.startsWith(QStringLiteral("project "))) {
        menuAction("mnuOpenProject")->trigger();
        return;
    }
    if (!caption.startsWith('/')) textFileName_->setText(qs(state_.programFolder) + caption);
    // Only a series that loaded goes back to the top: a missing one was just blanked.
    if (loadCommand() == LoadOutcome::Loaded) AddRecentFile(textFileName_->text().toStdString());
}

// --- window lists -----------------------------------------------------------------------------

void FormMontage::showSourceList() {
    const auto& entries = sourceList_.entries();
    for (int i = 0; i < kSourceWindowEntries; ++i) {
        QAction* a = windows_[std::size_t(i)];
        const bool used = std::size_t(i) < entries.size();
        if (used) a->setText(qs(entries[std::size_t(i)]));
        a->setVisible(used);
    }
}

void FormMontage::RefreshWindowMenus() {
    std::vector<std::string> visible;
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k); w && w->isVisible())
            visible.push_back(w->windowTitle().toStdString());
    sourceList_.rebuild(visible);
    showSourceList();

    auto captionIfVisible = [](const QPointer<QWidget>& w) -> std::optional<std::string> {
        if (w && w->isVisible()) return w->windowTitle().toStdString();
        return std::nullopt;
    };
    std::vector<std::optional<std::string>> comparison;
    for (const auto& w : montageWindows_.comparison) comparison.push_back(captionIfVisible(w));
    const std::vector<std::string> montage = montageWindowCaptions(
        captionIfVisible(montageWindows_.montage), comparison,
        montageWindows_.preview && montageWindows_.preview->isVisible());
    for (int i = 0; i < kMontageWindowEntries; ++i) {
        QAction* a = windows2_[std::size_t(i)];
        const bool used = std::size_t(i) < montage.size();
        if (used) a->setText(qs(montage[std::size_t(i)]));
        a->setVisible(used);
    }
}

void FormMontage::onSourceWindowClosed(int, const QString& caption) {
    sourceList_.remove(caption.toStdString());
    showSourceList();
}

void FormMontage::mnuWindow_Click(int index) {
    const QString caption = windows_[std::size_t(index - 1)]->text();
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k); w && w->windowTitle() == caption) {
            w->showNormal();
            w->raise();
            return;
        }
}

void FormMontage::mnuWindow2_Click(int index) {
    const QString caption = windows2_[std::size_t(index)]->text();
    auto front = [](QWidget* w) {
        w->showNormal();
        w->raise();
    };
    if (montageWindows_.montage && montageWindows_.montage->windowTitle() == caption) {
        front(montageWindows_.montage);
        return;
    }
    for (const auto& w : montageWindows_.comparison)
        if (w && w->windowTitle() == caption) {
            front(w);
            return;
        }
    if (caption == QLatin1String(kPreviewEntry) && montageWindows_.preview) front(montageWindows_.preview);
}

// --- help, contact, about, quitting ---------------------------------------------------------

void FormMontage::mnuHelp_Click() { showHelp(this); }

void FormMontage::mnuContact_Click() { openContactPage(&prompter_); }

void FormMontage::mnuAbout_Click() {
    FrmAbout about(prompter_, this);
    about.exec();
}

void FormMontage::closeEvent(QCloseEvent* e) {
    closeHelp();
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k)) w->hide();
    for (QWidget* w : {montageWindows_.montage.data(), montageWindows_.used.data(),
                       montageWindows_.properties.data(), montageWindows_.preview.data()})
        if (w) w->hide();
    for (auto& w : montageWindows_.comparison)
        if (w) w->hide();
    for (auto& w : montageWindows_.comparisonUsed)
        if (w) w->hide();
    e->accept();
    QCoreApplication::processEvents();
    if (state_.quit) state_.quit();
}

void FormMontage::dropEarlierSeriesWindows(bool unloadPreview) {
    for (int k = 1; k <= kMaxPictures; ++k) {
        try {
            if (FormPicture* w = existingSourceWindow(k)) w->hide();
            if (k <= 10) ignore_[std::size_t(k - 1)]->setVisible(false);
        } catch (...) {
        }
    }
    for (auto& w : montageWindows_.comparison) unloadWindow(w);
    for (auto& w : montageWindows_.comparisonUsed) unloadWindow(w);
    if (unloadPreview) unloadWindow(montageWindows_.preview);
}

void FormMontage::unloadWindow(QPointer<QWidget>& w) {
    try {
        if (w) {
            w->close();
            w->deleteLater();
        }
        w.clear();
    } catch (...) {
    }
}

} // namespace orv
