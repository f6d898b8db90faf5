// File names between bytes and Qt's text: every byte string comes back as it went in, valid UTF-8
// reads as Qt reads it, the boxes keep what they are given, and a name Qt's own file dialog
// decoded is found again by its bytes.
#include "event_watch.h"
#include "series_fixture.h"

#include "support/case_name.h"
#include "ui/common_dialog.h"
#include "ui/path_text.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QLineEdit>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

struct BytesCase {
    const char* label;
    std::string bytes;
    int escaped; // bytes that are not part of a valid UTF-8 sequence
};

// Failures name the case, not its bytes.
void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.label; }

std::string caseLabel(const ::testing::TestParamInfo<BytesCase>& info) { return caseName(info.param.label); }

// Lone surrogates in U+DC80..U+DCFF (the low half of a pair is a character's own).
int escapesIn(const QString& text) {
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
        else n += text[i].unicode() >= 0xDC80 && text[i].unicode() <= 0xDCFF;
    }
    return n;
}

class PathTextBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(PathTextBytes, ComeBackAsTheyWentIn) {
    const BytesCase& c = GetParam();
    const QString text = pathText(c.bytes);
    EXPECT_EQ(pathBytes(text), c.bytes);
    EXPECT_EQ(escapesIn(text), c.escaped);
    // Valid UTF-8 reads exactly as Qt reads it.
    if (c.escaped == 0) {
        EXPECT_EQ(text, QString::fromUtf8(c.bytes.data(), qsizetype(c.bytes.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PathTextBytes,
    ::testing::Values(BytesCase{"plain", "/home/ann/rock01.bmp", 0},
                      BytesCase{"latin1 e acute", "/p/caf\xe9/a01.bmp", 1},
                      BytesCase{"utf8 e acute", "/p/caf\xc3\xa9/a01.bmp", 0},
                      BytesCase{"line end", "/p/two\nlines/a01.bmp", 0},
                      BytesCase{"euro and emoji", "/p/\xe2\x82\xac\xf0\x9f\x98\x80/a.bmp", 0},
                      BytesCase{"cut sequence", "/p/\xe2\x82/a.bmp", 2},
                      BytesCase{"overlong slash", "/p/\xc0\xaf/a.bmp", 2},
                      BytesCase{"encoded surrogate", "/p/\xed\xa0\x80/a.bmp", 3},
                      BytesCase{"past U 10FFFF", "/p/\xf4\x90\x80\x80/a.bmp", 4},
                      BytesCase{"stray continuation", "\x80\xbf", 2},
                      BytesCase{"astral then escaped byte", "\xf0\x90\x82\x80\xe9", 1},
                      BytesCase{"escape then valid", "\xff\xc3\xa9", 1}),
    caseLabel);

TEST(PathText, EveryTwoByteNameAndManyRandomOnesComeBack) {
    for (int a = 1; a < 256; ++a)
        for (int b = 1; b < 256; ++b) {
            const std::string s{char(a), char(b)};
            ASSERT_EQ(pathBytes(pathText(s)), s) << a << " " << b;
        }
    std::mt19937 random(27);
    for (int n = 0; n < 20000; ++n) {
        std::string s(random() % 12, '\0');
        for (char& c : s) c = char(1 + random() % 255);
        ASSERT_EQ(pathBytes(pathText(s)), s);
    }
}

TEST(PathText, ABadByteIsItsOwnSurrogateAndAStraySurrogateIsAReplacement) {
    EXPECT_EQ(pathText("caf\xe9"), QStringLiteral("caf") + QChar(0xDCE9));
    EXPECT_EQ(pathBytes(QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b")), "a\xef\xbf\xbd" "b");
    EXPECT_EQ(pathBytes(QStringLiteral("a") + QChar(0xDC41)), "a\xef\xbf\xbd");
}

TEST(PathText, TheFileNameBoxKeepsBadBytesAndLineEnds) {
    QLineEdit box;
    for (const std::string& name : {std::string("/p/caf\xe9/a01.bmp"), std::string("/p/two\nlines/a01.bmp")}) {
        box.setText(pathText(name));
        EXPECT_EQ(pathBytes(box.text()), name);
    }
}

TEST(PathText, AbsoluteNamesAreMadeByBytes) {
    EXPECT_EQ(absolutePathBytes("/p/./caf\xe9//x/../a01.bmp"), "/p/caf\xe9/a01.bmp");
    EXPECT_EQ(absolutePathBytes("caf\xe9/a01.bmp"), std::filesystem::current_path().native() + "/caf\xe9/a01.bmp");
    EXPECT_EQ(absolutePathBytes("/p/folder/"), "/p/folder/");
}

// A folder whose name holds a byte that is not UTF-8, with one file in it.
struct LatinFolder {
    SeriesFolder files;
    std::string folder = files.path("caf\xe9");
    std::string file = folder + "/a01.bmp";
    LatinFolder() {
        std::filesystem::create_directory(folder);
        std::ofstream(file) << "x";
    }
    // The name as Qt's dialogs give it: Qt decodes what it lists.
    QString asQtListsIt(const std::string& name) const { return QFile::decodeName(QByteArray::fromStdString(name)); }
};

TEST(CommonDialogNames, AChoiceQtDecodedIsFoundAgainByItsBytes) {
    LatinFolder f;
    ASSERT_TRUE(f.asQtListsIt(f.file).contains(QChar::ReplacementCharacter));
    EXPECT_EQ(pathBytes(chosenFileName(f.asQtListsIt(f.file))), f.file);
    // A new name typed into a Save dialog in that folder keeps the folder's bytes.
    EXPECT_EQ(pathBytes(chosenFileName(f.asQtListsIt(f.folder + "/new.bmp"))), f.folder + "/new.bmp");
    // A name without a lossy step is left alone.
    EXPECT_EQ(chosenFileName(QStringLiteral("/p/caf\u00e9/a01.bmp")), QStringLiteral("/p/caf\u00e9/a01.bmp"));
}

TEST(CommonDialogNames, TwoEntriesThatDecodeAlikeAreNotGuessed) {
    LatinFolder f;
    std::filesystem::create_directory(f.files.path("caf\xe8"));
    const QString chosen = f.asQtListsIt(f.file);
    EXPECT_EQ(chosenFileName(chosen), chosen);
}

TEST(CommonDialogNames, TheFolderOfANameThatIsNotUtf8IsFoundByItsBytes) {
    LatinFolder f;
    EXPECT_EQ(pathBytes(dialogFolder(pathText(f.file))), f.folder);
    EXPECT_EQ(pathBytes(dialogFolder(pathText(f.folder))), f.folder);
    EXPECT_EQ(pathBytes(dialogFolder(pathText(f.folder + "/missing01.bmp"))), f.folder);
}

// A file whose own name is not UTF-8, in a folder Qt's dialog can open.
struct LatinFile {
    SeriesFolder files;
    std::string file = files.path("caf\xe9.bmp");
    LatinFile() { std::ofstream(file) << "x"; }
    QString listed() const { return QFile::decodeName(QByteArray::fromStdString("caf\xe9.bmp")); }
    // The name as the user picks it: the dialog's name box holds it as Qt lists it.
    void type(QFileDialog* d) const { d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(listed()); }
};

TEST(QtFileDialog, OpensAFileWhoseNameIsNotUtf8ByItsBytes) {
    LatinFile f;
    QtDialogBackend backend(nullptr);
    DialogRequest r;
    r.filter = QString::fromLatin1(kPictureFilter);
    r.initDir = pathText(f.files.folder());
    QString refused; // Qt's own check says "File not found"
    std::unique_ptr<QTimer> box;
    const auto dialog = onNextModal<QFileDialog>([&](QFileDialog* d) {
        box = onNextModal<QMessageBox>([&](QMessageBox* m) {
            refused = m->text();
            m->reject();
        });
        f.type(d);
        QMetaObject::invokeMethod(d, "accept");
        if (d->isVisible()) d->reject();
    });
    ASSERT_TRUE(backend.show(r, nullptr)) << refused.toStdString();
    EXPECT_EQ(pathBytes(r.fileName), f.file);
}

TEST(QtFileDialog, AsksBeforeSavingOverAFileWhoseNameIsNotUtf8) {
    LatinFile f;
    QtDialogBackend backend(nullptr);
    auto request = [&] {
        DialogRequest r;
        r.kind = DialogKind::Save;
        r.filter = QString::fromLatin1(kSaveAsFilter);
        r.initDir = pathText(f.files.folder());
        r.flags = kFlagOverwritePrompt;
        return r;
    };
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString asked;
        std::unique_ptr<QTimer> box;
        const auto dialog = onNextModal<QFileDialog>([&](QFileDialog* d) {
            box = onNextModal<QMessageBox>([&](QMessageBox* m) {
                asked = m->text();
                m->button(answer)->click();
            });
            f.type(d);
            QMetaObject::invokeMethod(d, "accept");
            if (d->isVisible()) d->reject();
        });
        DialogRequest r = request();
        const bool chosen = backend.show(r, nullptr);
        EXPECT_TRUE(asked.startsWith(f.listed() + QStringLiteral(" already exists."))) << asked.toStdString();
        EXPECT_EQ(chosen, answer == QMessageBox::Yes);
        if (chosen) {
            EXPECT_EQ(pathBytes(r.fileName), f.file);
        }
    }
}

// Save through the common dialog with Qt's dialog: the caller's check sees the choice first, and
// the one replace question is about the file the check says will be written.
TEST(QtFileDialog, TheReplaceQuestionIsAskedOnceAboutTheFileWrittenAfterTheCallersCheck) {
    SeriesFolder files;
    std::ofstream(files.path("proj.mon")) << "old";
    std::ofstream(files.path("photo.bmp")) << "photo";
    auto type = [](QFileDialog* d, const QString& name) {
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
        QMetaObject::invokeMethod(d, "accept");
    };
    // "proj" typed: the ".mon" file is asked about; "no" shows the dialog again, which is cancelled.
    {
        CommonDialog dialog(std::make_unique<QtDialogBackend>(nullptr));
        dialog.InitDir = pathText(files.folder());
        dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
        QStringList asked;
        int shown = 0;
        std::unique_ptr<QTimer> box, again;
        const auto first = onNextModal<QFileDialog>([&](QFileDialog* d) {
            ++shown;
            box = onNextModal<QMessageBox>([&](QMessageBox* m) {
                asked << m->text();
                again = onNextModal<QFileDialog>([&](QFileDialog* d2) {
                    ++shown;
                    d2->reject();
                });
                m->button(QMessageBox::No)->click();
            });
            type(d, QStringLiteral("proj"));
        });
        const bool chosen = dialog.ShowSave([](const QString& c) -> std::optional<QString> { return c + ".mon"; });
        EXPECT_FALSE(chosen);
        EXPECT_EQ(shown, 2);
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].startsWith(QStringLiteral("proj.mon already exists."))) << asked[0].toStdString();
    }
    // An existing file the check refuses is not asked about at all: the dialog comes again.
    {
        CommonDialog dialog(std::make_unique<QtDialogBackend>(nullptr));
        dialog.InitDir = pathText(files.folder());
        dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
        int boxes = 0, checks = 0;
        std::unique_ptr<QTimer> box, again;
        const auto first = onNextModal<QFileDialog>([&](QFileDialog* d) {
            box = onNextModal<QMessageBox>([&](QMessageBox* m) {
                ++boxes;
                m->button(QMessageBox::Yes)->click();
            });
            type(d, QStringLiteral("photo.bmp"));
        });
        const bool chosen = dialog.ShowSave([&](const QString&) -> std::optional<QString> {
            ++checks;
            again = onNextModal<QFileDialog>([](QFileDialog* d2) { d2->reject(); });
            return std::nullopt;
        });
        EXPECT_FALSE(chosen);
        EXPECT_EQ(checks, 1);
        EXPECT_EQ(boxes, 0);
    }
    std::ifstream in(files.path("proj.mon"));
    std::string text;
    in >> text;
    EXPECT_EQ(text, "old");
}

} // namespace
