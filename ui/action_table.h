// Every menu entry of the program defined once: the main window's menu bar and the context menus
// of the source and montage windows, as tables of (object name, caption, command, shortcut,
// checkable, ticked, visible). Windows build their menus from the tables and reach an entry by its
// command, never by its name.
#pragma once

#include "engine/focus_method.h"

#include <QKeySequence>

#include <array>
#include <span>

class QAction;
class QMenu;
class QMenuBar;

namespace orv {

enum class Command {
    None, // separators and the lists the program fills itself
    // File
    Browse, Load, OpenProject, SaveProject, MakeMontage, SaveMontageAs, CopyMontage, EditMontage,
    PrintMontage, PrintMontageFit, PrintMontageHalf, SelectPrinter, Preferences, Exit,
    // Montage Method
    CompareAllMethods, EvaluateIncrements, EvaluateAll, Smooth,
    // Set Image Offsets
    UseOffsets, AreaMinimum, AreaMaximum, AreaSame, AlignImages, MatchColours,
    // Help
    Help, Contact, About,
    // A picture window's context menu (source and montage windows)
    PictureSaveAs, PictureCopy, PictureEditor, PicturePrint, PicturePrintFit, PicturePrintHalf,
    PictureTargetColor, PicturePreview, PictureClose, PictureSaveProject, PictureSmooth, PictureProperties,
    PictureSaveDepthMap, PicturePlaceTarget,
    // A montage window's retouching
    Retouch, RetouchBrush, UndoRetouch, RedoRetouch, ClearRetouch,
    Count
};

// The lists of entries the program fills itself, where they stand in their menu.
enum class EntryList { None, Methods, RecentFiles, IgnoreImages, SourceWindows, MontageWindows };

struct ActionSpec {
    const char* name;    // objectName
    const char* caption; // "-" for a separator
    Command command = Command::None;
    int shortcut = 0;    // a key combination, 0 for none
    bool checkable = false;
    bool checked = false;
    bool visible = true;
    EntryList list = EntryList::None; // the row stands for this list
};

struct MenuSpec {
    const char* name;
    const char* caption;
    std::span<const ActionSpec> entries;
    bool enabled = true;
};

// The menu bar of the main window, menu by menu.
std::span<const MenuSpec> mainMenuBar();
// The context menus of a source window and of a montage window.
std::span<const ActionSpec> sourceWindowMenu();
std::span<const ActionSpec> montageWindowMenu();

// The entries built from a table, by command, and the lists.
struct ActionSet {
    std::array<QAction*, std::size_t(Command::Count)> byCommand{};
    std::array<QAction*, kMethodCount> methods{}; // the montage methods, in menu order
    std::array<QAction*, 12> recentFiles{};
    std::array<QAction*, 10> ignoreImages{};
    std::array<QAction*, 12> sourceWindows{};  // "Window" entries 1 to 12 at 0 to 11
    std::array<QAction*, 10> montageWindows{};

    QAction* operator[](Command c) const { return byCommand[std::size_t(c)]; }
};

// Builds the menu bar's menus and entries (their objectNames set), shortcuts working from every
// window of the program.
ActionSet buildMenuBar(QMenuBar* bar);
// Adds a context menu's entries to `menu`.
ActionSet buildMenu(QMenu* menu, std::span<const ActionSpec> entries);

// `caption` with an access key ("&") on a letter no caption of its menu has taken yet (`taken`,
// which gains it): the first letter of a word when one is free, else any free letter or digit;
// unchanged when none is. Captions made at run time (file names, window captions) get none.
QString withAccessKey(const QString& caption, QString& taken);

} // namespace orv
