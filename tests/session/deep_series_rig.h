// A session over a series of 16-bit PNG pictures, for the session tests of deep montages.
#pragma once

#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "input/deep_reader.h"
#include "output/deep_writer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace orv::testing {

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A session over a series of 16-bit PNG pictures d1.png ... written from `pictures`.
struct DeepRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    PromptingObserver observer{prompter};
    MontageSession session{state, observer};
    std::vector<std::string> said;

    explicit DeepRig(const std::vector<DeepPicture>& pictures) {
        state.programFolder = dir.path().toStdString() + "/";
        for (std::size_t k = 0; k < pictures.size(); ++k)
            writeFile(path("d" + std::to_string(k + 1) + ".png"), encodeDeepPng(pictures[k], 16));
    }
    std::string path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    MontageRequest request() const {
        MontageRequest r;
        r.firstFileName = path("d1.png");
        r.incrementText = "10";
        r.smoothing.autoSmooth = 0;
        return r;
    }
    SaveMontageOptions options() {
        return SaveMontageOptions{{}, std::nullopt, [this](const std::string& line) { said.push_back(line); }};
    }
    // The montage saved as a PNG and read back at full depth.
    DeepPicture saved(const char* name) {
        EXPECT_EQ(session.saveMontage({}, path(name), options()), "");
        DeepPicture d;
        EXPECT_EQ(readDeepPicture(path(name), d), DecodeStatus::Ok);
        return d;
    }
};

} // namespace orv::testing
