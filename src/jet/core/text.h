// Text conversions: Jet 4 UCS-2 (with its compression scheme) and Jet 3 code-page text, both to UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "jet/status.h"
#include "jet/unicode.h"

namespace jet {

/// Decodes a Jet 4 text value: compressed when it starts with FF FE, otherwise plain UCS-2.
std::string decodeJet4Text(ByteView bytes);
/// The same into `out`, whose storage is reused: for callers that decode many values into one string.
void decodeJet4TextInto(ByteView bytes, std::string& out);

/// Encodes UTF-8 as UCS-2 little-endian; invalid UTF-8 is an InvalidArgument.
Result<std::string> utf8ToUtf16le(std::string_view utf8);

/// Converts code-page text (Jet 3) to UTF-8 through the C library's iconv.
class CodePageDecoder {
public:
    /// A decoder for `codePage`, a name iconv knows ("GB18030", "CP1252", ...).
    static Result<std::unique_ptr<CodePageDecoder>> create(const std::string& codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    /// The UTF-8 form of `bytes`; undecodable bytes become U+FFFD.
    std::string decode(ByteView bytes) const;
    /// The code-page form of UTF-8 text; characters the code page lacks are an InvalidArgument.
    Result<std::string> encode(std::string_view utf8) const;

private:
    CodePageDecoder(void* toUtf8, void* fromUtf8) : m_toUtf8(toUtf8), m_fromUtf8(fromUtf8) {}
    void* m_toUtf8;
    void* m_fromUtf8;
};

/// The iconv name of a Windows code page number (936 -> "CP936", 1252 -> "CP1252").
std::string codePageName(uint16_t codePage);

}  // namespace jet
