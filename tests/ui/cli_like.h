// Running orvanta-cli from the window tests, to hold the desktop program's montage against it.
#pragma once

#include "cli/cli_support.h"

#include <QFile>
#include <QStringList>

#include <string>

namespace orv::testing {

using CliRun = test::ProcessResult;

// orvanta-cli sits beside the test program.
inline CliRun runCli(const QStringList& args) { return test::runProgram(QStringLiteral("orvanta-cli"), args); }

inline std::string readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

} // namespace orv::testing
