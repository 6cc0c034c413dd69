#include "core/text.h"

#include <cstring>

#include <iconv.h>

#include <cerrno>

namespace jet {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

iconv_t asIconv(void* p) {
    return static_cast<iconv_t>(p);
}

// Runs iconv over the whole input; on an invalid sequence either substitutes or fails.
bool convert(iconv_t cd, const char* in, size_t inLen, std::string& out, const char* replacement) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    out.resize(inLen * 4 + 8);
    char* src = const_cast<char*>(in);
    size_t srcLeft = inLen;
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        if (replacement == nullptr) return false;
        // EILSEQ or EINVAL: skip one byte. Windows decodes the unassigned bytes 0x80-0x9F of its
        // single-byte code pages as the C1 controls of the same value; anything else is U+FFFD.
        auto bad = static_cast<uint8_t>(*src);
        std::string substitute = replacement;
        if (bad >= 0x80 && bad <= 0x9F) substitute = {static_cast<char>(0xC2), static_cast<char>(bad)};
        size_t used = static_cast<size_t>(dst - out.data());
        out.resize(used);
        out += substitute;
        out.resize(out.size() + srcLeft * 4 + 8);
        dst = out.data() + used + substitute.size();
        dstLeft = out.size() - (used + substitute.size());
        ++src;
        --srcLeft;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return true;
}

// Writes `cp` as UTF-8 at `out`, which has room for four bytes; returns the end of what it wrote.
char* putUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Writes `units` UTF-16LE code units as UTF-8 at `out`, which has room for three bytes per unit (a pair
// of surrogates takes four bytes for two units); returns the end of what it wrote.
char* putUtf16leAsUtf8(const uint8_t* data, size_t units, char* out) {
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = ByteView::load16(data + 2 * i);
        if (u < 0x80) {
            *out++ = static_cast<char>(u);
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t low = ByteView::load16(data + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out = putUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = kReplacement;
        out = putUtf8(u, out);
    }
    return out;
}

bool isCompressedText(const uint8_t* p, size_t n) {
    return n >= 2 && p[0] == 0xFF && p[1] == 0xFE;
}

// The most UTF-8 bytes `n` bytes of Jet 4 text can give: each byte of the compressed form at most two,
// each two-byte unit at most three.
size_t utf8Bound(const uint8_t* p, size_t n) {
    return isCompressedText(p, n) ? 2 * n : 3 * (n / 2);
}

// Writes the `n` bytes of Jet 4 text at `p` as UTF-8 at `out`, which has room for utf8Bound of them;
// returns the end of what it wrote.
char* putJet4Text(const uint8_t* p, size_t n, char* out) {
    if (!isCompressedText(p, n)) return putUtf16leAsUtf8(p, n / 2, out);
    // Compressed: single bytes stand for U+0000..U+00FF; a 0x00 toggles to two-byte units and back.
    bool compressed = true;
    size_t i = 2;
    while (i < n) {
        if (p[i] == 0x00) {
            compressed = !compressed;
            ++i;
        } else if (compressed && p[i] < 0x80) {
            // A run of ASCII is its own UTF-8.
            const size_t start = i;
            while (i < n && p[i] != 0x00 && p[i] < 0x80) ++i;
            std::memcpy(out, p + start, i - start);
            out += i - start;
        } else if (compressed) {
            out = putUtf8(p[i], out);
            ++i;
        } else if (i + 1 < n) {
            size_t start = i;
            while (i + 1 < n && p[i] != 0x00) i += 2;
            // A zero low byte inside a run is a real character only when paired; Jet never compresses
            // strings holding such characters, so a 0x00 here always toggles.
            out = putUtf16leAsUtf8(p + start, (i - start) / 2, out);
        } else {
            break;  // a lone trailing byte cannot form a unit
        }
    }
    return out;
}

}  // namespace

void appendUtf8(char32_t cp, std::string& out) {
    char bytes[4];
    out.append(bytes, putUtf8(cp, bytes));
}

namespace {
// Texts up to this many UTF-8 bytes are decoded on the stack and copied once: codes and names.
constexpr size_t kShortText = 512;
}  // namespace

std::string decodeJet4Text(ByteView bytes) {
    if (utf8Bound(bytes.data(), bytes.size()) <= kShortText) {
        // Copied at its exact size: a short text then allocates nothing when it fits the string's own buffer.
        char buffer[kShortText];
        return std::string(buffer, putJet4Text(bytes.data(), bytes.size(), buffer));
    }
    std::string out;
    decodeJet4TextInto(bytes, out);
    return out;
}

void decodeJet4TextInto(ByteView bytes, std::string& out) {
    const uint8_t* p = bytes.data();
    const size_t n = bytes.size();
    const size_t bound = utf8Bound(p, n);
    // Short texts are written on the stack and copied once, into the storage `out` has; long ones are
    // written in place and cut.
    if (bound <= kShortText) {
        char buffer[kShortText];
        const auto length = static_cast<size_t>(putJet4Text(p, n, buffer) - buffer);
        out.clear();
        out.append(buffer, length);
        return;
    }
    const bool madeForThis = out.capacity() < bound;
    out.resize(bound);
    out.resize(static_cast<size_t>(putJet4Text(p, n, out.data()) - out.data()));
    // Latin text stored uncompressed takes a third of the room made for it: give the rest back, as results
    // keep many values.
    if (madeForThis && out.size() < out.capacity() / 2) out.shrink_to_fit();
}

Result<std::string> utf8ToUtf16le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    auto put = [&out](uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    size_t i = 0;
    while (i < utf8.size()) {
        auto c = static_cast<uint8_t>(utf8[i]);
        uint32_t cp = 0;
        size_t len = 0;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else
            return Status::InvalidArgument("invalid UTF-8 at byte " + std::to_string(i));
        if (i + len > utf8.size())
            return Status::InvalidArgument("truncated UTF-8 at byte " + std::to_string(i));
        for (size_t k = 1; k < len; ++k) {
            auto cc = static_cast<uint8_t>(utf8[i + k]);
            if ((cc & 0xC0) != 0x80)
                return Status::InvalidArgument("invalid UTF-8 at byte " + std::to_string(i));
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

Result<std::unique_ptr<CodePageDecoder>> CodePageDecoder::create(const std::string& codePage) {
    iconv_t to = iconv_open("UTF-8", codePage.c_str());
    if (to == reinterpret_cast<iconv_t>(-1)) return Status::InvalidArgument("unknown code page: " + codePage);
    iconv_t from = iconv_open(codePage.c_str(), "UTF-8");
    if (from == reinterpret_cast<iconv_t>(-1)) {
        iconv_close(to);
        return Status::InvalidArgument("unknown code page: " + codePage);
    }
    return std::unique_ptr<CodePageDecoder>(new CodePageDecoder(to, from));
}

CodePageDecoder::~CodePageDecoder() {
    iconv_close(asIconv(m_toUtf8));
    iconv_close(asIconv(m_fromUtf8));
}

std::string CodePageDecoder::decode(ByteView bytes) const {
    const auto* p = reinterpret_cast<const char*>(bytes.data());
    bool ascii = true;
    for (size_t i = 0; i < bytes.size() && ascii; ++i) ascii = static_cast<uint8_t>(p[i]) < 0x80;
    if (ascii) return std::string(p, bytes.size());
    std::string out;
    convert(asIconv(m_toUtf8), p, bytes.size(), out, "\xEF\xBF\xBD");
    return out;
}

Result<std::string> CodePageDecoder::encode(std::string_view utf8) const {
    std::string out;
    if (!convert(asIconv(m_fromUtf8), utf8.data(), utf8.size(), out, nullptr)) {
        return Status::InvalidArgument("text cannot be written in the database's code page");
    }
    return out;
}

std::string codePageName(uint16_t codePage) {
    return "CP" + std::to_string(codePage);
}

}  // namespace jet
