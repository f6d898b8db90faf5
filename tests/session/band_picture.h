// The session tests' series: 60 x 40 pictures of noise, strong in one of three vertical bands and
// faint elsewhere, so each band of a montage has one right picture; and a session over them.
#pragma once

#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include <QImage>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace orv::testing {

// Smoothing settings under which a pass over these pictures certainly replaces blocks.
inline constexpr SmoothingPreferences kEagerSmoothing{0, 0.0f, 0.1f, 30000, 4.0f};

// `colour` false gives grey noise, true a colour in which every channel varies.
inline QImage bandPicture(int sharp, unsigned seed, bool colour = false) {
    QImage img(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int amp = x / 20 + 1 == sharp ? 120 : 8;
            const int v = 128 + int(seed >> 24) % (2 * amp) - amp;
            img.setPixel(x, y, colour ? qRgb(v, v / 2, 255 - v) : qRgb(v, v, v));
        }
    return img;
}

// An observer that keeps the requests it was asked to show.
class ShownRequests : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    std::vector<MontageRequest> requests;
    void showRequest(const MontageRequest& r) override { requests.push_back(r); }
};

// A session over three colour band pictures b1.bmp, b2.bmp, b3.bmp in a folder of its own, with
// the request for them and blocks of 10.
template <typename Observer = PromptingObserver> struct BandSessionRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    Observer observer{prompter};
    MontageSession session{state, observer};
    explicit BandSessionRig(SessionOptions options = {}) : session(state, observer, options) {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 3; ++k) bandPicture(k, 11u * k, true).save(dir.filePath(QStringLiteral("b%1.bmp").arg(k)), "BMP");
    }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    MontageRequest request() const {
        MontageRequest r;
        r.firstFileName = path("b1.bmp");
        r.incrementText = "10";
        return r;
    }
};

} // namespace orv::testing
