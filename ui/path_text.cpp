// Names between bytes and text, byte for byte.
#include "ui/path_text.h"

#include <filesystem>
#include <system_error>

namespace orv {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length and code point of the UTF-8 sequence at `i`, or 0 when it is not a valid one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
int sequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    int length = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, cp = lead & 0x1Fu, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, cp = lead & 0x0Fu, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, cp = lead & 0x07u, lowest = 0x10000;
    else return 0;
    if (i + std::size_t(length) > s.size()) return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + std::size_t(k)]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

QString pathText(std::string_view bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += QChar(char16_t(c));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int length = sequenceAt(bytes, i, cp);
        if (length == 0) {
            // Only this byte is escaped: the next one may start a valid sequence.
            out += QChar(char16_t(kEscapeBase + c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += std::size_t(length);
    }
    return out;
}

std::string pathBytes(QStringView text) {
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += char(u - kEscapeBase);
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string absolutePathBytes(const std::string& name) {
    if (name.empty()) return name;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(name), ec);
    if (ec) return name;
    std::string out = p.lexically_normal().native();
    // A folder's trailing "/" is kept as typed; a file's name never has one.
    if (out.size() > 1 && out.back() == '/' && name.back() != '/') out.pop_back();
    return out;
}

} // namespace orv
