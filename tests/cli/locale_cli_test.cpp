// The user's locale does not change what orvanta-cli reads or writes: in a locale whose decimal
// sign is a comma, "-i 15.5" is still a block side of 16, and the score, the alignment lines and
// the progress lines keep the point.
#include "cli_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace orv::test;

namespace {

// An installed locale that writes numbers with a decimal comma; empty when the machine has none.
std::string commaLocale() {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::string found;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "it_IT.UTF-8",
                             "es_ES.UTF-8", "ru_RU.UTF-8", "pt_BR.UTF-8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_NUMERIC, name) && std::string(std::localeconv()->decimal_point) == ",") {
            found = name;
            break;
        }
    }
    std::setlocale(LC_NUMERIC, before.c_str());
    return found;
}

ProcessResult runIn(const std::string& locale, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QString::fromStdString(locale));
    env.insert(QStringLiteral("LANG"), QString::fromStdString(locale));
    p.setProcessEnvironment(env);
    p.start(binary(QStringLiteral("orvanta-cli")), args);
    return finishedRun(p);
}

TEST(LocaleCli, ADecimalCommaLocaleMakesTheSameMontageReportAndScore) {
    const std::string comma = commaLocale();
    if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
    QTemporaryDir dir;
    const auto g = runProgram("make-sample-series", {dir.path() + "/s", "--count", "3", "--size", "120x90", "--no-truth"});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    const QString first = dir.path() + "/s/sample01.bmp";
    auto args = [&](const QString& name) {
        return QStringList{"--progress", "json", "-i", "15.5", "--align", "--score", "--map", dir.path() + "/" + name + ".txt",
                           "-o", dir.path() + "/" + name + ".bmp", first};
    };
    const ProcessResult plain = runIn("C", args("c"));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const ProcessResult local = runIn(comma, args("comma"));
    ASSERT_EQ(local.exitCode, 0) << local.err;
    // The report (increment, alignment lines, map) and the score, as the C locale writes them.
    EXPECT_EQ(local.out, plain.out);
    EXPECT_NE(local.out.find("Quality score = "), std::string::npos) << local.out;
    // Every progress line holds its numbers as JSON does.
    for (std::size_t at = local.err.find("\"seconds_left\":"); at != std::string::npos;
         at = local.err.find("\"seconds_left\":", at + 1)) {
        const std::string value = local.err.substr(at + 15, local.err.find('}', at) - at - 15);
        EXPECT_EQ(value.find(','), std::string::npos) << value;
    }
    QFile a(dir.path() + "/c.bmp"), b(dir.path() + "/comma.bmp");
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll());
}

} // namespace
