// The Preferences dialog: its controls, how it is filled, the box and scroll-bar pairs, the
// smoothing reset, the target colour and the OK that writes the keys.
#include "ui/form_preferences.h"

#include "base/leading_number.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "ui/busy_cursor.h"
#include "ui/path_text.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace orv {

namespace {

constexpr const char* kMethodTip = "Set the default method for making the Montage";
constexpr const char* kIncrementTip = "Set the default increment size";
constexpr const char* kUsedTip = "When you create a Montages do you want want to see which pictures the final "
                                 "picture was created from?";
constexpr const char* kLoadImagesTip =
    "When Orvanta starts up, do you want it to automatically load the last images opened?";
constexpr const char* kShortcutTip = "Easy start Orvanta from a Desktop icon";
constexpr const char* kRightTip = "You can find an image file with Windows Explorer and right click it to start "
                                  "Orvanta.    Older Windows versions have been known to have problems with MS "
                                  "Office toolbar with this option";
constexpr const char* kResetTip = "Press here to restore the original Smoothing sensitivity parameters";
constexpr const char* kColorTip = "Set the default color for the Offset Targets";
constexpr const char* kOKTip = "Press here to save changes and return to Orvanta";
constexpr const char* kCancelTip = "Press here to return to Orvanta without saving the changes";
constexpr const char* kAutoSmoothTip = "Smooth every new Montage automatically as soon as it is made";
constexpr const char* kEditorTip =
    "The program that opens a picture for editing, with its arguments; %f stands for the file. Leave it empty "
    "to use the desktop's usual program for PNG pictures";
constexpr std::array<const char*, 4> kSmoothTips = {
    "Set how readily a block is swapped for one that makes the Montage smoother (1 to 100)",
    "Set how much weight smoothness has against focus (1 to 100)",
    "Set how much detailed areas count against background areas (1 to 100)",
    "Set how readily a block is replaced whatever its focus (1 to 100)"};

// Each label's access key (the letter after "&") moves to its box; no two controls of the dialog
// share one.
constexpr std::array<const char*, 4> kSmoothLabels = {
    "Sensitivity to &swap based on improved smoothness", "Emphasis &put on smoothness vs focus",
    "&Look at detailed areas vs background areas", "Sensitivity to &replace regardless of focus"};

QString qs(const char* s) { return QString::fromUtf8(s); }

// A caption as the user sees it and a screen reader says it: without the "&" of its access key.
QString shownText(const char* caption) { return qs(caption).remove(QLatin1Char('&')); }

// A label that names `buddy`: Alt and the letter after "&" in its caption move to it.
QLabel* makeLabel(QWidget* parent, const QString& name, const char* caption, QWidget* buddy) {
    auto* label = new QLabel(qs(caption), parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

// A button of the dialog; Enter presses it only while it has the focus (OK is the default).
QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tip) {
    auto* button = new QPushButton(qs(caption), parent);
    button->setObjectName(qs(name));
    button->setToolTip(qs(tip));
    button->setAutoDefault(false);
    return button;
}

QString indexed(const char* name, int i) { return qs(name) + QLatin1Char('_') + QString::number(i); }

double typedValue(const QLineEdit* box) { return leadingValue(box->text().toStdString()); }

std::string wholeText(long long v) { return std::to_string(v); }

// A typed number as a key value: whole numbers without a decimal point, others as shown.
std::string numberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return wholeText((long long)v);
    return preferenceNumberText(v).toStdString();
}

// A box's scroll bar carries the box's name and what it sets, for screen readers.
QScrollBar* makeBar(QWidget* parent, const QString& name, int lo, int hi, const QString& tip,
                    const QString& accessibleName) {
    auto* bar = new QScrollBar(Qt::Vertical, parent);
    bar->setObjectName(name);
    bar->setAccessibleName(accessibleName);
    bar->setAccessibleDescription(tip);
    bar->setRange(lo, hi);
    // The up arrow raises the number, as beside any number box.
    bar->setInvertedAppearance(true);
    bar->setInvertedControls(true);
    bar->setToolTip(tip);
    return bar;
}

QLineEdit* makeBox(QWidget* parent, const QString& name, const QString& tip, const QString& accessibleName) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(tip);
    box->setAccessibleName(accessibleName);
    box->setAccessibleDescription(tip);
    box->setMaximumWidth(90);
    return box;
}

// A box with its scroll bar beside it, the bar as tall as the box.
QHBoxLayout* boxAndBar(QLineEdit* box, QScrollBar* bar) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(box);
    bar->setFixedHeight(box->sizeHint().height());
    row->addWidget(bar);
    row->addStretch(1);
    return row;
}

} // namespace

QString preferenceNumberText(double v) { return QString::number(v, 'g', 7); }

void pairBoxWithScrollBar(QLineEdit* box, QScrollBar* bar) {
    // Set while the box moves the bar, so the bar does not write its rounded value over the typing.
    auto following = std::make_shared<bool>(false);
    QObject::connect(bar, &QScrollBar::valueChanged, box, [box, following](int v) {
        if (*following) return;
        if (typedValue(box) != double(v)) box->setText(QString::number(v));
    });
    QObject::connect(box, &QLineEdit::textChanged, bar, [box, bar, following] {
        const double typed = typedValue(box);
        if (typed < bar->minimum() || typed > bar->maximum()) return;
        const int v = int(std::nearbyint(typed));
        if (v == bar->value()) return;
        *following = true;
        bar->setValue(v);
        *following = false;
    });
}

FormPreferences::FormPreferences(PreferencesContext context, QWidget* parent)
    : QDialog(parent), ctx_(std::move(context)) {
    setObjectName(QStringLiteral("FormPreferences"));
    setWindowTitle(qs(kPreferencesCaption));
    setModal(false);
    build();
    Form_Load();
}

void FormPreferences::build() {
    // The settings scroll above the OK and Cancel buttons when the dialog is taller than the
    // screen (800 x 600, a large font), so the buttons stay in sight.
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("preferencesPage"));
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);

    // Alt+M moves to the ticked method.
    auto* frame1 = new QGroupBox(QStringLiteral("Default &Montage Method"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setToolTip(qs(kMethodTip));
    auto* methodsLayout = new QVBoxLayout(frame1);
    for (std::size_t i = 0; i < ctx_.methodCaptions.size(); ++i) {
        auto* option = new QRadioButton(QString::fromStdString(ctx_.methodCaptions[i]), frame1);
        option->setObjectName(indexed("OptionMontageMethod", int(i)));
        option->setToolTip(qs(kMethodTip));
        methodsLayout->addWidget(option);
        methods_.push_back(option);
    }
    outer->addWidget(frame1);

    constexpr const char* kIncrementCaption = "Default &Increment size";
    text1_ = makeBox(this, QStringLiteral("Text1"), qs(kIncrementTip), shownText(kIncrementCaption));
    vscroll1_ = makeBar(this, QStringLiteral("VScroll1"), 0, 32767, qs(kIncrementTip), shownText(kIncrementCaption));
    pairBoxWithScrollBar(text1_, vscroll1_);
    auto* incrementRow = boxAndBar(text1_, vscroll1_);
    incrementRow->insertWidget(0, makeLabel(this, QStringLiteral("Label1"), kIncrementCaption, text1_));
    incrementRow->insertSpacing(1, 8);
    outer->addLayout(incrementRow);

    auto check = [&](QWidget* parent, const char* name, const char* caption, const char* tip) {
        auto* box = new QCheckBox(qs(caption), parent);
        box->setObjectName(qs(name));
        box->setToolTip(qs(tip));
        box->setAccessibleDescription(qs(tip));
        return box;
    };
    checkUsed_ = check(this, "CheckUsed", "Show the \"&originating image\" window on creating a Montage", kUsedTip);
    checkLoadImages_ = check(this, "CheckLoadImages", "Load images on start &up", kLoadImagesTip);
    checkShortcut_ = check(this, "CheckShortcut", "Add a shortcut to 'Orvanta' on to the Des&ktop", kShortcutTip);
    checkRight_ = check(this, "CheckRight", "Add  'Orvanta' to the &Windows Explorer Right Mouse Click menu", kRightTip);
    for (QCheckBox* box : {checkUsed_, checkLoadImages_, checkShortcut_, checkRight_}) outer->addWidget(box);

    auto* frame2 = new QGroupBox(QStringLiteral("Smoothing Method"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* smoothLayout = new QGridLayout(frame2);
    checkAutoSmooth_ = check(frame2, "CheckAutoSmooth", "&Automatically smooth the Montage when created", kAutoSmoothTip);
    smoothLayout->addWidget(checkAutoSmooth_, 0, 0, 1, 2);
    for (int i = 0; i < 4; ++i) {
        const char* caption = kSmoothLabels[std::size_t(i)];
        const QString tip = qs(kSmoothTips[std::size_t(i)]);
        auto* box = makeBox(frame2, indexed("TextSmooth", i), tip, shownText(caption));
        auto* bar = makeBar(frame2, indexed("VScrollSmooth", i), 1, 100, tip, shownText(caption));
        pairBoxWithScrollBar(box, bar);
        auto* label = makeLabel(frame2, indexed("LabelSmooth", i), caption, box);
        smoothLayout->addWidget(label, i + 1, 0);
        smoothLayout->addLayout(boxAndBar(box, bar), i + 1, 1);
        labelSmooth_[std::size_t(i)] = label;
        textSmooth_[std::size_t(i)] = box;
        vscrollSmooth_[std::size_t(i)] = bar;
    }
    commandSmoothReset_ = makeButton(frame2, "CommandSmoothReset", "Rese&t Smoothing defaults", kResetTip);
    smoothLayout->addWidget(commandSmoothReset_, 5, 0, 1, 2, Qt::AlignLeft);
    outer->addWidget(frame2);

    auto* colorRow = new QHBoxLayout;
    auto* colorLabel = new QLabel(QStringLiteral("Current Offset color"), this);
    colorLabel->setObjectName(QStringLiteral("LabelColor"));
    pictureColor_ = new QLabel(this);
    pictureColor_->setObjectName(QStringLiteral("PictureColor"));
    pictureColor_->setToolTip(qs(kColorTip));
    pictureColor_->setFixedSize(32, 20);
    pictureColor_->setFrameShape(QFrame::Box);
    pictureColor_->setAutoFillBackground(true);
    // The swatch shows its colour only by its fill: a screen reader says it in words.
    pictureColor_->setAccessibleName(colorLabel->text());
    commandColor_ = makeButton(this, "CommandColor", "Change Target &Color", kColorTip);
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(pictureColor_);
    colorRow->addWidget(commandColor_);
    colorRow->addStretch(1);
    outer->addLayout(colorRow);

    auto* editorRow = new QHBoxLayout;
    textEditor_ = new QLineEdit(this);
    textEditor_->setObjectName(QStringLiteral("TextEditor"));
    textEditor_->setToolTip(qs(kEditorTip));
    textEditor_->setAccessibleName(QStringLiteral("Image editor"));
    textEditor_->setAccessibleDescription(qs(kEditorTip));
    textEditor_->setPlaceholderText(QStringLiteral("gimp %f"));
    editorRow->addWidget(makeLabel(this, QStringLiteral("LabelEditor"), "Image &editor", textEditor_));
    editorRow->addWidget(textEditor_, 1);
    outer->addLayout(editorRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    commandOK_ = makeButton(this, "CommandOK", "OK", kOKTip);
    commandOK_->setDefault(true);
    commandCancel_ = makeButton(this, "CommandCancel", "Cancel", kCancelTip);
    buttons->addWidget(commandOK_);
    buttons->addWidget(commandCancel_);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("preferencesScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(page);
    // The page scrolls to the control the keyboard reaches; the area itself is no stop of its own,
    // where the focus would show nowhere.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* dialogLayout = new QVBoxLayout(this);
    dialogLayout->addWidget(scroll, 1);
    dialogLayout->addLayout(buttons);
    // The whole page where the screen has room, and never taller than the screen.
    const QSize whole = page->sizeHint();
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    scroll->setMinimumWidth(whole.width() + bar);
    const QScreen* screen = parentWidget() && parentWidget()->screen() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() - 40 : whole.height();
    const int chrome = dialogLayout->contentsMargins().top() + dialogLayout->contentsMargins().bottom() +
                       dialogLayout->spacing() + commandOK_->sizeHint().height();
    scroll->setMinimumHeight(std::min(whole.height(), std::max(120, room - chrome)));

    connect(commandSmoothReset_, &QPushButton::clicked, this, &FormPreferences::CommandSmoothReset_Click);
    connect(commandColor_, &QPushButton::clicked, this, &FormPreferences::CommandColor_Click);
    connect(commandOK_, &QPushButton::clicked, this, &FormPreferences::CommandOK_Click);
    // Cancel (and Esc) closes without writing what was changed here.
    connect(commandCancel_, &QPushButton::clicked, this, &QDialog::close);
}

void FormPreferences::Form_Load() {
    const ProfileFile& prefs = ctx_.preferences;
    auto number = [&](const char* key) { return readProfileNumber(prefs, kPreferencesSection, key); };
    const double method = number("Montage method");
    int chosen = 0;
    if (method == std::floor(method) && method >= 0 && method < double(methods_.size())) chosen = int(method);
    if (!methods_.empty()) methods_[std::size_t(chosen)]->setChecked(true);
    checkUsed_->setChecked(number("Originating image") != 0);
    // The increment the main window starts with: the key's value, at least 10 (a new profile has none).
    std::string increment = trimBlanks(readProfileText(prefs, kPreferencesSection, "Increment"));
    if (leadingValue(increment) < 10) increment = "10";
    text1_->setText(QString::fromStdString(increment));
    // The editor command may name a program by bytes that are not UTF-8.
    textEditor_->setText(pathText(prefs.read(kPreferencesSection, "Image editor", "")));
    const double color = number("Target color");
    paintSwatch(color >= 0 && color <= 0xFFFFFF && color == std::floor(color) ? std::uint32_t(color) : 0);
    checkShortcut_->setChecked(ctx_.held.shortcut != 0);
    checkRight_->setChecked(ctx_.held.rightMouse != 0);
    checkAutoSmooth_->setChecked(ctx_.held.smoothing.autoSmooth != 0);
    showSmoothing(ctx_.held.smoothing);
}

void FormPreferences::Form_Activate() {
    checkLoadImages_->setChecked(readProfileNumber(ctx_.preferences, kPreferencesSection, "Load images") != 0);
}

bool FormPreferences::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) Form_Activate();
    return QDialog::event(e);
}

void FormPreferences::showSmoothing(const SmoothingPreferences& s) {
    const std::array<double, 4> shown = smoothingSensitivities(s);
    for (std::size_t i = 0; i < 4; ++i) textSmooth_[i]->setText(preferenceNumberText(shown[i]));
}

void FormPreferences::paintSwatch(std::uint32_t color) {
    swatch_ = color;
    QPalette p = pictureColor_->palette();
    p.setColor(QPalette::Window, QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)));
    pictureColor_->setPalette(p);
    pictureColor_->setAccessibleDescription(QStringLiteral("red %1, green %2, blue %3")
                                                .arg(color & 0xFF)
                                                .arg((color >> 8) & 0xFF)
                                                .arg((color >> 16) & 0xFF));
}

void FormPreferences::CommandSmoothReset_Click() {
    ctx_.held.smoothing = kResetSmoothing;
    checkAutoSmooth_->setChecked(true);
    showSmoothing(kResetSmoothing);
}

void FormPreferences::CommandColor_Click() {
    CommonDialog& d = ctx_.dialog;
    d.Color = swatch_;
    d.Flags = kFlagColorInitial;
    if (!d.ShowColor()) return;
    const std::uint32_t chosen = d.Color & 0xFFFFFF;
    writeKey("Target color", wholeText(chosen));
    paintSwatch(chosen);
    if (ctx_.setTargetColor) ctx_.setTargetColor(chosen);
    reportUnsaved();
}

bool FormPreferences::writeKey(const char* key, const std::string& value) {
    try {
        ctx_.preferences.write(kPreferencesSection, key, value);
        return true;
    } catch (...) {
        const RuntimeError e = currentError();
        if (!unsaved_) unsaved_ = "error " + std::to_string(e.number()) + ", " + e.description();
        return false;
    }
}

void FormPreferences::reportUnsaved() {
    if (!unsaved_) return;
    const std::string why = *unsaved_;
    unsaved_.reset();
    ctx_.prompter.ask(PromptIcon::Exclamation, preferencesNotSavedText(ctx_.preferences.path(), why),
                      kPreferencesNotSavedTitle);
}

std::string preferencesNotSavedText(const std::string& path, const std::string& why) {
    return "I could not save your preferences in " + path + " (" + why +
           ").   What you chose here is lost when Orvanta closes.";
}

void FormPreferences::CommandOK_Click() {
    BusyCursor busy;
    // Everything that can fail is worked out before the first key is written, so a refused value
    // leaves the file as it was.
    SmoothingPreferences smoothing;
    std::array<long long, 4> keys{};
    try {
        std::array<double, 4> typed{};
        for (std::size_t i = 0; i < 4; ++i) typed[i] = typedValue(textSmooth_[i]);
        SmoothingPreferences base = ctx_.held.smoothing;
        base.autoSmooth = checkAutoSmooth_->isChecked() ? 1 : 0;
        smoothing = smoothingFromSensitivities(typed, base);
        keys = smoothingKeyValues(smoothing);
    } catch (const RuntimeError& e) {
        ctx_.prompter.ask(PromptIcon::Critical, genericErrorText(e, 1, "CommandOK_Click"), kGenericErrorTitle);
        return;
    }

    int method = 0;
    for (std::size_t i = 0; i < methods_.size(); ++i)
        if (methods_[i]->isChecked()) method = int(i);
    writeKey("Montage method", wholeText(method));

    ctx_.held.originatingImage = checkUsed_->isChecked();
    writeKey("Originating image", ctx_.held.originatingImage ? "1" : "0");
    writeKey("Load images", checkLoadImages_->isChecked() ? "1" : "0");
    writeKey("Increment", numberText(typedValue(text1_)));
    // The editor key is written once one was set: an empty box leaves a file without it as it is.
    const std::string editor = trimBlanks(pathBytes(textEditor_->text()));
    if (!editor.empty() || !ctx_.preferences.read(kPreferencesSection, "Image editor", "").empty())
        writeKey("Image editor", editor);

    ctx_.held.shortcut = checkShortcut_->isChecked() ? 1 : 0;
    writeKey("shortcut", wholeText(ctx_.held.shortcut));
    std::string why;
    if (ctx_.held.shortcut == 1 && !ctx_.shell.createDesktopShortcut(&why))
        ctx_.prompter.ask(PromptIcon::Exclamation, launcherNotWrittenText(ctx_.shell.launcherPath(), why),
                          kLauncherNotWrittenTitle);

    ctx_.held.rightMouse = applyFileManagerChoice(ctx_.shell, checkRight_->isChecked(), ctx_.held.rightMouse,
                                                  ctx_.prompter);
    writeKey("rightmouse", wholeText(ctx_.held.rightMouse));

    ctx_.held.smoothing = smoothing;
    writeKey("autoSmooth", wholeText(smoothing.autoSmooth));
    for (std::size_t i = 0; i < 4; ++i) writeKey(kSmoothingKeys[i], wholeText(keys[i]));
    // The dialog closes as it would, the values in memory applied; the user hears that the file
    // does not keep them (a read-only file, a folder in its place, a full disk).
    reportUnsaved();
    close();
}

FormPreferences* showPreferences(QPointer<FormPreferences>& slot, PreferencesContext context, QWidget* owner) {
    if (!slot) {
        slot = new FormPreferences(std::move(context), owner);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

} // namespace orv
