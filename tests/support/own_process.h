// Tests that measure the process's memory (its resident set's growth, or a cap a little above what
// it holds) measure what earlier tests of the same process left behind as well: free blocks kept
// in the allocator's heaps, a finished thread's heap taken over by a new thread. Such a test runs
// as it is where the process runs no other test (as ctest runs each), and elsewhere runs itself
// again in a process of its own, whose outcome is the test's:
//
//     if (!test::runsAlone()) return test::runInAProcessOfItsOwn();
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <string>

namespace orv::test {

// True when this process runs no test but the current one.
inline bool runsAlone() { return ::testing::UnitTest::GetInstance()->test_to_run_count() == 1; }

// Runs the current test in a new process of this test program and takes its outcome: passed,
// skipped (with the child's words) or failed (with everything the child said).
inline void runInAProcessOfItsOwn() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QString::fromStdString(std::string(info->test_suite_name()) + "." + info->name());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The one test, whatever share of the tests or filter this process was given.
    for (const char* key : {"GTEST_FILTER", "GTEST_TOTAL_SHARDS", "GTEST_SHARD_INDEX", "GTEST_REPEAT"})
        environment.remove(QString::fromLatin1(key));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + name});
    ASSERT_TRUE(child.waitForStarted(-1)) << child.errorString().toStdString();
    ASSERT_TRUE(child.waitForFinished(-1)) << child.errorString().toStdString();
    const std::string said = child.readAll().toStdString();
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
        said.find("[  SKIPPED ] 1 test") != std::string::npos)
        GTEST_SKIP() << "in a process of its own:\n" << said;
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << said;
    EXPECT_EQ(child.exitCode(), 0) << said;
    EXPECT_NE(said.find("[  PASSED  ] 1 test."), std::string::npos) << said;
}

} // namespace orv::test
