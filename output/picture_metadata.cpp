// Metadata through Exiv2: read from the first picture into plain bytes, written into an encoded
// output in memory (so the atomic writers still write the whole file at once).
#include "output/picture_metadata.h"

#include "base/regular_file.h"

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

// Exiv2 0.27 hands images out as std::auto_ptr.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace orv {

namespace {

// Exiv2 reports what it skips in a damaged block through its log, not by throwing: the errors it
// logs while one call runs are collected here (that call holds the lock).
std::mutex exivLock;
std::vector<std::string>* exivErrors = nullptr;

void collectExivError(int level, const char* text) {
    if (level >= Exiv2::LogMsg::error && exivErrors) {
        std::string line = text ? text : "";
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
        exivErrors->push_back(line);
    }
}

// Holds Exiv2 for one call: its log collected, the XMP toolkit started once.
class ExivCall {
public:
    explicit ExivCall(std::vector<std::string>& errors) : lock_(exivLock) {
        static const bool started = [] {
            Exiv2::XmpParser::initialize();
            Exiv2::LogMsg::setHandler(collectExivError);
            Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
            return true;
        }();
        (void)started;
        exivErrors = &errors;
    }
    ~ExivCall() { exivErrors = nullptr; }

private:
    std::lock_guard<std::mutex> lock_;
};

std::string damaged(const std::string& block, const std::string& name, const std::string& why) {
    std::string line = "the " + block + " block of " + name + " is damaged and is not copied";
    if (!why.empty()) line += " (" + why + ")";
    return line;
}

std::vector<std::uint8_t> exifBytes(const Exiv2::ExifData& exif) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return std::vector<std::uint8_t>(blob.begin(), blob.end());
}

// The EXIF entries that describe the first picture's file rather than the scene: its layout in
// the file, its own thumbnail and other pages, the profile (written as a block of its own).
bool describesTheFile(const Exiv2::Exifdatum& d) {
    static const char* const keys[] = {
        "Exif.Image.NewSubfileType", "Exif.Image.SubfileType", "Exif.Image.BitsPerSample",
        "Exif.Image.Compression", "Exif.Image.PhotometricInterpretation", "Exif.Image.StripOffsets",
        "Exif.Image.SamplesPerPixel", "Exif.Image.RowsPerStrip", "Exif.Image.StripByteCounts",
        "Exif.Image.PlanarConfiguration", "Exif.Image.Predictor", "Exif.Image.TileWidth",
        "Exif.Image.TileLength", "Exif.Image.TileOffsets", "Exif.Image.TileByteCounts",
        "Exif.Image.SampleFormat", "Exif.Image.ExtraSamples", "Exif.Image.InterColorProfile",
        "Exif.Image.JPEGInterchangeFormat", "Exif.Image.JPEGInterchangeFormatLength",
        "Exif.Image.XMLPacket", "Exif.Image.ImageWidth", "Exif.Image.ImageLength",
        // the pixel density every TIFF writer sets for its own file
        "Exif.Image.XResolution", "Exif.Image.YResolution", "Exif.Image.ResolutionUnit"};
    // The file's other pictures (the pages after the first, their sub-images and thumbnails) are
    // each a layout of their own, none of the scene's.
    const std::string group = d.groupName();
    if (group == "Thumbnail" || group == "Image2" || group == "Image3" || group.rfind("SubImage", 0) == 0 ||
        group.rfind("SubThumb", 0) == 0)
        return true;
    for (const char* k : keys)
        if (d.key() == k) return true;
    return false;
}

void setSize(Exiv2::ExifData& exif, bool hadImageSize, int width, int height) {
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(width);
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(height);
    if (hadImageSize) {
        exif["Exif.Image.ImageWidth"] = std::uint32_t(width);
        exif["Exif.Image.ImageLength"] = std::uint32_t(height);
    }
}

// The XMP fields that hold the picture's size, where the packet has them.
void setXmpSize(Exiv2::XmpData& xmp, int width, int height) {
    const std::pair<const char*, int> fields[] = {
        {"Xmp.exif.PixelXDimension", width}, {"Xmp.exif.PixelYDimension", height},
        {"Xmp.tiff.ImageWidth", width},      {"Xmp.tiff.ImageLength", height}};
    for (const auto& [key, value] : fields)
        if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end()) xmp[key] = std::to_string(value);
}

// Why an ICC profile cannot go with the written pixels, or empty when it can: it names a colour
// space other than theirs (the four characters at byte 16 of its header: "RGB ", "GRAY", "CMYK",
// "Lab ", ...), RGB for a colour picture, GRAY for a grey one. A profile without a readable
// colour space is left to the writer, as before.
std::string profileMismatch(const std::vector<std::uint8_t>& icc, bool grey) {
    if (icc.size() < 20 || std::memcmp(icc.data() + 16, grey ? "GRAY" : "RGB ", 4) == 0) return {};
    std::string space;
    for (int i = 16; i < 20; ++i) {
        const std::uint8_t c = icc[std::size_t(i)];
        if (c < ' ' || c > '~') return {};
        if (c != ' ') space += char(c);
    }
    if (space.empty()) return {};
    if (space == "GRAY") space = "grey";
    return "the ICC profile describes " + space + " colours, not the " + (grey ? "grey" : "RGB") +
           " of the montage, and is not copied";
}

// Whether the encoded picture holds grey samples (a grey series written at full depth): a PNG of
// colour type 0 or 4, a TIFF whose photometric interpretation is white or black is zero. The
// JPEG, GIF and BMP files written are always colour.
bool greySamples(const std::vector<std::uint8_t>& file, Exiv2::Image& image) {
    if (image.imageType() == Exiv2::ImageType::png)
        return file.size() > 25 && std::memcmp(&file[12], "IHDR", 4) == 0 && (file[25] == 0 || file[25] == 4);
    if (image.imageType() != Exiv2::ImageType::tiff) return false;
    const Exiv2::ExifData& own = image.exifData();
    const auto it = own.findKey(Exiv2::ExifKey("Exif.Image.PhotometricInterpretation"));
    return it != own.end() && it->count() > 0 && it->toLong(0) <= 1;
}

} // namespace

std::string softwareName() { return std::string("Orvanta ") + ORVANTA_VERSION; }

namespace {

// The blocks of an opened picture, read while `call` collects Exiv2's log into `errors`.
PictureMetadata metadataOf(Exiv2::Image& image, const std::string& name, std::vector<std::string>& errors,
                           std::vector<std::string>& problems) {
    PictureMetadata out;
    try {
        image.readMetadata();
    } catch (const std::exception& e) {
        problems.push_back(damaged("metadata", name, e.what()));
        return out;
    }
    // Exiv2 logs, while it reads the file, the errors of every block it decodes, the XMP packet's
    // included: the packet is decoded again on its own, and its errors are not the EXIF's.
    std::vector<std::string> readErrors = std::move(errors);
    errors.clear();
    out.xmp = image.xmpPacket();
    bool xmpDamaged = false;
    std::vector<std::string> xmpErrors;
    if (!out.xmp.empty()) {
        Exiv2::XmpData parsed;
        xmpDamaged = Exiv2::XmpParser::decode(parsed, out.xmp) != 0 || !errors.empty();
        xmpErrors = std::move(errors);
        errors.clear();
    }
    for (const std::string& e : xmpErrors) {
        const auto it = std::find(readErrors.begin(), readErrors.end(), e);
        if (it != readErrors.end()) readErrors.erase(it);
    }

    if (!readErrors.empty()) {
        // Exiv2 skipped part of a block: what it kept cannot be trusted to be whole.
        problems.push_back(damaged("EXIF", name, readErrors.front()));
    } else {
        // A TIFF's own layout entries are read as EXIF too: only what remains beside them counts.
        Exiv2::ExifData exif = image.exifData();
        for (auto it = exif.begin(); it != exif.end();) it = describesTheFile(*it) ? exif.erase(it) : std::next(it);
        try {
            if (!exif.empty()) out.exif = exifBytes(exif);
            // Exiv2 keeps the block within the 64 KB a JPEG segment holds by leaving out its
            // largest entries (a maker note, a long comment) without a word: they are named.
            Exiv2::ExifData kept;
            if (!out.exif.empty())
                Exiv2::ExifParser::decode(kept, out.exif.data(), std::uint32_t(out.exif.size()));
            // The pointers to the sub-directories are the block's structure, written anew.
            static const char* const pointers[] = {"Exif.Image.ExifTag", "Exif.Image.GPSTag",
                                                   "Exif.Photo.InteroperabilityTag", "Exif.Image.SubIFDs"};
            auto pointer = [](const std::string& key) {
                return std::find(std::begin(pointers), std::end(pointers), key) != std::end(pointers);
            };
            std::string left;
            for (const Exiv2::Exifdatum& d : exif)
                if (!pointer(d.key()) && kept.findKey(Exiv2::ExifKey(d.key())) == kept.end() &&
                    left.find(d.key()) == std::string::npos)
                    left += (left.empty() ? "" : ", ") + d.key();
            if (!left.empty())
                problems.push_back("the EXIF block of " + name + " is larger than 64 KB; its entries " + left +
                                   " are not copied");
        } catch (const std::exception& e) {
            problems.push_back(damaged("EXIF", name, e.what()));
        }
    }
    if (xmpDamaged) {
        problems.push_back(damaged("XMP", name, xmpErrors.empty() ? std::string() : xmpErrors.front()));
        out.xmp.clear();
    }
    if (image.iccProfileDefined()) {
        const Exiv2::DataBuf* icc = image.iccProfile();
        out.icc.assign(icc->pData_, icc->pData_ + icc->size_);
    }
    return out;
}

// The formats a series' picture is read from that carry metadata. Exiv2 recognises many more
// (raw camera files, RIFF and QuickTime video, ...) whose readers put their own findings, the
// file's name among them, into the XMP: none of them is a picture of a series.
bool pictureFormat(const Exiv2::Image& image) {
    const int type = image.imageType();
    return type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::tiff || type == Exiv2::ImageType::png ||
           type == Exiv2::ImageType::webp;
}

} // namespace

PictureMetadata readPictureMetadata(const std::vector<std::uint8_t>& file, const std::string& name,
                                    std::vector<std::string>& problems) {
    if (file.empty()) return {};
    std::vector<std::string> errors;
    ExivCall call(errors);
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(file.data(), long(file.size()));
    } catch (const std::exception&) {
        return {}; // not a format that carries metadata
    }
    if (!image.get() || !pictureFormat(*image)) return {};
    return metadataOf(*image, name, errors, problems);
}

// Exiv2 reads the file where the blocks are (a TIFF's directories, a JPEG's first segments), not
// the whole file: a 16-bit picture of 24 MP is 144 MB.
PictureMetadata readPictureMetadata(const std::string& path, std::vector<std::string>& problems) {
    // Exiv2 opens the name as it is: a named pipe put there since the picture was read would keep
    // it waiting for a writer for ever, and a device would be read without end.
    if (!isRegularFile(path)) return {};
    std::vector<std::string> errors;
    ExivCall call(errors);
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(path);
    } catch (const std::exception&) {
        return {}; // unreadable, or not a format that carries metadata
    }
    if (!image.get() || !pictureFormat(*image)) return {};
    return metadataOf(*image, path, errors, problems);
}

int readPictureOrientation(const std::string& path) {
    if (!isRegularFile(path)) return 1;
    std::vector<std::string> errors;
    ExivCall call(errors);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        if (!image.get() || !pictureFormat(*image)) return 1;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (it == exif.end() || it->count() < 1) return 1;
        const long tag = it->toLong(0);
        return tag >= 1 && tag <= 8 ? int(tag) : 1;
    } catch (const std::exception&) {
        return 1; // unreadable, or not a format that carries metadata: the pixels stay as stored
    }
}

namespace {

// The entries that say how the pixels lie, set to "upright as stored": the montage and every
// picture saved from the program have been turned upright when they were read.
void setUpright(Exiv2::ExifData& exif) {
    if (exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end())
        exif["Exif.Image.Orientation"] = std::uint16_t(1);
}
void setUpright(Exiv2::XmpData& xmp) {
    if (xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation")) != xmp.end()) xmp["Xmp.tiff.Orientation"] = "1";
}

// The camera's EXIF entries written into an output: all of them, or those outside its first
// directory (for a TIFF, whose first directory is also its pixels' layout).
enum class CameraExif { Whole, BesideTheFirstDirectory };

std::uint32_t pngCrc(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

void putBe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (24 - 8 * i));
}

// Exiv2 writes a PNG's iCCP chunk with the profile name it read from the file, and an output
// made here has none: an empty name, which libpng and the readers built on it refuse as a bad
// keyword, dropping the profile. The chunk gets a name (1 to 79 characters are required).
void nameIccChunk(std::vector<std::uint8_t>& png) {
    static constexpr char kName[] = "ICC Profile";
    constexpr std::size_t kNameLength = sizeof kName - 1;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = be32(&png[at]);
        if (length > png.size() - at - 12) return;
        if (std::memcmp(&png[at + 4], "iCCP", 4) == 0) {
            if (length == 0 || png[at + 8] != 0) return; // named already
            png.insert(png.begin() + std::ptrdiff_t(at + 8), kName, kName + kNameLength);
            putBe32(&png[at], std::uint32_t(length + kNameLength));
            putBe32(&png[at + 8 + length + kNameLength], pngCrc(&png[at + 4], 4 + length + kNameLength));
            return;
        }
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) return; // the profile comes before the pixels
        at += 12 + length;
    }
}

// The EXIF block as a PNG's eXIf chunk, before the first IDAT chunk: Exiv2 0.27 writes it as a
// zTXt chunk ("Raw profile type exif") whose orientation and dates browsers and most viewers never
// read. A file whose chunks cannot be walked is left as it is.
bool insertExifChunk(std::vector<std::uint8_t>& png, const std::vector<std::uint8_t>& exif) {
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = be32(&png[at]);
        if (length > png.size() - at - 12) return false;
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) {
            std::vector<std::uint8_t> chunk(12 + exif.size());
            putBe32(&chunk[0], std::uint32_t(exif.size()));
            std::memcpy(&chunk[4], "eXIf", 4);
            std::copy(exif.begin(), exif.end(), chunk.begin() + 8);
            putBe32(&chunk[8 + exif.size()], pngCrc(&chunk[4], 4 + exif.size()));
            png.insert(png.begin() + std::ptrdiff_t(at), chunk.begin(), chunk.end());
            return true;
        }
        at += 12 + length;
    }
    return false;
}

// The blocks written into `file`; `problems` says what was left out. The lock is held.
std::vector<std::uint8_t> writeBlocks(const std::vector<std::uint8_t>& file, const PictureMetadata& metadata,
                                      CameraExif scope, int width, int height, std::vector<std::string>& errors,
                                      std::vector<std::string>& problems) {
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(file.data(), long(file.size()));
        if (!image.get()) return file;
        image->readMetadata(); // the file's own structure (a TIFF's pixel layout)
    } catch (const std::exception& e) {
        problems.push_back(std::string("the metadata could not be written: ") + e.what());
        return file;
    }
    const bool grey = greySamples(file, *image);

    // A PNG's EXIF block, written as its own chunk once Exiv2 has written the others.
    std::vector<std::uint8_t> pngExif;
    const bool png = image->imageType() == Exiv2::ImageType::png;
    if (!metadata.exif.empty()) {
        Exiv2::ExifData exif;
        try {
            Exiv2::ExifParser::decode(exif, metadata.exif.data(), std::uint32_t(metadata.exif.size()));
            const bool hadImageSize = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageWidth")) != exif.end();
            const bool firstDirectoryToo = scope == CameraExif::BesideTheFirstDirectory;
            for (auto it = exif.begin(); it != exif.end();)
                it = describesTheFile(*it) || (firstDirectoryToo && it->groupName() == "Image") ? exif.erase(it)
                                                                                                 : std::next(it);
            exif["Exif.Image.Software"] = softwareName();
            setUpright(exif);
            const bool tiff = image->imageType() == Exiv2::ImageType::tiff;
            setSize(exif, hadImageSize && !tiff, width, height);
            if (tiff) {
                // The TIFF's own layout entries stay; the camera's are added beside them.
                Exiv2::ExifData own = image->exifData();
                for (const Exiv2::Exifdatum& d : exif) own[d.key()] = d.value();
                image->setExifData(own);
            } else if (png) {
                pngExif = exifBytes(exif);
            } else {
                image->setExifData(exif);
            }
        } catch (const std::exception& e) {
            problems.push_back(std::string("the EXIF block could not be written: ") + e.what());
        }
    }
    if (!metadata.xmp.empty()) {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, metadata.xmp) == 0) {
            try {
                xmp["Xmp.xmp.CreatorTool"] = softwareName();
                setXmpSize(xmp, width, height);
                setUpright(xmp);
                image->setXmpData(xmp);
            } catch (const std::exception& e) {
                problems.push_back(std::string("the XMP block could not be written: ") + e.what());
            }
        } else {
            problems.push_back("the XMP block could not be written: it cannot be read");
        }
    }
    // A grey or CMYK picture is read into RGB cells: its profile does not describe them, and an
    // RGB file with a grey or CMYK profile is one viewers refuse or show in wrong colours. A grey
    // series written at full depth stays grey, and its grey profile goes with it.
    const std::string mismatch =
        metadata.icc.empty() ? std::string() : profileMismatch(metadata.icc, grey);
    if (!mismatch.empty()) {
        problems.push_back(mismatch);
    } else if (!metadata.icc.empty()) {
        try {
            Exiv2::DataBuf icc(metadata.icc.data(), long(metadata.icc.size()));
            image->setIccProfile(icc, true);
        } catch (const std::exception& e) {
            problems.push_back(std::string("the ICC profile could not be written: ") + e.what());
        }
    }

    try {
        errors.clear();
        try {
            image->writeMetadata();
            if (!errors.empty()) throw std::runtime_error(errors.front());
        } catch (const std::exception& e) {
            // A JPEG segment holds 64 KB: a larger XMP packet (an editor's history, a raw
            // developer's settings) cannot go in, and is no reason to leave the EXIF block and
            // the profile out as well. Without it the file is written once more.
            if (image->xmpData().empty() && image->xmpPacket().empty()) throw;
            const std::string why = e.what();
            image->clearXmpData();
            image->clearXmpPacket();
            errors.clear();
            image->writeMetadata();
            if (!errors.empty()) throw std::runtime_error(errors.front());
            problems.push_back("the XMP block could not be written: " + why);
        }
        // The written file is copied once, from where the metadata library holds it: reading it
        // into a buffer of its own first would hold the file a fourth time (beside ours, the
        // library's and this copy), 72 MB each for a 12 MP montage at 16 bits.
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) throw std::runtime_error("cannot read back the written picture");
        const std::size_t size = io.size();
        const Exiv2::byte* written = size ? io.mmap(false) : nullptr;
        // Room for a PNG's EXIF chunk too: inserted later, it then moves the file's tail within the
        // buffer instead of copying the whole file into a larger one.
        std::vector<std::uint8_t> out;
        out.reserve(size + (png && !pngExif.empty() ? pngExif.size() + 12 : 0));
        out.assign(written, written + size);
        io.munmap();
        io.close();
        if (png) {
            nameIccChunk(out);
            if (!pngExif.empty() && !insertExifChunk(out, pngExif))
                problems.push_back("the EXIF block could not be written: the PNG's chunks cannot be walked");
        }
        return out;
    } catch (const std::exception& e) {
        problems.push_back(std::string("the metadata could not be written: ") + e.what());
        return file;
    }
}

// A TIFF held in memory, opened by libtiff for reading (mapped: nothing is copied), its messages
// kept from the process's handlers.
struct TiffInMemory {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
};

tmsize_t memoryRead(thandle_t h, void* buf, tmsize_t size) {
    auto* m = static_cast<TiffInMemory*>(h);
    const std::size_t n = std::min(std::size_t(size), m->at < m->bytes->size() ? m->bytes->size() - m->at : 0);
    std::memcpy(buf, m->bytes->data() + m->at, n);
    m->at += n;
    return tmsize_t(n);
}
tmsize_t memoryWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t memorySeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<TiffInMemory*>(h);
    const std::size_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes->size() : 0;
    m->at = base + std::size_t(off);
    return toff_t(m->at);
}
int memoryClose(thandle_t) { return 0; }
toff_t memorySize(thandle_t h) { return toff_t(static_cast<TiffInMemory*>(h)->bytes->size()); }
int memoryMap(thandle_t h, void** base, toff_t* size) {
    auto* m = static_cast<TiffInMemory*>(h);
    *base = const_cast<std::uint8_t*>(m->bytes->data());
    *size = toff_t(m->bytes->size());
    return 1;
}
void memoryUnmap(thandle_t, void*, toff_t) {}
int quietTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

std::unique_ptr<TIFF, TiffCloser> openTiff(TiffInMemory& m) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, quietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quietTiff, nullptr);
    TIFF* t = TIFFClientOpenExt("picture", "r", &m, memoryRead, memoryWrite, memorySeek, memoryClose, memorySize,
                                memoryMap, memoryUnmap, options);
    TIFFOpenOptionsFree(options);
    return std::unique_ptr<TIFF, TiffCloser>(t);
}

// Whether libtiff reads `written` as the same picture as `original`: the fields that say how
// the pixels are laid out and coded, and every strip's or tile's bytes, the same.
bool sameTiffPicture(const std::vector<std::uint8_t>& original, const std::vector<std::uint8_t>& written) {
    TiffInMemory a{&original}, b{&written};
    const auto ta = openTiff(a), tb = openTiff(b);
    if (!ta || !tb) return !ta && !tb;
    const ttag_t wide[] = {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP, TIFFTAG_TILEWIDTH,
                           TIFFTAG_TILELENGTH};
    for (const ttag_t tag : wide) {
        std::uint32_t va = 0, vb = 0;
        TIFFGetFieldDefaulted(ta.get(), tag, &va);
        TIFFGetFieldDefaulted(tb.get(), tag, &vb);
        if (va != vb) return false;
    }
    const ttag_t narrow[] = {TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_COMPRESSION, TIFFTAG_PHOTOMETRIC,
                             TIFFTAG_PLANARCONFIG, TIFFTAG_FILLORDER,       TIFFTAG_SAMPLEFORMAT};
    for (const ttag_t tag : narrow) {
        std::uint16_t va = 0, vb = 0;
        TIFFGetFieldDefaulted(ta.get(), tag, &va);
        TIFFGetFieldDefaulted(tb.get(), tag, &vb);
        if (va != vb) return false;
    }
    std::uint16_t predictorA = 1, predictorB = 1; // set only for the codecs that have one
    TIFFGetField(ta.get(), TIFFTAG_PREDICTOR, &predictorA);
    TIFFGetField(tb.get(), TIFFTAG_PREDICTOR, &predictorB);
    if (predictorA != predictorB) return false;
    std::uint16_t extraA = 0, extraB = 0;
    std::uint16_t* kindsA = nullptr;
    std::uint16_t* kindsB = nullptr;
    TIFFGetFieldDefaulted(ta.get(), TIFFTAG_EXTRASAMPLES, &extraA, &kindsA);
    TIFFGetFieldDefaulted(tb.get(), TIFFTAG_EXTRASAMPLES, &extraB, &kindsB);
    if (extraA != extraB) return false;
    const bool tiled = TIFFIsTiled(ta.get()) != 0;
    if (tiled != (TIFFIsTiled(tb.get()) != 0)) return false;
    const std::uint32_t blocks = tiled ? TIFFNumberOfTiles(ta.get()) : TIFFNumberOfStrips(ta.get());
    if (blocks != (tiled ? TIFFNumberOfTiles(tb.get()) : TIFFNumberOfStrips(tb.get()))) return false;
    // The coded bytes compared where they lie in the two files (a montage may be hundreds of MB).
    for (std::uint32_t i = 0; i < blocks; ++i) {
        const std::uint64_t size = TIFFGetStrileByteCount(ta.get(), i), atA = TIFFGetStrileOffset(ta.get(), i),
                            atB = TIFFGetStrileOffset(tb.get(), i);
        if (size != TIFFGetStrileByteCount(tb.get(), i) || atA > original.size() || size > original.size() - atA ||
            atB > written.size() || size > written.size() - atB)
            return false;
        if (std::memcmp(original.data() + atA, written.data() + atB, std::size_t(size)) != 0) return false;
    }
    return true;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

} // namespace

std::vector<std::uint8_t> withMetadata(const std::vector<std::uint8_t>& file, const PictureMetadata& metadata,
                                       int width, int height, std::vector<std::string>& problems) {
    if (metadata.empty() || file.empty()) return file;
    std::vector<std::string> errors;
    ExivCall call(errors);
    std::vector<std::string> said;
    std::vector<std::uint8_t> out = writeBlocks(file, metadata, CameraExif::Whole, width, height, errors, said);
    const bool tiff =
        file.size() >= 4 && (std::memcmp(file.data(), "II*\0", 4) == 0 || std::memcmp(file.data(), "MM\0*", 4) == 0);
    if (!tiff || sameTiffPicture(file, out)) {
        append(problems, said);
        return out;
    }
    // A TIFF's first directory holds its pixels' layout beside the camera's entries there: one of
    // them of a type libtiff refuses (a damaged block Exiv2 reads without a word) makes the whole
    // file unreadable, one it takes as layout changes the pixels. Those entries are left out, then
    // if need be the whole EXIF block.
    said.clear();
    // The refused file goes before the next is written: never two of them beside the picture's own.
    out = std::vector<std::uint8_t>();
    out = writeBlocks(file, metadata, CameraExif::BesideTheFirstDirectory, width, height, errors, said);
    if (sameTiffPicture(file, out)) {
        append(problems, said);
        problems.push_back("the EXIF entries of the first picture's main directory would damage the TIFF file and "
                           "are not copied");
        return out;
    }
    PictureMetadata withoutExif = metadata;
    withoutExif.exif.clear();
    said.clear();
    out = std::vector<std::uint8_t>();
    out = withoutExif.empty() ? file : writeBlocks(file, withoutExif, CameraExif::Whole, width, height, errors, said);
    if (sameTiffPicture(file, out)) {
        append(problems, said);
        problems.push_back("the EXIF block would damage the TIFF file and is not copied");
        return out;
    }
    problems.push_back("the metadata would damage the TIFF file and is not copied");
    return file;
}

// The file: "ORVMETA1", then the EXIF, XMP and ICC blocks, each as a 4-byte little-endian length
// and its bytes.
namespace {
constexpr char kMagic[] = "ORVMETA1";

void putBlock(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(size >> (8 * i)));
    out.insert(out.end(), data, data + size);
}

bool takeBlock(const std::vector<std::uint8_t>& in, std::size_t& at, std::vector<std::uint8_t>& block) {
    if (in.size() - at < 4) return false;
    std::size_t size = 0;
    for (int i = 0; i < 4; ++i) size |= std::size_t(in[at + std::size_t(i)]) << (8 * i);
    at += 4;
    if (in.size() - at < size) return false;
    block.assign(in.begin() + std::ptrdiff_t(at), in.begin() + std::ptrdiff_t(at + size));
    at += size;
    return true;
}
} // namespace

std::vector<std::uint8_t> metadataFileBytes(const PictureMetadata& m) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 8);
    putBlock(out, m.exif.data(), m.exif.size());
    putBlock(out, reinterpret_cast<const std::uint8_t*>(m.xmp.data()), m.xmp.size());
    putBlock(out, m.icc.data(), m.icc.size());
    return out;
}

std::optional<PictureMetadata> metadataFromFileBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kMagic, 8) != 0) return std::nullopt;
    PictureMetadata m;
    std::size_t at = 8;
    std::vector<std::uint8_t> xmp;
    if (!takeBlock(bytes, at, m.exif) || !takeBlock(bytes, at, xmp) || !takeBlock(bytes, at, m.icc) || at != bytes.size())
        return std::nullopt;
    m.xmp.assign(xmp.begin(), xmp.end());
    return m;
}

} // namespace orv
