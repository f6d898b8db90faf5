// Handle tables for memory contexts and bitmaps, and the block copy between them. Bitmaps are
// either 24-bit bottom-up rows (DIB sections) or 32-bit Qt images (device-dependent bitmaps).
#include "gdi.h"

#include <QRgb>

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vantler::gdi {
namespace {

struct Bitmap {
    int width = 0;
    int height = 0;
    bool dib = false;
    bool stock = false;
    std::vector<std::uint8_t> rows;  // DIB: bottom-up, `stride` bytes a row
    int stride = 0;
    QImage image;                    // otherwise: Format_RGB32, top-down
    Handle selectedIn = 0;
};

struct Context {
    bool screen = false;
    Handle selected = 0;
    std::function<QImage*()> surface;
    std::function<void()> changed;
};

struct Tables {
    std::recursive_mutex mutex;
    std::map<Handle, std::unique_ptr<Context>> contexts;
    std::map<Handle, std::unique_ptr<Bitmap>> bitmaps;
    Handle next = 0x1000;
    Handle stockBitmap = 0;
    Handle screen = 0;

    Handle newHandle() { return next += 4; }
    // Puts a new bitmap or context into its table under a new handle.
    Handle add(std::unique_ptr<Bitmap> b) {
        const Handle h = newHandle();
        bitmaps.emplace(h, std::move(b));
        return h;
    }
    Handle add(std::unique_ptr<Context> c) {
        const Handle h = newHandle();
        contexts.emplace(h, std::move(c));
        return h;
    }
};

Tables& tables() {
    static Tables t;
    return t;
}

Handle stockBitmap(Tables& t) {
    if (!t.stockBitmap) {
        auto b = std::make_unique<Bitmap>();
        b->width = b->height = 1;
        b->stock = true;
        b->image = QImage(1, 1, QImage::Format_RGB32);
        b->image.fill(Qt::black);
        t.stockBitmap = t.add(std::move(b));
    }
    return t.stockBitmap;
}

Context* findContext(Tables& t, Handle h) {
    auto it = t.contexts.find(h);
    return it == t.contexts.end() ? nullptr : it->second.get();
}

Bitmap* findBitmap(Tables& t, Handle h) {
    auto it = t.bitmaps.find(h);
    return it == t.bitmaps.end() ? nullptr : it->second.get();
}

// Pixel access to whatever a context draws into, with y counted from the top.
struct PixelView {
    int width = 0;
    int height = 0;
    QImage* image = nullptr;
    std::uint8_t* rows = nullptr;
    int stride = 0;

    bool valid() const { return width > 0 && height > 0 && (image || rows); }

    void get(int x, int y, std::uint8_t bgr[3]) const {
        if (image) {
            const QRgb v = reinterpret_cast<const QRgb*>(image->constScanLine(y))[x];
            bgr[0] = std::uint8_t(qBlue(v));
            bgr[1] = std::uint8_t(qGreen(v));
            bgr[2] = std::uint8_t(qRed(v));
        } else {
            const std::uint8_t* p = rows + std::size_t(height - 1 - y) * stride + 3 * std::size_t(x);
            bgr[0] = p[0];
            bgr[1] = p[1];
            bgr[2] = p[2];
        }
    }

    void set(int x, int y, const std::uint8_t bgr[3]) {
        if (image) {
            reinterpret_cast<QRgb*>(image->scanLine(y))[x] = qRgb(bgr[2], bgr[1], bgr[0]);
        } else {
            std::uint8_t* p = rows + std::size_t(height - 1 - y) * stride + 3 * std::size_t(x);
            p[0] = bgr[0];
            p[1] = bgr[1];
            p[2] = bgr[2];
        }
    }
};

PixelView viewOf(Tables& t, Context& c) {
    PixelView v;
    if (c.surface) {
        QImage* img = c.surface();
        if (img && !img->isNull()) {
            if (img->format() != QImage::Format_RGB32) *img = img->convertToFormat(QImage::Format_RGB32);
            v.image = img;
            v.width = img->width();
            v.height = img->height();
        }
        return v;
    }
    Bitmap* b = findBitmap(t, c.selected);
    if (!b) return v;
    v.width = b->width;
    v.height = b->height;
    if (b->dib) {
        v.rows = b->rows.data();
        v.stride = b->stride;
    } else {
        v.image = &b->image;
    }
    return v;
}

std::uint8_t combine(unsigned table, std::uint8_t a, std::uint8_t d) {
    unsigned r = 0;
    if (table & 1) r |= ~a & ~d;
    if (table & 2) r |= ~a & d;
    if (table & 4) r |= a & ~d;
    if (table & 8) r |= a & d;
    return std::uint8_t(r);
}

}  // namespace

bool ropSupported(std::uint32_t rop) {
    const unsigned code = (rop >> 16) & 0xFF;
    return (code >> 4) == (code & 0x0F);
}

std::uint8_t applyRop(std::uint32_t rop, std::uint8_t source, std::uint8_t destination) {
    return combine((rop >> 16) & 0x0F, source, destination);
}

std::uint8_t applyPenMode(int mode, std::uint8_t pen, std::uint8_t destination) {
    return combine(unsigned(mode - 1) & 0x0F, pen, destination);
}

Handle getScreenDC() {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (!t.screen) {
        auto c = std::make_unique<Context>();
        c->screen = true;
        t.screen = t.add(std::move(c));
    }
    return t.screen;
}

void releaseDC(Handle) {}

Handle createCompatibleDC(Handle dc) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (dc && !findContext(t, dc)) return 0;
    auto c = std::make_unique<Context>();
    c->selected = stockBitmap(t);
    return t.add(std::move(c));
}

bool deleteDC(Handle dc) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    Context* c = findContext(t, dc);
    if (!c || c->screen) return false;
    if (Bitmap* b = findBitmap(t, c->selected); b && !b->stock) b->selectedIn = 0;
    t.contexts.erase(dc);
    return true;
}

Handle createDIBSection(Handle dc, const BitmapInfoHeader& header, std::uint32_t usage, std::uint8_t** bits,
                        Handle section, std::uint32_t offset) {
    if (bits) *bits = nullptr;
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (dc && !findContext(t, dc)) return 0;
    if (usage != DIB_RGB_COLORS || section != 0 || offset != 0) return 0;
    if (header.biSize != sizeof(BitmapInfoHeader) || header.biPlanes != 1 || header.biBitCount != 24 ||
        header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0)
        return 0;
    const long long stride = (3LL * header.biWidth + 3) & ~3LL;
    const long long size = stride * header.biHeight;
    if (size > 0x7FFFFFFFLL) return 0;
    auto b = std::make_unique<Bitmap>();
    try {
        b->rows.assign(std::size_t(size), 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    b->dib = true;
    b->width = header.biWidth;
    b->height = header.biHeight;
    b->stride = int(stride);
    if (bits) *bits = b->rows.data();
    return t.add(std::move(b));
}

Handle createCompatibleBitmap(Handle dc, int width, int height) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (!findContext(t, dc) || width <= 0 || height <= 0) return 0;
    auto b = std::make_unique<Bitmap>();
    b->image = QImage(width, height, QImage::Format_RGB32);
    if (b->image.isNull()) return 0;
    b->image.fill(Qt::black);
    b->width = width;
    b->height = height;
    return t.add(std::move(b));
}

Handle createBitmapFromImage(const QImage& image) {
    if (image.isNull()) return 0;
    auto b = std::make_unique<Bitmap>();
    b->image = image.convertToFormat(QImage::Format_RGB32);
    if (b->image.isNull()) return 0;
    b->width = b->image.width();
    b->height = b->image.height();
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    return t.add(std::move(b));
}

QImage bitmapImage(Handle bitmap) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    Bitmap* b = findBitmap(t, bitmap);
    if (!b) return {};
    if (!b->dib) return b->image.copy();
    QImage out(b->width, b->height, QImage::Format_RGB32);
    if (out.isNull()) return out; // no memory for the copy: its rows do not exist
    for (int y = 0; y < b->height; ++y) {
        const std::uint8_t* p = b->rows.data() + std::size_t(b->height - 1 - y) * b->stride;
        QRgb* q = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < b->width; ++x) q[x] = qRgb(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
    }
    return out;
}

Handle selectObject(Handle dc, Handle bitmap) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    Context* c = findContext(t, dc);
    Bitmap* b = findBitmap(t, bitmap);
    if (!c || !b || c->screen || c->surface) return 0;
    if (!b->stock && b->selectedIn && b->selectedIn != dc) return 0;  // a bitmap lives in one context
    const Handle previous = c->selected;
    if (Bitmap* old = findBitmap(t, previous); old && !old->stock) old->selectedIn = 0;
    c->selected = bitmap;
    if (!b->stock) b->selectedIn = dc;
    return previous;
}

bool deleteObject(Handle bitmap) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    Bitmap* b = findBitmap(t, bitmap);
    if (!b) return false;
    if (b->stock) return true;
    if (b->selectedIn) return false;
    t.bitmaps.erase(bitmap);
    return true;
}

bool getObject(Handle bitmap, BitmapRecord& record) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    Bitmap* b = findBitmap(t, bitmap);
    if (!b) return false;
    record = {};
    record.bmWidth = b->width;
    record.bmHeight = b->height;
    record.bmPlanes = 1;
    record.bmBitsPixel = b->dib ? 24 : 32;
    record.bmWidthBytes = b->dib ? b->stride : 4 * b->width;
    record.bmBits = b->dib ? b->rows.data() : nullptr;
    return true;
}

Handle createSurfaceDC(std::function<QImage*()> surface, std::function<void()> changed) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    auto c = std::make_unique<Context>();
    c->surface = std::move(surface);
    c->changed = std::move(changed);
    return t.add(std::move(c));
}

bool bitBlt(Handle dst, int x, int y, int width, int height, Handle src, int sx, int sy, std::uint32_t rop) {
    if (!ropSupported(rop)) return false;
    Tables& t = tables();
    std::function<void()> changed;
    {
        std::lock_guard lock(t.mutex);
        Context* dc = findContext(t, dst);
        Context* sc = findContext(t, src);
        if (!dc || !sc) return false;
        PixelView dv = viewOf(t, *dc);
        PixelView sv = viewOf(t, *sc);
        if (!dv.valid() || !sv.valid()) return false;
        // Clip the block to both bitmaps; pixels outside either are not touched.
        long long x0 = x, y0 = y, w = width, h = height, sx0 = sx, sy0 = sy;
        if (w <= 0 || h <= 0) return true;
        if (x0 < 0) { w += x0; sx0 -= x0; x0 = 0; }
        if (y0 < 0) { h += y0; sy0 -= y0; y0 = 0; }
        if (sx0 < 0) { w += sx0; x0 -= sx0; sx0 = 0; }
        if (sy0 < 0) { h += sy0; y0 -= sy0; sy0 = 0; }
        w = std::min({w, dv.width - x0, sv.width - sx0});
        h = std::min({h, dv.height - y0, sv.height - sy0});
        if (w > 0 && h > 0) {
            // Read the whole source block first: source and destination may be the same bitmap.
            std::vector<std::uint8_t> block(std::size_t(w) * std::size_t(h) * 3);
            for (long long r = 0; r < h; ++r)
                for (long long c = 0; c < w; ++c)
                    sv.get(int(sx0 + c), int(sy0 + r), &block[std::size_t((r * w + c) * 3)]);
            for (long long r = 0; r < h; ++r) {
                for (long long c = 0; c < w; ++c) {
                    const std::uint8_t* s = &block[std::size_t((r * w + c) * 3)];
                    std::uint8_t out[3];
                    if (rop == SRCCOPY) {
                        out[0] = s[0];
                        out[1] = s[1];
                        out[2] = s[2];
                    } else {
                        std::uint8_t d[3];
                        dv.get(int(x0 + c), int(y0 + r), d);
                        for (int k = 0; k < 3; ++k) out[k] = applyRop(rop, s[k], d[k]);
                    }
                    dv.set(int(x0 + c), int(y0 + r), out);
                }
            }
        }
        changed = dc->changed;
    }
    if (changed) changed();
    return true;
}

int liveObjectCount() {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    int n = int(t.contexts.size() + t.bitmaps.size());
    if (t.stockBitmap) --n;
    if (t.screen) --n;
    return n;
}

}  // namespace vantler::gdi
