// Pselect, the "Printer Wizard": lists the installed printers and makes the chosen one the user's
// default printer, written the way `lpoptions -d` writes it (the Default line of
// ~/.cups/lpoptions), so the next print uses it.
#pragma once

#include "base/prompt.h"

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace orv {

struct PrinterEntry {
    QString name;
    QString driver; // make and model
    QString port;   // location
};

// The installed printers and the current default, as the print system reports them.
struct PrinterList {
    std::vector<PrinterEntry> printers;
    QString defaultPrinter;
};
PrinterList systemPrinters();

// The user's printer options file: $HOME/.cups/lpoptions.
QString userPrinterOptionsPath();

// The options text with `name` made the default: its Dest or Default line becomes "Default name"
// (options kept), the old Default line becomes a Dest line when it carries options and goes
// otherwise, every other line stays. "Default name" is appended when no line names it.
std::string withDefaultPrinter(const std::string& lpoptions, const std::string& name);

// Rewrites the user's options file (folder made 0700, file written through a temporary file).
// Raises RuntimeError 70 / 75 / 61 when it cannot be written.
void writeUserDefaultPrinter(const QString& name);

inline constexpr const char* kPselectCaption = "Printer Wizard";

class Pselect : public QDialog {
    Q_OBJECT
public:
    // `prompter` tells the user when the choice cannot be written.
    Pselect(PrinterList printers, Prompter& prompter, QWidget* owner = nullptr);

    QLabel* Lbl_Default() const { return lblDefault_; }
    QLabel* Label1() const { return label1_; }
    QListWidget* Lst_Devices() const { return list_; }
    QPushButton* Cmd_Test() const { return ok_; }
    QPushButton* Cmd_Exit() const { return cancel_; }

    // The chosen printer as name, driver and port separated by commas; empty until one is chosen.
    const QString& selection() const { return selection_; }

private:
    void Lst_Devices_Click();
    void Cmd_Test_Click();
    void Cmd_Exit_Click();

    PrinterList printers_;
    Prompter& prompter_;
    QLabel* lblDefault_;
    QLabel* label1_;
    QListWidget* list_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString selection_;
    QString selectedName_; // a printer name may hold a comma, so it is kept apart
};

// "Select Printer": shows Pselect modally, owned by the main window, on the system's printers.
void showPrinterWizard(QWidget* owner, Prompter& prompter);

} // namespace orv
