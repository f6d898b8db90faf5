// The common dialog and its two back ends.
#include "ui/common_dialog.h"

#include "ui/message_box_prompter.h"
#include "ui/path_text.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orv {

namespace {

bool isFolder(const std::string& name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_directory(name, ec);
}

} // namespace

bool CommonDialog::run(DialogKind kind, QPrinter* printer) {
    DialogRequest r{kind, Filter, FilterIndex, FileName, InitDir, Flags, Color, Brush, kind == DialogKind::Save, Target};
    if (!backend_ || !backend_->show(r, printer)) return false;
    if (kind == DialogKind::Open || kind == DialogKind::Save) {
        if (r.fileName.isEmpty()) return false;
        FileName = r.fileName;
    } else if (kind == DialogKind::Color) {
        Color = r.color & 0xFFFFFF;
    } else if (kind == DialogKind::Brush) {
        Brush.radius = std::clamp(r.brush.radius, 1, 1000);
        Brush.hardness = std::clamp(r.brush.hardness, 0, 100);
        Brush.opacity = std::clamp(r.brush.opacity, 1, 100);
        Brush.match = r.brush.match;
    } else if (kind == DialogKind::Target) {
        Target.x = std::clamp(r.target.x, 0, std::max(0, Target.width - 1));
        Target.y = std::clamp(r.target.y, 0, std::max(0, Target.height - 1));
    }
    return true;
}

bool CommonDialog::ShowSave(const SaveCheck& check) {
    for (;;) {
        if (!run(DialogKind::Save, nullptr)) return false;
        const std::optional<QString> target = check ? check(FileName) : std::optional<QString>(FileName);
        if (!target) continue;
        // A folder is not replaced: writing there fails with its own message.
        std::error_code ec;
        const std::string bytes = pathBytes(*target);
        const bool there = !bytes.empty() && std::filesystem::exists(std::filesystem::symlink_status(bytes, ec)) &&
                           !std::filesystem::is_directory(bytes, ec);
        if ((Flags & kFlagOverwritePrompt) && there && !backend_->confirmReplace(*target)) continue;
        FileName = *target;
        return true;
    }
}

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        const QString pattern = parts[i + 1];
        if (desc.isEmpty() && pattern.isEmpty()) continue;
        // Qt takes the patterns from the last parenthesis of the text: show ours there, once.
        if (desc.endsWith(')')) {
            const int open = desc.lastIndexOf('(');
            if (open >= 0) desc = desc.left(open).trimmed();
        }
        QStringList globs;
        for (const QString& g : pattern.split(';', Qt::SkipEmptyParts)) {
            const QString glob = g.trimmed() == "*.*" ? QStringLiteral("*") : g.trimmed();
            globs << glob;
            // File names are case-sensitive here; pictures often come as ".JPG".
            if (glob != glob.toUpper()) globs << glob.toUpper();
        }
        out << QStringLiteral("%1 (%2)").arg(desc, globs.join(' '));
    }
    return out;
}

QString dialogFolder(const QString& initDir) {
    // By bytes: the folder's name need not be UTF-8.
    if (initDir.isEmpty()) return QDir::homePath();
    std::string name = absolutePathBytes(pathBytes(initDir));
    if (name.size() > 1 && name.back() == '/') name.pop_back();
    // A folder that was renamed or removed since: the nearest folder above it that is still there,
    // short of the root (nothing of the name is left then).
    if (name == "/") return pathText(name);
    for (std::filesystem::path p(name); p.has_relative_path(); p = p.parent_path())
        if (isFolder(p.native())) return pathText(p.native());
    return QDir::homePath();
}

QString chosenFileName(const QString& chosen) {
    // Qt decodes the names it lists, turning bytes that are not UTF-8 into U+FFFD; each step of
    // the chosen path that holds one is looked up in its folder by its bytes.
    if (!chosen.contains(QChar::ReplacementCharacter) || !chosen.startsWith(QLatin1Char('/'))) return chosen;
    std::string bytes;
    const QStringList steps = chosen.split(QLatin1Char('/'));
    for (qsizetype i = 1; i < steps.size(); ++i) {
        const QString& step = steps[i];
        std::string found = pathBytes(step);
        if (step.contains(QChar::ReplacementCharacter)) {
            int matches = 0;
            std::error_code ec;
            for (std::filesystem::directory_iterator it(bytes.empty() ? "/" : bytes, ec), end; !ec && it != end;
                 it.increment(ec)) {
                const std::string entry = it->path().filename().native();
                if (QFile::decodeName(QByteArray::fromStdString(entry)) == step && ++matches == 1) found = entry;
            }
            // Two entries that look alike stay unresolved: the name is not guessed.
            if (matches != 1) return chosen;
        }
        bytes += "/" + found;
    }
    return pathText(bytes);
}

namespace {

// The nearest folder up from `folder` whose name Qt's dialog can open: Qt passes names to the
// system as UTF-8, which a folder named by other bytes is not.
QString qtFolder(QString folder) {
    while (QFile::encodeName(folder).toStdString() != pathBytes(folder) && folder.contains(QLatin1Char('/'))) {
        folder.truncate(folder.lastIndexOf(QLatin1Char('/')));
        if (folder.isEmpty()) return QStringLiteral("/");
    }
    return folder;
}

// Qt's file dialog, which checks a choice by the name it decoded: a file whose name is not UTF-8
// (listed with U+FFFD) is "not found" when opened, and is not known to exist when saved over, so
// no question would be asked. Such a choice is checked by its bytes instead.
class ByteNameFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.size() != 1 || !files.first().contains(QChar::ReplacementCharacter)) return QFileDialog::accept();
        const QString found = chosenFileName(files.first());
        if (found == files.first()) return QFileDialog::accept();
        std::error_code ec;
        const std::string bytes = pathBytes(found);
        if (acceptMode() == AcceptOpen) {
            if (std::filesystem::is_regular_file(bytes, ec)) QDialog::accept();
            else QFileDialog::accept();
            return;
        }
        if (std::filesystem::is_directory(bytes, ec)) return QFileDialog::accept();
        if (std::filesystem::exists(bytes, ec) && !testOption(DontConfirmOverwrite) &&
            askWarning(this, windowTitle(),
                       QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                           .arg(QString::fromStdString(std::filesystem::path(bytes).filename().native())),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
        QDialog::accept();
    }
};

QColor toQColor(std::uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
std::uint32_t fromQColor(const QColor& c) {
    return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
}

} // namespace

static bool showBrushDialog(BrushChoice& b, QWidget* parent) {
    QDialog d(parent);
    d.setObjectName(QStringLiteral("frmRetouchBrush"));
    d.setWindowTitle(QString::fromLatin1(kBrushDialogTitle));
    auto* form = new QFormLayout(&d);
    auto spin = [&](const char* name, int low, int high, int value, const char* suffix) {
        auto* s = new QSpinBox(&d);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(low, high);
        s->setValue(value);
        s->setSuffix(QString::fromLatin1(suffix));
        return s;
    };
    QSpinBox* radius = spin("spinRadius", 1, 1000, b.radius, " pixels");
    QSpinBox* hardness = spin("spinHardness", 0, 100, b.hardness, " %");
    QSpinBox* opacity = spin("spinOpacity", 1, 100, b.opacity, " %");
    // Access keys: Alt+letter moves to the box a label names (the label is its buddy). O and C
    // stay free for OK and Cancel, which some desktops give access keys.
    auto* match = new QCheckBox(QObject::tr("&Match brightness to the surroundings"), &d);
    match->setObjectName(QStringLiteral("checkMatch"));
    match->setChecked(b.match);
    form->addRow(QObject::tr("&Radius"), radius);
    form->addRow(QObject::tr("&Hardness"), hardness);
    form->addRow(QObject::tr("O&pacity"), opacity);
    form->addRow(match);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(buttons);
    if (d.exec() != QDialog::Accepted) return false;
    b = BrushChoice{radius->value(), hardness->value(), opacity->value(), match->isChecked()};
    return true;
}

static bool showTargetDialog(TargetChoice& t, QWidget* parent) {
    QDialog d(parent);
    d.setObjectName(QStringLiteral("frmOffsetTarget"));
    d.setWindowTitle(QString::fromLatin1(kTargetDialogTitle));
    auto* form = new QFormLayout(&d);
    auto spin = [&](const char* name, int size, int value) {
        auto* s = new QSpinBox(&d);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(0, std::max(0, size - 1));
        s->setValue(value);
        s->setSuffix(QObject::tr(" pixels"));
        return s;
    };
    QSpinBox* x = spin("spinTargetX", t.width, t.x);
    QSpinBox* y = spin("spinTargetY", t.height, t.y);
    // The centre in the picture's own pixels, counted from its top-left corner; Alt+letter moves
    // to a box (O and C stay free for OK and Cancel).
    form->addRow(QObject::tr("Centre &across (from the left)"), x);
    form->addRow(QObject::tr("Centre &down (from the top)"), y);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(buttons);
    if (d.exec() != QDialog::Accepted) return false;
    t.x = x->value();
    t.y = y->value();
    return true;
}

bool QtDialogBackend::show(DialogRequest& r, QPrinter* printer) {
    switch (r.kind) {
    case DialogKind::Open:
    case DialogKind::Save: {
        ByteNameFileDialog d(parent_);
        const bool save = r.kind == DialogKind::Save;
        d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        d.setWindowTitle(save ? QObject::tr("Save As") : QObject::tr("Open"));
        const QStringList filters = qtNameFilters(r.filter);
        d.setNameFilters(filters);
        if (!filters.isEmpty()) d.selectNameFilter(filters.value(std::max(0, r.filterIndex - 1)));
        d.setDirectory(qtFolder(dialogFolder(r.initDir)));
        if (!(r.flags & kFlagOverwritePrompt) || r.replaceAskedAfter) d.setOption(QFileDialog::DontConfirmOverwrite);
        if (!r.fileName.isEmpty()) {
            // A name with a folder opens the dialog in that folder, ahead of InitDir, as the
            // platform's own dialog does (Save As proposes the series' folder this way).
            const std::filesystem::path named(pathBytes(r.fileName));
            if (named.is_absolute() && isFolder(named.parent_path().native()))
                d.setDirectory(qtFolder(pathText(named.parent_path().native())));
            d.selectFile(pathText(named.filename().native()));
        }
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
        r.fileName = chosenFileName(d.selectedFiles().first());
        return true;
    }
    case DialogKind::Color: {
        const QColor initial = (r.flags & kFlagColorInitial) ? toQColor(r.color) : QColor(Qt::black);
        const QColor c = QColorDialog::getColor(initial, parent_);
        if (!c.isValid()) return false;
        r.color = fromQColor(c);
        return true;
    }
    case DialogKind::Print: {
        if (!printer) return false;
        QPrintDialog d(printer, parent_);
        return d.exec() == QDialog::Accepted;
    }
    case DialogKind::Brush: return showBrushDialog(r.brush, parent_);
    case DialogKind::Target: return showTargetDialog(r.target, parent_);
    }
    return false;
}

bool QtDialogBackend::confirmReplace(const QString& fileName) {
    const QString shown = pathText(std::filesystem::path(pathBytes(fileName)).filename().native());
    return askWarning(parent_, QObject::tr("Save As"),
                      QFileDialog::tr("%1 already exists.\nDo you want to replace it?").arg(shown),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool ScriptedDialogBackend::confirmReplace(const QString& fileName) {
    replaceQuestions.push_back(fileName);
    if (replaceScript_.empty()) return true;
    const bool yes = replaceScript_.front();
    replaceScript_.pop_front();
    return yes;
}

bool ScriptedDialogBackend::show(DialogRequest& r, QPrinter*) {
    requests.push_back(r);
    if (script_.empty()) return false;
    const std::optional<Answer> a = script_.front();
    script_.pop_front();
    if (!a) return false;
    if (a->fileName) r.fileName = *a->fileName;
    if (a->color) r.color = *a->color;
    if (a->brush) r.brush = *a->brush;
    if (a->target) {
        r.target.x = a->target->x;
        r.target.y = a->target->y;
    }
    return true;
}

} // namespace orv
