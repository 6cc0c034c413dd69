#include "core/data/item_index.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <tuple>

#include "core/data/modpub_db.h"
#include "core/io/filesystem.h"

namespace kx {
namespace {

/// What tells one state of a library file from another.
struct FileStamp {
    qint64 size = -1;
    qint64 modified = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& file) {
    const QFileInfo info(fs::resolve(file));
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

constexpr char16_t kSeparator = 0x1F;

struct CachedIndex {
    FileStamp stamp;
    std::shared_ptr<const ItemIndex> index;
};

}  // namespace

RowFilter::RowFilter(const QString& text, const PinyinReadings* readings)
    : m_text(text), m_readings(readings), m_byReadings(text, readings), m_literal(text, nullptr) {}

bool RowFilter::matches(const QString& code, const PreparedChar* name, int nameLength,
                        const QString& unit) const {
    if (m_text.isEmpty()) return true;
    return code.contains(m_text, Qt::CaseInsensitive) || unit.contains(m_text, Qt::CaseInsensitive) ||
           m_byReadings.matches(name, nameLength);
}

bool RowFilter::matchesTexts(const QString& code, const QString& name, const QString& unit) const {
    const std::vector<PreparedChar> prepared = prepareText(name, m_readings);
    return matches(code, prepared.data(), static_cast<int>(prepared.size()), unit);
}

std::optional<TextSpan> RowFilter::spanInName(const QString& name) const {
    if (m_text.isEmpty()) return std::nullopt;
    const std::vector<PreparedChar> prepared = prepareText(name, m_readings);
    return m_byReadings.find(prepared.data(), static_cast<int>(prepared.size()));
}

std::optional<TextSpan> RowFilter::spanInText(const QString& text) const {
    if (m_text.isEmpty()) return std::nullopt;
    const std::vector<PreparedChar> prepared = prepareText(text, nullptr);
    return m_literal.find(prepared.data(), static_cast<int>(prepared.size()));
}

std::shared_ptr<const ItemIndex> ItemIndex::build(const QString& file, const ItemTable& table,
                                                  const PinyinReadings* readings) {
    auto index = std::make_shared<ItemIndex>();
    auto db = modPub_DB::OpenDB(file);
    {
        const HeldReads oneState(*db);
        auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM ") + table.table, dbOpenSnapshot);
        for (; !rs->isEOF(); rs->MoveNext()) {
            IndexedItem item;
            item.id = rs->Value(QStringLiteral("ID")).toInt();
            item.code = rs->Text(table.codeField);
            item.name = rs->Text(QStringLiteral("Name"));
            item.unit = rs->Text(QStringLiteral("Unit"));
            item.cls = rs->Text(QStringLiteral("Class"));
            const size_t nameStart = index->m_names.size();
            index->m_nameStart.push_back(static_cast<uint32_t>(nameStart));
            appendPrepared(item.name, readings, index->m_names);
            const std::vector<PreparedChar> others = prepareText(item.code + item.unit, nullptr);
            TextSummary summary = summaryOf(index->m_names.data() + nameStart,
                                            static_cast<int>(index->m_names.size() - nameStart), readings);
            summary.literal |= summaryOf(others.data(), static_cast<int>(others.size()), nullptr).literal;
            index->m_summaries.push_back(summary);
            // A control character nobody types keeps a match from running from one text into the next.
            index->m_literalStart.push_back(static_cast<uint32_t>(index->m_literal.size()));
            index->m_literal += (QChar(kSeparator) + item.code + QChar(kSeparator) + item.unit +
                                 QChar(kSeparator) + item.name)
                                    .toCaseFolded();
            if (!index->m_byCode.contains(item.code))
                index->m_byCode.insert(item.code, static_cast<int>(index->m_items.size()));
            index->m_items.push_back(std::move(item));
        }
    }
    db->Close();
    index->m_nameStart.push_back(static_cast<uint32_t>(index->m_names.size()));
    index->m_literalStart.push_back(static_cast<uint32_t>(index->m_literal.size()));
    return index;
}

std::shared_ptr<const ItemIndex> ItemIndex::of(const QString& file, const ItemTable& table,
                                               const PinyinReadings* readings) {
    // Libraries are large and the filter asks at each keystroke: the last index of each file is kept
    // while the file stays as it was.
    static std::map<std::tuple<QString, QString, bool>, CachedIndex> cache;
    const auto key = std::make_tuple(fs::resolve(file), table.table, readings != nullptr);
    const FileStamp stamp = stampOf(file);
    auto it = cache.find(key);
    if (it != cache.end() && it->second.stamp == stamp) return it->second.index;
    auto index = build(file, table, readings);
    cache[key] = {stamp, index};
    return index;
}

bool ItemIndex::matchesItem(const RowFilter& filter, int position) const {
    const auto at = static_cast<size_t>(position);
    const TextSummary& summary = m_summaries[at];
    const bool byReadings = filter.usesReadings();
    // Most items lack a character the text needs: they are passed over on their summary alone.
    const uint64_t required = filter.requiredBits();
    if (((summary.literal | (byReadings ? summary.readingLetters : 0)) & required) != required) return false;
    if (filter.isEmpty()) return true;
    // One letter or digit is found where it is written or where a reading begins with it.
    if (filter.isOneLetterOrDigit())
        return ((summary.literal | (byReadings ? summary.initials : 0)) & required) != 0;
    if ((summary.literal & required) == required) {
        const QStringView literal =
            QStringView(m_literal).mid(m_literalStart[at], m_literalStart[at + 1] - m_literalStart[at]);
        if (literal.contains(filter.folded())) return true;
    }
    const uint32_t start = m_nameStart[at];
    return filter.matchesByReadings(m_names.data() + start, static_cast<int>(m_nameStart[at + 1] - start));
}

std::vector<bool> ItemIndex::literalHits(const QString& folded) const {
    std::vector<bool> hits(m_items.size(), false);
    const QStringView all(m_literal);
    for (qsizetype at = all.indexOf(folded); at >= 0;) {
        const auto next =
            std::upper_bound(m_literalStart.begin(), m_literalStart.end(), static_cast<uint32_t>(at));
        const auto item = static_cast<size_t>(next - m_literalStart.begin() - 1);
        hits[item] = true;
        // The rest of this item cannot add anything: go on from the next one.
        at = next == m_literalStart.end() ? -1 : all.indexOf(folded, *next);
    }
    return hits;
}

std::vector<int> ItemIndex::matching(const RowFilter& filter) const {
    std::vector<int> out;
    if (!filter.usesReadings() && !filter.isEmpty()) {
        // Found literally or not at all: one scan over every item's texts.
        const std::vector<bool> hits = literalHits(filter.folded());
        for (int i = 0; i < size(); ++i) {
            if (hits[static_cast<size_t>(i)]) out.push_back(i);
        }
        return out;
    }
    for (int i = 0; i < size(); ++i) {
        if (matchesItem(filter, i)) out.push_back(i);
    }
    return out;
}

std::vector<int> ItemIndex::matchingAmong(const RowFilter& filter, const std::vector<int>& candidates) const {
    std::vector<int> out;
    for (const int i : candidates) {
        if (matchesItem(filter, i)) out.push_back(i);
    }
    return out;
}

std::optional<int> ItemIndex::findCode(const QString& code) const {
    const auto it = m_byCode.constFind(code);
    if (it == m_byCode.constEnd()) return std::nullopt;
    return *it;
}

}  // namespace kx
