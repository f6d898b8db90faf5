// Menus described as tables of (objectName, caption) entries; an empty name is a separator.
#pragma once

#include <QMenu>

#include <span>

namespace orv {

struct MenuEntry {
    const char* name;
    const char* caption;
};

inline void addMenuEntries(QMenu* menu, std::span<const MenuEntry> entries) {
    for (const MenuEntry& e : entries) {
        QAction* a = e.name[0] ? menu->addAction(QString::fromLatin1(e.caption)) : menu->addSeparator();
        if (e.name[0]) a->setObjectName(QString::fromLatin1(e.name));
    }
}

} // namespace orv
