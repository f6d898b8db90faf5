// The series loop at its limits: running out of memory ends a series with error 7, and a first
// number past 16 bits is error 6 rather than an empty series.
#include "input/memory_budget.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "input/test_files.h"

#include "base/runtime_error.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <new>

using namespace orv;
using namespace orv::test;

namespace {

// Loads a series whose file k fails with `failure` (k from 1); the others load.
SeriesResult loadFailingAt(int failingFile, const std::function<void()>& failure, int* calls = nullptr) {
    const SeriesName series = *parseSeriesName("/p/s1.bmp");
    return loadSeriesFiles(series, [&](int k, const std::string&) {
        if (calls) ++*calls;
        if (k == failingFile) failure();
        return k <= 5 ? DecodeStatus::Ok : DecodeStatus::Missing;
    });
}

} // namespace

TEST(SeriesLimits, OutOfMemoryWhileLoadingEndsTheSeriesWithErrorSeven) {
    SeriesResult r = loadFailingAt(3, [] { throw std::bad_alloc(); });
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.failure, 7);
    EXPECT_EQ(r.currentFileName, "/p/s3.bmp");
    r = loadFailingAt(1, [] { throw RuntimeError(7); });
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.failure, 7);
    // Other errors are the caller's to handle, as before.
    EXPECT_THROW(loadFailingAt(2, [] { throw RuntimeError(5); }), RuntimeError);
    r = loadFailingAt(0, [] {});
    EXPECT_EQ(r.count, 5);
    EXPECT_EQ(r.failure, 0);
}

TEST(SeriesLimits, AFirstNumberPast16BitsIsAnOverflowNotAnEmptySeries) {
    int calls = 0;
    auto load = [&](int, const std::string&) {
        ++calls;
        return DecodeStatus::Ok;
    };
    SeriesResult r = loadSeriesFiles(*parseSeriesName("/p/shot32768.bmp"), load);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.failure, 6);
    EXPECT_EQ(calls, 0);
    // 32767 is a number: one picture, and the series ends quietly before 32768.
    r = loadSeriesFiles(*parseSeriesName("/p/shot32767.bmp"), load);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.failure, 0);
}

TEST(SeriesLimits, ThePictureDecodersRunningOutOfMemoryEndTheLoadedSeries) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    for (int k = 1; k <= 3; ++k)
        ASSERT_TRUE(writeJpegFile(folder + "m" + std::to_string(k) + ".jpg", 200, 100, uniformRow(200, {1, 2, 3})));
    std::vector<std::unique_ptr<MemorySurface>> pictures;
    setMemoryCeiling(1000);
    const SeriesResult r = loadSeriesSurfaces(*parseSeriesName(folder + "m1.jpg"), pictures);
    setMemoryCeiling(0);
    EXPECT_EQ(r.failure, 7);
    EXPECT_EQ(r.count, 0);
    EXPECT_TRUE(pictures.empty());
    pictures.clear();
    EXPECT_EQ(loadSeriesSurfaces(*parseSeriesName(folder + "m1.jpg"), pictures).count, 3);
}
