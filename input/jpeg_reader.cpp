// The JPEG reader over libjpeg. The library reports failures by calling back; they jump back to
// the entry points with longjmp, so the code between a setjmp and the library calls holds only
// trivially destructible objects.
#include "input/jpeg_reader.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace orv {

namespace {

constexpr std::size_t kReadChunk = 1 << 16;

// Headers, with every application segment a camera or editor writes, fit in far less; a file
// whose first scan does not begin within this many bytes is not a picture worth reading through.
constexpr std::uint64_t kHeaderLimit = std::uint64_t(64) << 20;

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

struct SourceManager {
    jpeg_source_mgr mgr;
    int fd;
    JOCTET* buffer;
    std::uint64_t consumed; // bytes read so far
    std::uint64_t limit;    // 0: none
};

[[noreturn]] void failJump(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings about the header's wording or bytes between markers leave every pixel intact; any other
// warning means pixels are missing or wrong.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return; // trace messages
    switch (info->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
        return;
    default:
        failJump(info);
    }
}

void quiet(j_common_ptr) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// The end of the file inside the picture's data is the end of the picture: libjpeg's habit of
// inventing an end marker and showing grey for the rest would pass a cut file off as whole.
boolean fillInput(j_decompress_ptr info) {
    auto* src = reinterpret_cast<SourceManager*>(info->src);
    ssize_t n;
    do {
        n = ::read(src->fd, src->buffer, kReadChunk);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) ERREXIT(info, JERR_INPUT_EOF);
    src->consumed += std::uint64_t(n);
    if (src->limit && src->consumed > src->limit) ERREXIT(info, JERR_NO_SOI);
    src->mgr.next_input_byte = src->buffer;
    src->mgr.bytes_in_buffer = std::size_t(n);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    auto* src = reinterpret_cast<SourceManager*>(info->src);
    auto left = std::size_t(count);
    while (left > src->mgr.bytes_in_buffer) {
        left -= src->mgr.bytes_in_buffer;
        src->mgr.bytes_in_buffer = 0;
        fillInput(info);
    }
    src->mgr.next_input_byte += left;
    src->mgr.bytes_in_buffer -= left;
}

} // namespace

struct JpegReader::State {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    SourceManager source{};
    std::vector<JOCTET> buffer = std::vector<JOCTET>(kReadChunk);
    std::vector<JOCTET> cmykRow;
    std::uint64_t fileSize = 0;
    bool created = false;
    bool cmyk = false;
};

JpegReader::JpegReader(int fd, std::uint64_t fileSize) : s_(std::make_unique<State>()) {
    ::lseek(fd, 0, SEEK_SET);
    s_->fileSize = fileSize;
    s_->info.err = jpeg_std_error(&s_->errors.mgr);
    s_->errors.mgr.error_exit = failJump;
    s_->errors.mgr.emit_message = onMessage;
    s_->errors.mgr.output_message = quiet;
    s_->source.fd = fd;
    s_->source.buffer = s_->buffer.data();
    s_->source.mgr.init_source = initSource;
    s_->source.mgr.fill_input_buffer = fillInput;
    s_->source.mgr.skip_input_data = skipInput;
    s_->source.mgr.resync_to_restart = jpeg_resync_to_restart;
    s_->source.mgr.term_source = termSource;
}

JpegReader::~JpegReader() {
    if (s_->created) jpeg_destroy_decompress(&s_->info);
}

bool JpegReader::readHeader(JpegInfo& out) {
    State& s = *s_;
    if (setjmp(s.errors.jump)) return false;
    jpeg_create_decompress(&s.info);
    s.created = true;
    s.info.src = &s.source.mgr;
    s.source.limit = kHeaderLimit;
    jpeg_read_header(&s.info, TRUE);
    s.source.limit = 0;

    jpeg_decompress_struct& i = s.info;
    out.width = int(std::min<JDIMENSION>(i.image_width, 0x7fffffff));
    out.height = int(std::min<JDIMENSION>(i.image_height, 0x7fffffff));
    s.cmyk = i.jpeg_color_space == JCS_CMYK || i.jpeg_color_space == JCS_YCCK;
    const bool multiScan = i.progressive_mode || i.comps_in_scan < i.num_components;
    std::uint64_t coefficients = 0, fewestBlocks = ~std::uint64_t(0);
    for (int c = 0; c < i.num_components; ++c) {
        const jpeg_component_info& comp = i.comp_info[c];
        const auto wide = std::uint64_t(comp.width_in_blocks), high = std::uint64_t(comp.height_in_blocks);
        const auto h = std::uint64_t(std::max(1, comp.h_samp_factor)), v = std::uint64_t(std::max(1, comp.v_samp_factor));
        coefficients += (wide + h - 1) / h * h * ((high + v - 1) / v * v) * DCTSIZE2 * sizeof(JCOEF);
        fewestBlocks = std::min(fewestBlocks, wide * high);
    }
    out.decoderBytes = multiScan ? coefficients : 0;
    // Huffman-coded data spends at least one bit on every block of a component it covers; the
    // arithmetic coder can spend less, so only Huffman-coded files are measured.
    out.tooShort = !i.arith_code && i.num_components > 0 && s.fileSize < fewestBlocks / 8;
    return true;
}

bool JpegReader::decode(RowAt rowAt, void* context, int bytesPerPixel) {
    State& s = *s_;
    if (!s.created) return false;
    if (s.cmyk) s.cmykRow.assign(std::size_t(s.info.image_width) * 4, 0);
    if (setjmp(s.errors.jump)) return false;
    jpeg_decompress_struct& i = s.info;
    i.out_color_space = s.cmyk ? JCS_CMYK : bytesPerPixel == 4 ? JCS_EXT_BGRA : JCS_EXT_BGR;
    jpeg_start_decompress(&i);
    while (i.output_scanline < i.output_height) {
        const int row = int(i.output_scanline);
        if (!s.cmyk) {
            JSAMPROW rows[1] = {rowAt(context, row)};
            jpeg_read_scanlines(&i, rows, 1);
            continue;
        }
        JSAMPROW rows[1] = {s.cmykRow.data()};
        jpeg_read_scanlines(&i, rows, 1);
        // Adobe's inverted CMYK, as Qt shows it: each of C, M, Y scaled by K.
        const JOCTET* in = s.cmykRow.data();
        std::uint8_t* out = rowAt(context, row);
        for (JDIMENSION x = 0; x < i.output_width; ++x, in += 4, out += bytesPerPixel) {
            const int k = in[3];
            out[0] = std::uint8_t(k * in[2] / 255);
            out[1] = std::uint8_t(k * in[1] / 255);
            out[2] = std::uint8_t(k * in[0] / 255);
            if (bytesPerPixel == 4) out[3] = 255;
        }
    }
    jpeg_finish_decompress(&i);
    return true;
}

} // namespace orv
