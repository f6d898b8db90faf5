// Running orvanta-cli from the window tests, to hold the desktop program's montage against it.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <string>

namespace orv::testing {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// orvanta-cli sits beside the test program.
inline CliRun runCli(const QStringList& args) {
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/orvanta-cli", args);
    CliRun r;
    if (!p.waitForFinished(120000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

inline std::string readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

} // namespace orv::testing
