// Running the built command-line programs from the tests: they sit in the test binary's folder.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <string>

namespace orv::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline QString binary(const QString& name) {
    return QCoreApplication::applicationDirPath() + "/" + name;
}

// Runs `p` (started) to its end, two minutes at the most.
inline ProcessResult finishedRun(QProcess& p) {
    ProcessResult r;
    if (!p.waitForFinished(120000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

inline ProcessResult runProgram(const QString& name, const QStringList& args,
                                const QString& workingDir = {}) {
    QProcess p;
    if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
    p.start(binary(name), args);
    return finishedRun(p);
}

inline std::string sharedData(const std::string& rel) {
    return std::string(ORVANTA_SHARED_DATA) + "/" + rel;
}

} // namespace orv::test
