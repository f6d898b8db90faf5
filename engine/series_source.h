// The pictures of a series one at a time, as the image stack holds them: for the methods and the
// alignment that visit each picture in turn and never need two at once, so that a long series need
// not be held whole. The stack's own source hands out views of its cells; a source that reads the
// files decodes (and aligns) a picture each time it is asked for it.
#pragma once

#include "base/deep_picture.h"
#include "engine/pixel_arrays.h"

#include <cstdint>
#include <vector>

namespace orv {

// One picture handed out by a source, and the buffers it may be held in. Reused from picture to
// picture, so that a decoding source allocates its buffers once.
struct SourcePicture {
    const std::uint8_t* cells = nullptr; // width() x height() cells, bottom row first, blue green red
    const DeepPicture* deep = nullptr;   // the picture at full depth (rows from the top), when asked and held
    // Set by the reader: false when only the full-depth picture is wanted (a source that has one
    // may then leave `cells` null).
    bool withCells = true;
    std::vector<std::uint8_t> ownCells;  // a decoding source's buffers
    std::vector<std::uint8_t> spare;
    DeepPicture ownDeep;
};

class SeriesSource {
public:
    virtual ~SeriesSource() = default;
    virtual int count() const = 0;
    // The cells' size: picture 1's size rounded up to multiples of 4, as the stack's.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Picture n's own size (after alignment, the frame's for an aligned picture).
    virtual int pictureWidth(int n) const = 0;
    virtual int pictureHeight(int n) const = 0;
    // Whether full-depth pictures can be asked for.
    virtual bool hasDeep() const { return false; }
    // Picture n (1 to count) into `into`, with its full-depth picture when `deep` and hasDeep().
    // Different SourcePicture objects may be filled on different threads at once. Raises
    // RuntimeError when the picture cannot be had (7 when memory runs out).
    virtual void read(int n, bool deep, SourcePicture& into) = 0;
    // Picture n is the next one to be read (with its cells or without): a source may begin on it.
    virtual void willRead(int n, bool withCells) {
        (void)n;
        (void)withCells;
    }
};

// The pictures of a filled image stack, with their full-depth pictures when given (picture n at
// n - 1, the size the stack gives it).
class StackSource : public SeriesSource {
public:
    explicit StackSource(const ImageStack& stack, std::vector<const DeepPicture*> deep = {})
        : stack_(stack), deep_(std::move(deep)) {}
    int count() const override { return stack_.count; }
    int width() const override { return stack_.width(); }
    int height() const override { return stack_.height(); }
    int pictureWidth(int n) const override { return stack_.pictureWidth(n); }
    int pictureHeight(int n) const override { return stack_.pictureHeight(n); }
    bool hasDeep() const override { return !deep_.empty(); }
    void read(int n, bool deep, SourcePicture& into) override {
        into.cells = stack_.pictures[std::size_t(n - 1)].data();
        into.deep = deep && std::size_t(n - 1) < deep_.size() ? deep_[std::size_t(n - 1)] : nullptr;
    }

private:
    const ImageStack& stack_;
    std::vector<const DeepPicture*> deep_;
};

} // namespace orv
