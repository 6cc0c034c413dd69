#include "core/data/item_index.h"

#include <QDateTime>
#include <QFileInfo>
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
            index->m_nameStart.push_back(static_cast<uint32_t>(index->m_names.size()));
            appendPrepared(item.name, readings, index->m_names);
            if (!index->m_byCode.contains(item.code))
                index->m_byCode.insert(item.code, static_cast<int>(index->m_items.size()));
            index->m_items.push_back(std::move(item));
        }
    }
    db->Close();
    index->m_nameStart.push_back(static_cast<uint32_t>(index->m_names.size()));
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
    const IndexedItem& it = m_items[static_cast<size_t>(position)];
    const uint32_t start = m_nameStart[static_cast<size_t>(position)];
    const uint32_t end = m_nameStart[static_cast<size_t>(position) + 1];
    return filter.matches(it.code, m_names.data() + start, static_cast<int>(end - start), it.unit);
}

std::vector<int> ItemIndex::matching(const RowFilter& filter) const {
    std::vector<int> out;
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
