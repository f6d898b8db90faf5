// The main window's commands that keep a picture: saving, printing, the clipboard and the editor
// (from the File menu for the montage, and from the context menus of the montage and source
// windows), and the Preferences dialog.
#include "ui/form_montage.h"

#include "base/runtime_error.h"
#include "output/save_names.h"
#include "ui/clipboard_editor.h"
#include "ui/form_preferences.h"
#include "ui/picture_source.h"
#include "ui/print_picture.h"
#include "ui/pselect.h"
#include "ui/save_picture.h"
#include "settings/shell_integration.h"

#include <QAction>

namespace orv {

namespace {

PrintSize printSizeOf(Command c) {
    switch (c) {
    case Command::PrintMontage:
    case Command::PicturePrint: return PrintSize::Natural;
    case Command::PrintMontageHalf:
    case Command::PicturePrintHalf: return PrintSize::HalfPage;
    default: return PrintSize::FitToPage;
    }
}

} // namespace

EditorFiles& FormMontage::editorFiles() {
    if (!editorFiles_) editorFiles_ = std::make_unique<EditorFiles>();
    return *editorFiles_;
}

void FormMontage::runMontageFileCommand(Command c) {
    FormMontagePicture* mw = windows_->montageWindow();
    const bool visible = mw->isVisible();
    const QImage& picture = mw->PictureFile()->picture();
    const SaveServices services{prompter_, dialog_, state_.programFolder};
    switch (c) {
    case Command::SaveMontageAs: saveMontageAs(visible, pictureSourceOf(mw, *mw->PictureFile()), services); break;
    case Command::CopyMontage: copyMontageToClipboard(visible, picture, prompter_); break;
    case Command::EditMontage: openMontageInEditor(visible, picture, editorFiles(), prompter_); break;
    case Command::PrintMontage:
    case Command::PrintMontageFit:
    case Command::PrintMontageHalf:
        printMontage(visible,
                     PrintRequest{picture, printSizeOf(c), state_.layout.twipsPerPixel, state_.layout.twipsPerPixelY, {}},
                     dialog_, prompter_);
        break;
    case Command::SelectPrinter: showPrinterWizard(this, prompter_); break;
    default: break;
    }
}

void FormMontage::runPictureCommand(Command c, PictureWindow* window, bool isSource) {
    PictureBox* box = window->picture();
    switch (c) {
    case Command::PictureSaveAs:
        SaveAsSub(pictureSourceOf(window, *box), isSource ? kCopySuffix : kMontageSuffix,
                  SaveServices{prompter_, dialog_, state_.programFolder});
        break;
    case Command::PictureCopy: copyPictureToClipboard(box->picture()); break;
    case Command::PictureEditor: openPictureInEditor(box->picture(), editorFiles(), prompter_); break;
    case Command::PicturePrint:
    case Command::PicturePrintFit:
    case Command::PicturePrintHalf:
        printPicture(PrintRequest{box->picture(), printSizeOf(c), state_.layout.twipsPerPixel,
                                  state_.layout.twipsPerPixelY, {}},
                     dialog_, prompter_);
        break;
    default: break;
    }
}

void FormMontage::mnuSaveDepthMap_Click(FormMontagePicture* window) {
    try {
        dialog_.Filter = QStringLiteral("PNG (*.png)|*.png|Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*");
        dialog_.FilterIndex = 1;
        dialog_.FileName = QString::fromStdString(state_.montage.firstFileName + " depth.png");
        dialog_.Flags = kFlagHideReadOnly;
        if (!dialog_.ShowSave()) return; // cancel writes nothing
        session_->writeDepthMap(MontageChoice{windows_->comparisonIndexOf(window)}, dialog_.FileName.toStdString());
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "mnuSaveDepthMap"), kGenericErrorTitle);
    }
}

void FormMontage::mnuPreferences_Click() {
    std::vector<std::string> captions;
    for (int i = 0; i < kMethodCount; ++i) captions.push_back(methodEntry(i)->text().toStdString());
    showPreferences(preferences_,
                    PreferencesContext{state_.preferences,
                                       HeldPreferences{state_.smoothing, state_.shortcut, state_.rightMouse,
                                                       state_.originatingImage},
                                       captions, prompter_, dialog_,
                                       [this](std::uint32_t colour) {
                                           state_.targetColor = colour;
                                           SetTargetColor(colour);
                                       },
                                       ShellIntegration(shellPlacesFor(state_.programFolder))},
                    this);
}

} // namespace orv
