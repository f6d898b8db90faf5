// Fuzzes the strokes file's parser: any text either parses into strokes whose every value is in its
// range, or raises the one error type naming a line of the text; what parses writes out and parses
// back to the same strokes.
#include "base/runtime_error.h"
#include "retouch/strokes_file.h"

#include <algorithm>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = int(std::count(text.begin(), text.end(), '\n')) + 1;
    try {
        const auto strokes = orv::retouch::parseStrokes(text, 30);
        for (const auto& s : strokes) {
            const auto& b = s.brush;
            if (s.picture < 1 || s.picture > 30 || b.radius < 1 || b.radius > 1000 || b.hardness < 0 ||
                b.hardness > 100 || b.opacity < 1 || b.opacity > 100 || s.path.empty())
                std::abort();
        }
        if (orv::retouch::parseStrokes(orv::retouch::formatStrokes(strokes), 30) != strokes) std::abort();
    } catch (const orv::RuntimeError& e) {
        if (e.line() < 1 || e.line() > lines) std::abort();
    }
    return 0;
}
