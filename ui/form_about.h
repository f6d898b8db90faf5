// The About dialog: product name, version from the build, description, a warning notice, and a
// button that starts whichever system-information tool the machine has.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;

namespace orv {
class Prompter;
}

// "Version " + major.minor.revision of a build version text such as "0.1.0"; missing parts read
// as 0 and parts after the third are dropped.
QString aboutVersionText(const QString& buildVersion);

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    // Finds a program on PATH (an empty text when absent); starts a program, true on success.
    using ProgramFinder = std::function<QString(const QString& name)>;
    using ProgramStarter = std::function<bool(const QString& path)>;

    // The system-information tools tried, in order of preference.
    static QStringList systemInfoTools();

    explicit FrmAbout(orv::Prompter& prompter, QWidget* parent = nullptr);

    void setProgramFinder(ProgramFinder finder);
    void setProgramStarter(ProgramStarter starter);

    void cmdOK_Click();
    void cmdSysInfo_Click();

private:
    orv::Prompter& prompter_;
    ProgramFinder finder_;
    ProgramStarter starter_;
};
