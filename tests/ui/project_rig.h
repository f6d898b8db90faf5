// A main window that makes a montage of a small series and saves it as a project, for the tests
// of projects saved and opened.
#pragma once

#include "montage_fixture.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QSize>

#include <gtest/gtest.h>

#include <string>

namespace orv::testing {

inline QAction* entry(MontageRig& rig, const char* name) { return rig.form->menuAction(QString::fromLatin1(name)); }

inline QImage rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB888); }

inline bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// A montage of the series rock01.bmp, rock02.bmp, rock03.bmp and its project saved as rock01.mon.
struct ProjectRig : MontageRig {
    std::string first, project;
    ProjectRig() {
        writeTexturedSeries(files, "rock", 3, QSize(60, 40));
        first = files.path("rock01.bmp");
        project = files.path("rock01.mon");
    }
    void makeAndSave() {
        ASSERT_TRUE(make(first).made);
        dialogs->chooseFile(QString::fromStdString(project));
        entry(*this, "mnuSave")->trigger();
        ASSERT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
    }
};

} // namespace orv::testing
