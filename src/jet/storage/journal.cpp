#include "storage/journal.h"

#include <cstring>
#include <string>

#include "storage/bytes.h"

namespace jet {
namespace {

// Layout: magic, page size (4), old file length (8), page count (4); then per page its number (4) and
// bytes; then an FNV-1a checksum (8) of everything before it.
constexpr char kMagic[8] = {'J', 'e', 't', 'J', 'r', 'n', 'l', '1'};
constexpr size_t kHeaderSize = 8 + 4 + 8 + 4;
constexpr size_t kChecksumSize = 8;

uint64_t checksum(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

std::vector<uint8_t> journalImage(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize,
                                  Status& status) {
    uint64_t oldSize = file.size();
    std::vector<uint32_t> kept;
    for (const PageWrite& w : pages) {
        if (uint64_t{w.number} * pageSize < oldSize) kept.push_back(w.number);
    }
    std::vector<uint8_t> image(kHeaderSize + kept.size() * (4 + size_t{pageSize}) + kChecksumSize);
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    store32(image.data() + 8, pageSize);
    store64(image.data() + 12, oldSize);
    store32(image.data() + 20, static_cast<uint32_t>(kept.size()));
    uint8_t* at = image.data() + kHeaderSize;
    for (uint32_t number : kept) {
        store32(at, number);
        // The page as the file holds it now; the writer lock kept everyone else from changing it.
        status = file.read(uint64_t{number} * pageSize, pageSize, at + 4);
        if (!status.ok()) return {};
        at += 4 + pageSize;
    }
    store64(at, checksum(image.data(), static_cast<size_t>(at - image.data())));
    return image;
}

Status writeJournal(File& file, const std::vector<uint8_t>& image) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> journal, file.openJournal(true));
    JET_RETURN_IF_ERROR(journal->write(0, image.size(), image.data()));
    return journal->sync();
}

/// The journal's bytes when they are whole and consistent.
Result<std::vector<uint8_t>> completeJournal(File& file) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> journal, file.openJournal(false));
    std::vector<uint8_t> image(journal->size());
    if (!image.empty()) JET_RETURN_IF_ERROR(journal->read(0, image.size(), image.data()));
    auto incomplete = [] { return Status::NotFound("incomplete journal"); };
    if (image.size() < kHeaderSize + kChecksumSize || std::memcmp(image.data(), kMagic, sizeof kMagic) != 0)
        return incomplete();
    uint32_t pageSize = ByteView::load32(image.data() + 8);
    uint64_t count = ByteView::load32(image.data() + 20);
    if (pageSize == 0 || image.size() != kHeaderSize + count * (4 + uint64_t{pageSize}) + kChecksumSize)
        return incomplete();
    size_t body = image.size() - kChecksumSize;
    if (ByteView::load64(image.data() + body) != checksum(image.data(), body)) return incomplete();
    return image;
}

}  // namespace

Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize) {
    Status status;
    std::vector<uint8_t> image = journalImage(file, pages, pageSize, status);
    JET_RETURN_IF_ERROR(status.withContext("journal"));
    JET_RETURN_IF_ERROR(writeJournal(file, image));
    for (const PageWrite& w : pages) {
        JET_RETURN_IF_ERROR(file.write(uint64_t{w.number} * pageSize, pageSize, w.bytes->data()));
    }
    JET_RETURN_IF_ERROR(file.sync());
    return file.removeJournal();
}

Status rollBackUnfinishedCommit(File& file) {
    if (!file.journalExists()) return {};
    auto image = completeJournal(file);
    if (!image.ok()) {
        // Cut short while the journal was being written: the file itself was not touched yet.
        if (image.status().isNotFound()) return file.removeJournal();
        return image.status();
    }
    const uint8_t* p = image->data();
    uint32_t pageSize = ByteView::load32(p + 8);
    uint64_t oldSize = ByteView::load64(p + 12);
    uint32_t count = ByteView::load32(p + 20);
    const uint8_t* at = p + kHeaderSize;
    for (uint32_t i = 0; i < count; ++i, at += 4 + pageSize) {
        JET_RETURN_IF_ERROR(file.write(uint64_t{ByteView::load32(at)} * pageSize, pageSize, at + 4));
    }
    JET_RETURN_IF_ERROR(file.truncate(oldSize));
    JET_RETURN_IF_ERROR(file.sync());
    return file.removeJournal();
}

}  // namespace jet
