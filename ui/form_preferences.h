// FormPreferences: the modeless "Preferences" dialog that edits the defaults kept in the
// preferences file (method, increment, windows, desktop launcher, file-manager entry, smoothing
// sensitivities, offset target colour) and writes them on OK.
#pragma once

#include "base/prompt.h"
#include "settings/preferences.h"
#include "settings/profile_file.h"
#include "settings/shell_integration.h"
#include "ui/common_dialog.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace orv {

inline constexpr const char* kPreferencesCaption = "Preferences";
inline constexpr const char* kPreferencesNotSavedTitle = "Preferences not saved";

// What OK or "Change Target Color" says when the preferences file could not be written: its name,
// why, and that the choices are lost when the program closes.
std::string preferencesNotSavedText(const std::string& path, const std::string& why);

// The preference values the program holds in memory and uses at once, bound to where the program
// keeps them. The dialog shows them, "Reset Smoothing defaults" and OK change them.
struct HeldPreferences {
    SmoothingPreferences& smoothing;
    std::int16_t& shortcut;
    std::int16_t& rightMouse;
    bool& originatingImage;
};

struct PreferencesContext {
    ProfileFile& preferences;
    HeldPreferences held;
    std::vector<std::string> methodCaptions; // the "Montage Method" menu's entries, in order
    Prompter& prompter;
    CommonDialog& dialog;
    // Applies a new offset-target colour (red + 256 x green + 65536 x blue) to the program at once.
    std::function<void(std::uint32_t)> setTargetColor;
    ShellIntegration shell;
};

class FormPreferences : public QDialog {
    Q_OBJECT
public:
    FormPreferences(PreferencesContext context, QWidget* parent = nullptr);

    // Fills the controls from the preferences file and the values in memory.
    void Form_Load();
    // Sets "Load images on start up" from the file; runs on every activation.
    void Form_Activate();

    void CommandSmoothReset_Click();
    void CommandColor_Click();
    // Writes every key in its order and closes. On a value that cannot be stored (a difference
    // sensitivity beyond 327) it says so, writes nothing and stays open.
    void CommandOK_Click();

    QRadioButton* OptionMontageMethod(int i) const { return methods_[std::size_t(i)]; }
    int methodCount() const { return int(methods_.size()); }
    QLineEdit* Text1() const { return text1_; }
    QScrollBar* VScroll1() const { return vscroll1_; }
    QCheckBox* CheckUsed() const { return checkUsed_; }
    QCheckBox* CheckLoadImages() const { return checkLoadImages_; }
    QCheckBox* CheckShortcut() const { return checkShortcut_; }
    QCheckBox* CheckRight() const { return checkRight_; }
    QCheckBox* CheckAutoSmooth() const { return checkAutoSmooth_; }
    QLabel* LabelSmooth(int i) const { return labelSmooth_[std::size_t(i)]; }
    QLineEdit* TextSmooth(int i) const { return textSmooth_[std::size_t(i)]; }
    QScrollBar* VScrollSmooth(int i) const { return vscrollSmooth_[std::size_t(i)]; }
    QPushButton* CommandSmoothReset() const { return commandSmoothReset_; }
    QLabel* PictureColor() const { return pictureColor_; }
    QPushButton* CommandColor() const { return commandColor_; }
    QPushButton* CommandOK() const { return commandOK_; }
    QPushButton* CommandCancel() const { return commandCancel_; }
    QLineEdit* TextEditor() const { return textEditor_; }

    // The swatch's colour, red + 256 x green + 65536 x blue.
    std::uint32_t swatchColor() const { return swatch_; }

protected:
    bool event(QEvent* e) override;

private:
    void build();
    void paintSwatch(std::uint32_t color);
    void showSmoothing(const SmoothingPreferences& s);
    // Writes one key; false, with why in `unsaved_` (the first failure), when the file cannot be written.
    bool writeKey(const char* key, const std::string& value);
    // Says that the keys could not be saved, once for the failures since the last time.
    void reportUnsaved();

    PreferencesContext ctx_;
    std::vector<QRadioButton*> methods_;
    QLineEdit* text1_ = nullptr;
    QScrollBar* vscroll1_ = nullptr;
    QCheckBox* checkUsed_ = nullptr;
    QCheckBox* checkLoadImages_ = nullptr;
    QCheckBox* checkShortcut_ = nullptr;
    QCheckBox* checkRight_ = nullptr;
    QCheckBox* checkAutoSmooth_ = nullptr;
    std::array<QLabel*, 4> labelSmooth_{};
    std::array<QLineEdit*, 4> textSmooth_{};
    std::array<QScrollBar*, 4> vscrollSmooth_{};
    QPushButton* commandSmoothReset_ = nullptr;
    QLabel* pictureColor_ = nullptr;
    QPushButton* commandColor_ = nullptr;
    QPushButton* commandOK_ = nullptr;
    QPushButton* commandCancel_ = nullptr;
    QLineEdit* textEditor_ = nullptr;
    std::uint32_t swatch_ = 0;
    std::optional<std::string> unsaved_; // why a key could not be written
};

// Keeps a number box and its scroll bar together: moving the bar writes its value into the box
// when they differ; typing into the box moves the bar to the typed value (rounded) when it lies
// within the bar's range and differs from it. The bar never rewrites what was typed.
void pairBoxWithScrollBar(QLineEdit* box, QScrollBar* bar);

// The "Preferences" entry of the File menu: shows the dialog modeless and owned by `owner`,
// loading it first when it is not open (kept in `slot`), and brings it to the front.
FormPreferences* showPreferences(QPointer<FormPreferences>& slot, PreferencesContext context, QWidget* owner);

// A number as the dialog shows it: up to seven significant digits, no trailing zeros.
QString preferenceNumberText(double v);

} // namespace orv
