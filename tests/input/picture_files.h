// What the tests of reading hostile picture files share: a folder of their own, with the memory
// ceiling lifted after each test, and both ways a picture is read.
#pragma once

#include "input/memory_budget.h"
#include "input/picture_file.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orv::test {

class PictureFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    void TearDown() override { setMemoryCeiling(0); }
};

// Both ways a picture is read: into a memory surface (orvanta-cli) and into a QImage (windows).
inline DecodeStatus readSurface(const std::string& path) {
    std::unique_ptr<MemorySurface> s;
    return decodeToSurface(path, s);
}
inline DecodeStatus readImage(const std::string& path) {
    QImage image;
    return decodePicture(path, image);
}

} // namespace orv::test
