// The one common dialog of the main window (CommonDialog1): file Open and Save, colour and printer
// choices with the properties the commands set and read back. Cancel returns false and leaves
// FileName and Color as they were, so a cancelled choice never loads, saves or applies anything.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPrinter;
class QWidget;

namespace orv {

inline constexpr const char* kPictureFilter = "Picture files  (*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif|All files  (*.*)|*.*|";
inline constexpr const char* kProjectFilter = "Project files  (*.mon)|*.mon|All files  (*.*)|*.*|";
inline constexpr const char* kSaveAsFilter = "*.bmp|*.bmp|*.jpg|*.jpg|*.gif|*.gif|";

// Flag bits.
inline constexpr int kFlagColorInitial = 1;   // the colour dialog starts on Color
inline constexpr int kFlagOverwritePrompt = 2; // ask before overwriting an existing file
inline constexpr int kFlagHideReadOnly = 4;

enum class DialogKind { Open, Save, Color, Print, Brush, Target };

// The retouching brush the "Retouch Brush..." dialog shows and returns.
struct BrushChoice {
    int radius = 40;   // pixels, 1 to 1000
    int hardness = 50; // percent, 0 to 100
    int opacity = 100; // percent, 1 to 100
    bool match = true; // match brightness
    bool operator==(const BrushChoice&) const = default;
};
inline constexpr const char* kBrushDialogTitle = "Retouch Brush";

// The offset target's centre that the "Place Offset Target..." dialog shows and returns, in
// picture pixels (y from the top), on a picture of `width` x `height`.
struct TargetChoice {
    int x = 0;
    int y = 0;
    int width = 1;
    int height = 1;
    bool operator==(const TargetChoice&) const = default;
};
inline constexpr const char* kTargetDialogTitle = "Offset Target";

// What a dialog is shown with, and what the user chose. File names hold their bytes as
// path_text.h carries them, so a name that is not UTF-8 comes back as it went in.
struct DialogRequest {
    DialogKind kind = DialogKind::Open;
    QString filter;
    int filterIndex = 0;
    QString fileName;
    QString initDir;
    int flags = 0;
    std::uint32_t color = 0; // red + 256 * green + 65536 * blue
    BrushChoice brush;
    // The caller asks about replacing a file itself, after its own checks of the choice
    // (CommonDialog::ShowSave): the dialog then takes an existing file's name without a question.
    bool replaceAskedAfter = false;
    TargetChoice target;
};

class CommonDialogBackend {
public:
    virtual ~CommonDialogBackend() = default;
    // Shows the dialog; on a choice writes it into `r.fileName` or `r.color` and returns true.
    virtual bool show(DialogRequest& r, QPrinter* printer) = 0;
    // Asks whether the existing file `fileName` may be replaced; true for yes.
    virtual bool confirmReplace(const QString& fileName) = 0;
};

// Qt's own dialogs.
class QtDialogBackend : public CommonDialogBackend {
public:
    explicit QtDialogBackend(QWidget* parent) : parent_(parent) {}
    bool show(DialogRequest& r, QPrinter* printer) override;
    bool confirmReplace(const QString& fileName) override;

private:
    QWidget* parent_;
};

// Tests: records every request and answers from a script; an empty script cancels.
class ScriptedDialogBackend : public CommonDialogBackend {
public:
    bool show(DialogRequest& r, QPrinter* printer) override;
    // Records the file asked about and answers from its own script (then yes).
    bool confirmReplace(const QString& fileName) override;
    void answerReplace(bool yes) { replaceScript_.push_back(yes); }
    void chooseFile(const QString& name) { script_.push_back(Answer{name, {}, {}, {}}); }
    void chooseColor(std::uint32_t c) { script_.push_back(Answer{{}, c, {}, {}}); }
    void choosePrinter() { script_.push_back(Answer{{}, {}, {}, {}}); }
    void chooseBrush(const BrushChoice& b) { script_.push_back(Answer{{}, {}, b, {}}); }
    void chooseTarget(int x, int y) { script_.push_back(Answer{{}, {}, {}, TargetChoice{x, y}}); }
    void cancel() { script_.push_back(std::nullopt); }

    std::vector<DialogRequest> requests;
    std::vector<QString> replaceQuestions;

private:
    struct Answer {
        std::optional<QString> fileName;
        std::optional<std::uint32_t> color;
        std::optional<BrushChoice> brush;
        std::optional<TargetChoice> target; // only x and y are taken
    };
    std::deque<std::optional<Answer>> script_;
    std::deque<bool> replaceScript_;
};

// A Save choice looked at by the caller before anything is asked about it: the name that will
// really be written (the choice completed, with an ending added), or nothing when the choice is
// refused, the caller having said why; the dialog then opens again on the name chosen.
using SaveCheck = std::function<std::optional<QString>(const QString& chosen)>;

class CommonDialog {
public:
    explicit CommonDialog(std::unique_ptr<CommonDialogBackend> backend) : backend_(std::move(backend)) {}

    QString Filter;
    int FilterIndex = 0;
    QString FileName;
    QString InitDir;
    int Flags = 0;
    std::uint32_t Color = 0;
    BrushChoice Brush;
    TargetChoice Target;

    bool ShowOpen() { return run(DialogKind::Open, nullptr); }
    // With "ask before overwriting" in Flags, the file that will really be written is asked about
    // once, after `check` has taken the choice; "no" opens the dialog again. FileName is then the
    // name `check` returned.
    bool ShowSave(const SaveCheck& check = {});
    bool ShowColor() { return run(DialogKind::Color, nullptr); }
    bool ShowPrinter(QPrinter& printer) { return run(DialogKind::Print, &printer); }
    // The brush dialog, starting from Brush; a choice is kept in range and written back to it.
    bool ShowBrush() { return run(DialogKind::Brush, nullptr); }
    // The offset target dialog, starting from Target; a choice is kept on the picture and written
    // back to Target's x and y.
    bool ShowTarget() { return run(DialogKind::Target, nullptr); }

    CommonDialogBackend& backend() { return *backend_; }
    void setBackend(std::unique_ptr<CommonDialogBackend> b) { backend_ = std::move(b); }

private:
    bool run(DialogKind kind, QPrinter* printer);
    std::unique_ptr<CommonDialogBackend> backend_;
};

// "desc|pattern|desc|pattern|" as Qt name filters: "Picture files  (*.bmp *.jpg *.gif)", ...
QStringList qtNameFilters(const QString& filter);

// The folder a dialog opens in: InitDir itself, or its folder when it names a file, or the nearest
// folder above that is still there. Names here hold a file name's bytes as path_text.h carries them.
QString dialogFolder(const QString& initDir);

// The name Qt's file dialog returned, with each step that Qt decoded lossily (bytes that are not
// UTF-8 shown as U+FFFD) found again by its bytes in its folder; as it came when that step is
// missing or two entries decode alike.
QString chosenFileName(const QString& chosen);

} // namespace orv
