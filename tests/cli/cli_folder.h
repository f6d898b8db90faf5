// A command-line test with a folder of its own under /tmp, numbered series of detailed pictures
// written into it, and orvanta-cli run with raw-byte arguments.
#pragma once

#include "input/test_files.h"
#include "raw_process.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orv::test {

inline bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class CliFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvanta-cli-test-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    static std::string cli() { return QCoreApplication::applicationDirPath().toStdString() + "/orvanta-cli"; }
    RawResult run(std::vector<std::string> args, RawRun how = {}) const {
        args.insert(args.begin(), "-q");
        return runRaw(cli(), args, how);
    }
    // Pictures with detail, `count` of them, named prefix01.bmp, prefix02.bmp, ...
    void series(const std::string& prefix, int count, int w = 96, int h = 64) const {
        for (int k = 1; k <= count; ++k) {
            const std::string name = path(prefix + (k < 10 ? "0" : "") + std::to_string(k) + ".bmp");
            ASSERT_TRUE(writeBmpFile(name, w, h, [w, k](int y, std::uint8_t* out) {
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c) out[3 * x + c] = std::uint8_t((x * (k + 2) + y * 5 + c * 40) & 255);
            }));
        }
    }
    static std::string text(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void put(const std::string& p, const std::string& t) { std::ofstream(p, std::ios::binary) << t; }
    // The names in the folder that look like a run's temporary files.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (contains(e.path().filename().string(), ".tmp")) out.push_back(e.path().filename().string());
        return out;
    }

    std::string dir;
};

} // namespace orv::test
