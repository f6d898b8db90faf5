// Two programs saving one project at the same moment (two copies of the desktop program, or
// orvanta-cli --save-project beside it): the text and the bitmap side by side are always one
// save's, a save waits while another puts its files into place and gives up after a few seconds
// with nothing written, and the lock file goes with the save, or with the next one after a crash.
#include "base/runtime_error.h"
#include "output/output_set.h"
#include "session/montage_session.h"
#include "settings/project_file.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orv {
namespace {

using Clock = std::chrono::steady_clock;

std::string textOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One save's montage: every sample `value`, and a text that names it.
struct Save {
    std::uint8_t value;
    std::vector<std::uint8_t> cells;
    BgrView view;
    std::string properties;
    explicit Save(std::uint8_t v) : value(v), cells(std::size_t(12) * 3 * 8, v) {
        view = BgrView{cells.data(), 12, 8, 12 * 3};
        properties = "  First file name =/pics/save" + std::to_string(v) + ".bmp\r\n  Montage made from dominant "
                                                                        "image numbers:\r\n111\r\n";
    }
    void into(const std::string& project) const {
        OutputSet files;
        addProjectFiles(files, project, projectBitmapName(project), view, properties);
        files.commit();
    }
};

// Which save the project's text and bitmap come from (-1 for either when it cannot be told).
int textSave(const std::string& project) {
    const std::string t = textOf(project);
    const std::size_t at = t.find("/pics/save");
    return at == std::string::npos ? -1 : std::stoi(t.substr(at + 10));
}
int bitmapSave(const std::string& project) {
    const std::string b = textOf(projectBitmapName(project));
    return b.size() > 54 ? int(std::uint8_t(b[54])) : -1; // the first sample after the header
}

// Another program in the middle of its save: the project's lock held as the save holds it.
class OtherSave {
public:
    explicit OtherSave(const std::string& project) : name_(project + ".lock") {
        fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
    }
    ~OtherSave() { done(); }
    // Its files are in place: it lets go of the lock and removes the file.
    void done() {
        if (fd_ < 0) return;
        ::unlink(name_.c_str());
        ::close(fd_);
        fd_ = -1;
    }

private:
    std::string name_;
    int fd_ = -1;
};

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(ProjectSaveLock, TwoSavesRacingLeaveThePairOfOneOfThem) {
    QTemporaryDir dir;
    const std::string project = dir.filePath("race.mon").toStdString();
    const Save a(17), b(203);
    for (int round = 0; round < 150; ++round) {
        std::atomic<int> ready{0};
        auto save = [&](const Save& s) {
            ++ready;
            while (ready < 2) {
            }
            s.into(project);
        };
        std::thread first(save, std::cref(a)), second(save, std::cref(b));
        first.join();
        second.join();
        const int text = textSave(project);
        ASSERT_TRUE(text == 17 || text == 203) << text;
        ASSERT_EQ(bitmapSave(project), text) << "round " << round;
    }
    EXPECT_EQ(filesIn(dir), (QStringList{"race.mon", "race.vrk"}));
}

// While another program puts the same project into place, a save waits and follows it; a lock
// file that a program ended without removing (a crash) holds nothing and goes with the next save.
TEST(ProjectSaveLock, ASaveWaitsForAnotherAndAStaleLockFileDoesNotHoldIt) {
    QTemporaryDir dir;
    const std::string project = dir.filePath("p.mon").toStdString();
    Save(1).into(project);

    auto other = std::make_unique<OtherSave>(project);
    std::atomic<bool> finished{false};
    std::thread waiting([&] {
        Save(2).into(project);
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(finished);
    EXPECT_EQ(textSave(project), 1);
    EXPECT_EQ(bitmapSave(project), 1);
    other->done();
    waiting.join();
    EXPECT_EQ(textSave(project), 2);
    EXPECT_EQ(bitmapSave(project), 2);
    EXPECT_EQ(filesIn(dir), (QStringList{"p.mon", "p.vrk"}));

    // Left by a program that ended in its save: there, but locked by no one.
    std::ofstream(project + ".lock") << "";
    const auto from = Clock::now();
    Save(3).into(project);
    EXPECT_LT(Clock::now() - from, std::chrono::seconds(2));
    EXPECT_EQ(textSave(project), 3);
    EXPECT_EQ(bitmapSave(project), 3);
    EXPECT_EQ(filesIn(dir), (QStringList{"p.mon", "p.vrk"}));
}

// A save that cannot have the project within a few seconds fails with a message that says why,
// names the project as the file it could not write, and leaves the earlier pair as it was.
TEST(ProjectSaveLock, ASaveThatCannotHaveTheProjectFailsAndWritesNothing) {
    QTemporaryDir dir;
    const std::string project = dir.filePath("p.mon").toStdString();
    Save(1).into(project);
    OtherSave other(project);

    const auto from = Clock::now();
    OutputSet files;
    const Save late(2);
    addProjectFiles(files, project, projectBitmapName(project), late.view, late.properties);
    try {
        files.commit();
        ADD_FAILURE() << "saved while another program held the project";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 70);
        EXPECT_EQ(e.description(), kProjectBusyDescription);
    }
    EXPECT_GE(Clock::now() - from, std::chrono::seconds(4));
    EXPECT_EQ(files.failedTarget(), project);
    EXPECT_EQ(textSave(project), 1);
    EXPECT_EQ(bitmapSave(project), 1);
    EXPECT_EQ(filesIn(dir), (QStringList{"p.mon", "p.mon.lock", "p.vrk"}));
}

} // namespace
} // namespace orv
