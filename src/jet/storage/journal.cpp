#include "storage/journal.h"

#include <cstring>
#include <optional>
#include <string>

#include "core/bytes.h"

namespace jet {
namespace {

// Layout: magic, page size (4), old file length (8), page count (4); then per page its number (4) and
// bytes; then an FNV-1a checksum (8) of everything before it. A started journal holds the first three
// fields alone, which the whole journal later rewrites with the same bytes.
constexpr char kMagic[8] = {'J', 'e', 't', 'J', 'r', 'n', 'l', '1'};
constexpr size_t kLengthEnd = 8 + 4 + 8;  // the fields a started journal holds
constexpr size_t kHeaderSize = kLengthEnd + 4;
constexpr size_t kChecksumSize = 8;

uint64_t checksum(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

void writeLength(std::vector<uint8_t>& image, uint32_t pageSize, uint64_t oldSize) {
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    store32(image.data() + 8, pageSize);
    store64(image.data() + 12, oldSize);
}

Result<std::vector<uint8_t>> journalImage(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize,
                                          uint64_t oldSize) {
    std::vector<uint32_t> kept;
    for (const PageWrite& w : pages) {
        if (uint64_t{w.number + 1} * pageSize <= oldSize) kept.push_back(w.number);
    }
    std::vector<uint8_t> image(kHeaderSize + kept.size() * (4 + size_t{pageSize}) + kChecksumSize);
    writeLength(image, pageSize, oldSize);
    store32(image.data() + kLengthEnd, static_cast<uint32_t>(kept.size()));
    uint8_t* at = image.data() + kHeaderSize;
    for (uint32_t number : kept) {
        store32(at, number);
        // The page as the file holds it now; the writer lock kept everyone else from changing it.
        JET_RETURN_IF_ERROR(file.read(uint64_t{number} * pageSize, pageSize, at + 4));
        at += 4 + pageSize;
    }
    store64(at, checksum(image.data(), static_cast<size_t>(at - image.data())));
    return image;
}

Status writeJournal(File& file, const std::vector<uint8_t>& image, bool create) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> journal, file.openJournal(create));
    JET_RETURN_IF_ERROR(journal->write(0, image.size(), image.data()));
    return journal->sync();
}

Result<std::vector<uint8_t>> journalBytes(File& file) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> journal, file.openJournal(false));
    std::vector<uint8_t> image(journal->size());
    if (!image.empty()) JET_RETURN_IF_ERROR(journal->read(0, image.size(), image.data()));
    return image;
}

/// The file length a journal records, when its first fields are there.
std::optional<uint64_t> recordedLength(const std::vector<uint8_t>& image) {
    if (image.size() < kLengthEnd || std::memcmp(image.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    return ByteView::load64(image.data() + 12);
}

bool isComplete(const std::vector<uint8_t>& image) {
    if (!recordedLength(image) || image.size() < kHeaderSize + kChecksumSize) return false;
    uint32_t pageSize = ByteView::load32(image.data() + 8);
    uint64_t count = ByteView::load32(image.data() + kLengthEnd);
    if (pageSize == 0 || image.size() != kHeaderSize + count * (4 + uint64_t{pageSize}) + kChecksumSize)
        return false;
    size_t body = image.size() - kChecksumSize;
    return ByteView::load64(image.data() + body) == checksum(image.data(), body);
}

Status restorePages(File& file, const std::vector<uint8_t>& image) {
    uint32_t pageSize = ByteView::load32(image.data() + 8);
    uint32_t count = ByteView::load32(image.data() + kLengthEnd);
    const uint8_t* at = image.data() + kHeaderSize;
    for (uint32_t i = 0; i < count; ++i, at += 4 + pageSize) {
        JET_RETURN_IF_ERROR(file.write(uint64_t{ByteView::load32(at)} * pageSize, pageSize, at + 4));
    }
    return {};
}

}  // namespace

JournalState journalState(File& file) {
    if (!file.journalExists()) return JournalState::None;
    auto image = journalBytes(file);
    return image.ok() && isComplete(*image) ? JournalState::Complete : JournalState::Incomplete;
}

Status startJournal(File& file, uint32_t pageSize, uint64_t oldSize) {
    std::vector<uint8_t> image(kLengthEnd);
    writeLength(image, pageSize, oldSize);
    return writeJournal(file, image, true);
}

Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize, uint64_t oldSize,
                   bool started) {
    JET_ASSIGN_OR_RETURN(std::vector<uint8_t> image, journalImage(file, pages, pageSize, oldSize));
    // A started journal is written over in place: its first bytes stay what they were throughout.
    JET_RETURN_IF_ERROR(writeJournal(file, image, !started).withContext("journal"));
    for (const PageWrite& w : pages) {
        JET_RETURN_IF_ERROR(file.write(uint64_t{w.number} * pageSize, pageSize, w.bytes->data()));
    }
    JET_RETURN_IF_ERROR(file.sync());
    return file.removeJournal();
}

Status rollBackUnfinishedCommit(File& file) {
    if (!file.journalExists()) return {};
    JET_ASSIGN_OR_RETURN(std::vector<uint8_t> image, journalBytes(file));
    if (isComplete(image)) JET_RETURN_IF_ERROR(restorePages(file, image));
    // A journal cut short before its length was written belongs to a write that changed nothing.
    if (std::optional<uint64_t> length = recordedLength(image); length && file.size() > *length)
        JET_RETURN_IF_ERROR(file.truncate(*length));
    JET_RETURN_IF_ERROR(file.sync());
    return file.removeJournal();
}

}  // namespace jet
