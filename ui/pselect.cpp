// The Printer Wizard and the user's default printer in the CUPS options file.
#include "ui/pselect.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"
#include "ui/path_text.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <sys/stat.h>

namespace orv {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// A destination line: its keyword, the destination name and the options after it.
struct DestLine {
    std::string keyword; // "Dest" or "Default" in any case; empty for other lines
    std::string name;
    std::string options;
};

DestLine parseLine(const std::string& line) {
    std::istringstream in(line);
    DestLine d;
    std::string keyword;
    in >> keyword;
    if (!sameName(keyword, "dest") && !sameName(keyword, "default")) return d;
    d.keyword = keyword;
    in >> d.name;
    std::getline(in, d.options);
    const std::size_t start = d.options.find_first_not_of(" \t");
    d.options = start == std::string::npos ? std::string() : d.options.substr(start);
    return d;
}

std::string destLine(const char* keyword, const DestLine& d) {
    return std::string(keyword) + " " + d.name + (d.options.empty() ? "" : " " + d.options);
}

} // namespace

PrinterList systemPrinters() {
    PrinterList list;
    for (const QPrinterInfo& p : QPrinterInfo::availablePrinters())
        list.printers.push_back(PrinterEntry{p.printerName(), p.makeAndModel(), p.location()});
    list.defaultPrinter = QPrinterInfo::defaultPrinterName();
    return list;
}

QString userPrinterOptionsPath() {
    // HOME by its bytes: a home folder's name need not be UTF-8.
    const QByteArray home = qgetenv("HOME");
    const QString folder = home.isEmpty() ? QDir::homePath() : pathText(home.toStdString());
    return folder + "/.cups/lpoptions";
}

std::string withDefaultPrinter(const std::string& lpoptions, const std::string& name) {
    std::istringstream in(lpoptions);
    std::string out;
    bool named = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const DestLine d = parseLine(line);
        if (d.keyword.empty()) {
            out += line + "\n";
        } else if (sameName(d.name, name)) {
            if (!named) out += destLine("Default", d) + "\n";
            named = true;
        } else if (sameName(d.keyword, "default")) {
            // The old default stays only as far as it carries options of its own.
            if (!d.options.empty()) out += destLine("Dest", d) + "\n";
        } else {
            out += line + "\n";
        }
    }
    if (!named) out += "Default " + name + "\n";
    return out;
}

void writeUserDefaultPrinter(const QString& name) {
    const std::filesystem::path path(pathBytes(userPrinterOptionsPath()));
    const std::filesystem::path folder = path.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) throw RuntimeError(75);
    ::chmod(folder.c_str(), 0700);
    std::string old;
    if (std::filesystem::exists(path, ec)) {
        std::ifstream f(path, std::ios::binary);
        if (!f) throw RuntimeError(70);
        old.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    const std::string text = withDefaultPrinter(old, name.toStdString());
    writeFileAtomically(path.native(), std::vector<std::uint8_t>(text.begin(), text.end()));
}

Pselect::Pselect(PrinterList printers, Prompter& prompter, QWidget* owner)
    : QDialog(owner), printers_(std::move(printers)), prompter_(prompter) {
    setObjectName(QStringLiteral("Pselect"));
    setWindowTitle(QString::fromLatin1(kPselectCaption));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    lblDefault_ = new QLabel(this);
    lblDefault_->setObjectName(QStringLiteral("Lbl_Default"));
    lblDefault_->setTextFormat(Qt::PlainText);
    label1_ = new QLabel(QStringLiteral("Current &Devices"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("Lst_Devices"));
    label1_->setBuddy(list_);
    // A list takes no name from its label: a screen reader says it by this one.
    list_->setAccessibleName(QStringLiteral("Current Devices"));
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("Cmd_Test"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("Cmd_Exit"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addWidget(lblDefault_);
    layout->addWidget(label1_);
    layout->addWidget(list_);
    layout->addLayout(buttons);

    // The current printer: its name and where it is.
    QString port;
    for (const PrinterEntry& p : printers_.printers)
        if (p.name == printers_.defaultPrinter) port = p.port;
    lblDefault_->setText(QStringLiteral("Current Printer:\n") + printers_.defaultPrinter +
                         (port.isEmpty() ? QString() : QStringLiteral(" on ") + port));

    connect(list_, &QListWidget::currentRowChanged, this, &Pselect::Lst_Devices_Click);
    for (const PrinterEntry& p : printers_.printers) {
        list_->addItem(p.name);
        if (p.name == printers_.defaultPrinter) list_->setCurrentRow(list_->count() - 1);
    }
    connect(ok_, &QPushButton::clicked, this, &Pselect::Cmd_Test_Click);
    connect(cancel_, &QPushButton::clicked, this, &Pselect::Cmd_Exit_Click);
}

void Pselect::Lst_Devices_Click() {
    const int row = list_->currentRow();
    if (row < 0 || row >= int(printers_.printers.size())) return;
    const PrinterEntry& p = printers_.printers[std::size_t(row)];
    selection_ = p.name + "," + p.driver + "," + p.port;
    selectedName_ = p.name;
}

void Pselect::Cmd_Test_Click() {
    // Nothing chosen (no printer matched the default and none was clicked): nothing to write.
    if (!selection_.isEmpty()) {
        const QString name = selectedName_;
        try {
            writeUserDefaultPrinter(name);
        } catch (...) {
            const RuntimeError e = currentError();
            prompter_.ask(PromptIcon::Critical,
                          "I could not make  '" + name.toStdString() + "'  your default printer:  " + e.description() +
                              " (" + pathBytes(userPrinterOptionsPath()) + ").",
                          kPselectCaption);
            return;
        }
    }
    accept();
}

void Pselect::Cmd_Exit_Click() { reject(); }

void showPrinterWizard(QWidget* owner, Prompter& prompter) {
    Pselect dialog(systemPrinters(), prompter, owner);
    dialog.exec();
}

} // namespace orv
