// The menu tables and the one routine that turns a table into menu entries.
#include "ui/action_table.h"

#include "engine/focus_method.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <string_view>

namespace orv {

namespace {

constexpr int kCtrl = int(Qt::CTRL);

constexpr ActionSpec kFileMenu[] = {
    {"mnuOpen", "Browse for Image File", Command::Browse, kCtrl | Qt::Key_O},
    {"mnuLoad", "Load Image Files", Command::Load},
    {"mnuOpenProject", "Load a Project", Command::OpenProject},
    {"mnuSave", "Save a Project", Command::SaveProject},
    {"mnuMakeMontage", "Make the Montage", Command::MakeMontage},
    {"mnuseparator", "-"},
    {"mnuJPG", "Save Montage As", Command::SaveMontageAs},
    {"mnuCopy", "Copy Montage to Clipboard", Command::CopyMontage},
    {"mnuEditor", "Open Montage in Editor", Command::EditMontage},
    {"mnuPrint100", "Print Montage", Command::PrintMontage},
    {"mnuPrint", "Print Montage Fit to Page", Command::PrintMontageFit, kCtrl | Qt::Key_P},
    {"mnuPrintHalf", "Print Montage Fit to Half Page", Command::PrintMontageHalf},
    {"mnuSelect", "Select Printer", Command::SelectPrinter, 0, false, false, false},
    {"mnuseparator1", "-"},
    {"mnuPreferences", "Preferences", Command::Preferences},
    {"mnuseparator5", "-"},
    {"mnuRecentFile", "", Command::None, 0, false, false, false, EntryList::RecentFiles},
    {"mnuseparator4", "-"},
    {"mnuExit", "Exit", Command::Exit},
};

constexpr ActionSpec kMethodMenu[] = {
    {"mnusimpleCol", "", Command::None, 0, true, false, true, EntryList::Methods},
    {"mnuseparator7", "-"},
    {"mnuAllMethods", "Compare All Montage Methods", Command::CompareAllMethods},
    {"mnuEvaluate", "Evaluate Increments", Command::EvaluateIncrements},
    {"mnuEvaluateAll", "Evaluate Increments and all Montage Methods", Command::EvaluateAll},
    {"mnuseparate6", "-"},
    {"mnuSmooth", "Smooth Montage Image", Command::Smooth},
};

constexpr ActionSpec kIgnoreMenu[] = {
    {"mnuignoreImage", "Ignore Image", Command::None, 0, true, false, false, EntryList::IgnoreImages},
};

constexpr ActionSpec kOffsetsMenu[] = {
    {"mnuAddOffsets", "Use Image Offsets", Command::UseOffsets, 0, true},
    {"mnuActivateOffsetsMin", "Activate Image Offsets - display minimum area", Command::AreaMinimum, 0, true},
    {"mnuActivateOffsetsMax", "Activate Image Offsets - display maximum area", Command::AreaMaximum, 0, true},
    {"mnuActivateOffsetsSame", "Activate Image Offsets - display same area", Command::AreaSame, 0, true, true},
    {"mnuseparator8", "-"},
    {"mnuAlign", "Align Images Automatically", Command::AlignImages, 0, true},
    {"mnuColourMatch", "Match Colours When Aligning", Command::MatchColours, 0, true},
};

constexpr ActionSpec kWindowMenu[] = {
    {"mnuWindow", "Window", Command::None, 0, false, false, false, EntryList::SourceWindows},
    {"mnuseparator3", "-"},
    {"mnuWindow2", "Window", Command::None, 0, false, false, false, EntryList::MontageWindows},
};

constexpr ActionSpec kHelpMenu[] = {
    {"mnuHelp", "Help", Command::Help, Qt::Key_F1},
    {"mnuseparator2", "-"},
    {"mnuContact", "Contact Brindlemoor Software", Command::Contact},
    {"mnuAbout", "About", Command::About},
};

constexpr MenuSpec kMenuBar[] = {
    {"mnublank", "    ", {}, false},
    {"mnuFile", " File ", kFileMenu},
    {"mnuMethod", " Montage Method ", kMethodMenu},
    {"mnuIgnore", " Ignore Image ", kIgnoreMenu},
    {"mnuOffsets", " Set Image Offsets ", kOffsetsMenu},
    {"mnuWindows", " Window ", kWindowMenu},
    {"mnuHelpMenu", " Help ", kHelpMenu},
};

constexpr ActionSpec kSourceMenu[] = {
    {"mnuSaveAs", "Save As", Command::PictureSaveAs},
    {"mnuCopy", "Copy to Clipboard", Command::PictureCopy},
    {"mnuEditor", "Open in Editor", Command::PictureEditor},
    {"mnuPrint100", "Print", Command::PicturePrint},
    {"mnuPrint", "Print File to Page", Command::PicturePrintFit},
    {"mnuPrintHalf", "Print Fit to Half Page", Command::PicturePrintHalf},
    {"", "-"},
    {"mnuOffsetColor", "Set Offset Target Color", Command::PictureTargetColor},
    {"mnuPlaceTarget", "Place Offset Target...", Command::PicturePlaceTarget},
    {"mnushowPreview", "Show Preview of this Picture", Command::PicturePreview},
    {"mnuClose", "Close Window", Command::PictureClose},
};

constexpr ActionSpec kMontageMenu[] = {
    {"mnuSaveProject", "Save project", Command::PictureSaveProject},
    {"", "-"},
    {"mnuSaveAs", "Save As", Command::PictureSaveAs},
    {"mnucopy", "Copy to Clipboard", Command::PictureCopy},
    {"mnuEditor", "Open in Editor", Command::PictureEditor},
    {"mnuPrint100", "Print", Command::PicturePrint},
    {"mnuPrint", "Print Fit to Page", Command::PicturePrintFit},
    {"mnuPrintHalf", "Print Fit to Half Page", Command::PicturePrintHalf},
    {"mnuSmooth", "Smooth Montage Image", Command::PictureSmooth},
    {"", "-"},
    {"mnuProperties", "Properties", Command::PictureProperties, 0, true},
    {"mnuShowPreview2", "Show Preview of this Picture", Command::PicturePreview},
    {"mnuSaveDepthMap", "Save Depth Map", Command::PictureSaveDepthMap},
    {"", "-"},
    {"mnuRetouch", "Retouch from Source Pictures", Command::Retouch, 0, true},
    {"mnuRetouchBrush", "Retouch Brush...", Command::RetouchBrush},
    {"mnuUndoRetouch", "Undo Retouch", Command::UndoRetouch, kCtrl | Qt::Key_Z},
    {"mnuRedoRetouch", "Redo Retouch", Command::RedoRetouch, kCtrl | Qt::Key_Y},
    {"mnuClearRetouch", "Remove All Retouching", Command::ClearRetouch},
    {"", "-"},
    {"mnuClose", "Close Window", Command::PictureClose},
};

QAction* addEntry(QMenu* menu, const ActionSpec& e, const QString& name, const QString& caption) {
    QAction* a = std::string_view(e.caption) == "-" ? menu->addSeparator() : menu->addAction(caption);
    a->setObjectName(name);
    if (e.shortcut) a->setShortcut(QKeySequence(e.shortcut));
    a->setCheckable(e.checkable);
    a->setChecked(e.checked);
    a->setVisible(e.visible);
    return a;
}

template <std::size_t N>
void addList(QMenu* menu, const ActionSpec& e, std::array<QAction*, N>& into, int firstNumber,
             const auto& caption) {
    for (std::size_t i = 0; i < N; ++i)
        into[i] = addEntry(menu, e, QStringLiteral("%1_%2").arg(QLatin1String(e.name)).arg(int(i) + firstNumber),
                           caption(int(i)));
}

} // namespace

QString withAccessKey(const QString& caption, QString& taken) {
    auto freeAt = [&](int i) {
        const QChar c = caption[i];
        return c.isLetterOrNumber() && !taken.contains(c.toLower());
    };
    int at = -1;
    for (int i = 0; i < caption.size() && at < 0; ++i)
        if ((i == 0 || caption[i - 1].isSpace()) && freeAt(i)) at = i;
    for (int i = 0; i < caption.size() && at < 0; ++i)
        if (freeAt(i)) at = i;
    if (at < 0) return caption;
    taken += caption[at].toLower();
    QString keyed = caption;
    keyed.insert(at, QLatin1Char('&'));
    return keyed;
}

std::span<const MenuSpec> mainMenuBar() { return kMenuBar; }
std::span<const ActionSpec> sourceWindowMenu() { return kSourceMenu; }
std::span<const ActionSpec> montageWindowMenu() { return kMontageMenu; }

ActionSet buildMenu(QMenu* menu, std::span<const ActionSpec> entries) {
    ActionSet set;
    QString taken; // the access keys of this menu
    for (const ActionSpec& e : entries) {
        const QString caption = QString::fromLatin1(e.caption);
        switch (e.list) {
        case EntryList::None: {
            const bool plain = caption == QStringLiteral("-") || caption.trimmed().isEmpty();
            QAction* a = addEntry(menu, e, QString::fromLatin1(e.name), plain ? caption : withAccessKey(caption, taken));
            if (e.command != Command::None) set.byCommand[std::size_t(e.command)] = a;
            break;
        }
        case EntryList::Methods:
            for (std::size_t i = 0; i < set.methods.size(); ++i)
                set.methods[i] = addEntry(menu, e, QString::fromLatin1(kMethods[i].entryName),
                                          withAccessKey(QString::fromLatin1(kMethods[i].caption), taken));
            set.methods[0]->setChecked(true);
            break;
        case EntryList::RecentFiles: addList(menu, e, set.recentFiles, 0, [](int) { return QString(); }); break;
        case EntryList::IgnoreImages:
            addList(menu, e, set.ignoreImages, 0, [&](int i) { return QStringLiteral("%1 %2").arg(caption).arg(i + 1); });
            break;
        case EntryList::SourceWindows: addList(menu, e, set.sourceWindows, 1, [&](int) { return caption; }); break;
        case EntryList::MontageWindows: addList(menu, e, set.montageWindows, 0, [&](int) { return caption; }); break;
        }
    }
    return set;
}

ActionSet buildMenuBar(QMenuBar* bar) {
    bar->setObjectName(QStringLiteral("menuBar"));
    ActionSet all;
    QString taken; // the menu bar's access keys: Alt+F opens File
    for (const MenuSpec& m : kMenuBar) {
        const QString caption = QString::fromLatin1(m.caption);
        QMenu* menu = bar->addMenu(m.enabled ? withAccessKey(caption, taken) : caption);
        menu->setObjectName(QString::fromLatin1(m.name));
        menu->setAccessibleName(caption.trimmed());
        if (!m.enabled) {
            // The blank spacer before File keeps its name but is not there to take the focus.
            menu->menuAction()->setObjectName(QString::fromLatin1(m.name));
            menu->setEnabled(false);
            menu->menuAction()->setVisible(false);
        }
        const ActionSet part = buildMenu(menu, m.entries);
        for (std::size_t c = 0; c < part.byCommand.size(); ++c)
            if (part.byCommand[c]) all.byCommand[c] = part.byCommand[c];
        auto take = [](auto& to, const auto& from) {
            if (from[0]) to = from;
        };
        take(all.methods, part.methods);
        take(all.recentFiles, part.recentFiles);
        take(all.ignoreImages, part.ignoreImages);
        take(all.sourceWindows, part.sourceWindows);
        take(all.montageWindows, part.montageWindows);
        // Shortcuts work whichever window of the program is in front.
        for (QAction* a : menu->actions())
            if (!a->shortcut().isEmpty()) a->setShortcutContext(Qt::ApplicationShortcut);
    }
    return all;
}

} // namespace orv
