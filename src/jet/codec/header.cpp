#include "codec/header.h"

#include <algorithm>
#include <cstring>

#include "storage/format.h"

namespace jet {
namespace {

constexpr uint32_t kMagicOffset = 4;
constexpr size_t kMagicSize = 15;
constexpr char kJetMagic[] = "Standard Jet DB";
constexpr char kAceMagic[] = "Standard ACE DB";
constexpr uint32_t kVersionOffset = 0x14;
// Inside the scrambled region:
constexpr uint32_t kCodePageOffset = 0x3C;
constexpr uint32_t kPageEncryptionKeyOffset = 0x3E;
constexpr uint32_t kPasswordOffset = 0x42;
constexpr uint32_t kPasswordSize = 40;
constexpr uint32_t kSortVersionDelta = 3;  // Jet 4 keeps the sort order's version 3 bytes after its id
constexpr uint32_t kJet4CreatedOffset = 0x72;
constexpr uint16_t kJet4CodePage = 1252;

Result<Version> versionFromByte(uint8_t b) {
    switch (b) {
        case 0x00:
            return Version::Jet3;
        case 0x01:
            return Version::Jet4;
        case 0x02:
            return Version::Ace12;
        case 0x03:
        case 0x04:
        case 0x05:
            return Version::Ace14;
        default:
            return Status::NotSupported("unknown database version byte " + std::to_string(b));
    }
}

}  // namespace

Result<DatabaseHeader> decodeHeader(ByteView prefix) {
    if (prefix.size() < kHeaderPrefixSize) return Status::Corruption("file too small for a database header");
    const uint8_t* raw = prefix.data();
    if (raw[0] != PageType::Header || (std::memcmp(raw + kMagicOffset, kJetMagic, kMagicSize) != 0 &&
                                       std::memcmp(raw + kMagicOffset, kAceMagic, kMagicSize) != 0)) {
        return Status::Corruption("not a Jet database (bad signature on page 0)");
    }
    DatabaseHeader header;
    JET_ASSIGN_OR_RETURN(header.version, versionFromByte(raw[kVersionOffset]));
    const FormatLayout& L = formatLayout(header.version);
    std::vector<uint8_t> plain(raw, raw + kHeaderPrefixSize);
    scrambleHeader(plain.data() + kHeaderCryptOffset, L.headerCryptLength);
    if (ByteView::load32(plain.data() + kPageEncryptionKeyOffset) != 0)
        return Status::NotSupported("encrypted pages");
    header.codePage = ByteView::load16(plain.data() + kCodePageOffset);
    header.sortOrder.id = ByteView::load16(plain.data() + L.sortOrderOffset);
    header.sortOrder.version = L.jet3 ? 0 : plain[L.sortOrderOffset + kSortVersionDelta];
    return header;
}

std::vector<uint8_t> encodeJet4Header(double created) {
    const FormatLayout& L = formatLayout(Version::Jet4);
    std::vector<uint8_t> page(L.pageSize, 0);
    page[0] = PageType::Header;
    page[1] = 0x01;
    std::copy(kJetMagic, kJetMagic + sizeof kJetMagic, page.begin() + kMagicOffset);
    page[kVersionOffset] = 0x01;
    store16(page.data() + kCodePageOffset, kJet4CodePage);
    // An empty password is stored as the mask derived from the creation date.
    auto dateMask = static_cast<uint32_t>(static_cast<int32_t>(created));
    for (uint32_t i = 0; i < kPasswordSize; i += 4) store32(page.data() + kPasswordOffset + i, dateMask);
    store16(page.data() + L.sortOrderOffset, kGeneralSortOrder);
    std::memcpy(page.data() + kJet4CreatedOffset, &created, sizeof created);
    scrambleHeader(page.data() + kHeaderCryptOffset, L.headerCryptLength);
    return page;
}

}  // namespace jet
