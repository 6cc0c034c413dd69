// The items of a library held in memory for the filter that narrows a list at each keystroke: their codes,
// names (prepared for pinyin matching), units and classes, read once per state of the library file.
#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>
#include "kxview/kxview_core_export.h"

#include "core/data/pinyin.h"

namespace kx {

/// Where a library kind keeps its items: the item table and the field that holds an item's code.
struct ItemTable {
    QString table;      ///< "DM", "Mate", "DataBook"
    QString codeField;  ///< "DECode" for quota items, "Code" for the others
};

/// What the filter reads of one item.
struct IndexedItem {
    qint32 id = 0;
    QString code;
    QString name;
    QString unit;
    QString cls;
};

/// The text typed into the filter box. An item matches when its code or unit contains the text, or its
/// name contains it literally or (with pinyin readings) by the readings of its characters; letter case is
/// ignored throughout.
class KXVIEW_CORE_EXPORT RowFilter {
public:
    RowFilter() = default;
    /// Prepares `text`; `readings` null matches names literally only.
    RowFilter(const QString& text, const PinyinReadings* readings);

    bool isEmpty() const { return m_text.isEmpty(); }
    /// The text as typed.
    const QString& text() const { return m_text; }
    /// The pinyin readings names are matched by (null: none).
    const PinyinReadings* readings() const { return m_readings; }

    /// Whether an item with `code`, the prepared name `name` of `nameLength` characters and `unit` matches.
    bool matches(const QString& code, const PreparedChar* name, int nameLength, const QString& unit) const;
    /// The same for texts not prepared beforehand.
    bool matchesTexts(const QString& code, const QString& name, const QString& unit) const;
    /// Where the text matches `name` (literally or by readings), for highlighting.
    std::optional<TextSpan> spanInName(const QString& name) const;
    /// Where the text occurs in `text` (a code or unit), ignoring case.
    std::optional<TextSpan> spanInText(const QString& text) const;
    /// The summary bits (characterBit) an item's texts must hold to match.
    uint64_t requiredBits() const { return m_byReadings.requiredBits(); }
    /// The text case-folded, as it is looked for literally.
    const QString& folded() const { return m_byReadings.folded(); }
    /// Whether the text is one letter or digit: an item's summary then tells whether it matches.
    bool isOneLetterOrDigit() const {
        return m_text.size() == 1 && (requiredBits() & ((uint64_t(1) << 36) - 1)) != 0;
    }
    /// Whether readings take part in matching names.
    bool usesReadings() const { return m_byReadings.usesReadings(); }
    /// Whether a name matches the prepared characters `name` by the readings of its characters.
    bool matchesByReadings(const PreparedChar* name, int nameLength) const {
        return m_byReadings.usesReadings() && m_byReadings.matches(name, nameLength);
    }

private:
    QString m_text;
    const PinyinReadings* m_readings = nullptr;
    PinyinQuery m_byReadings;
    PinyinQuery m_literal;
};

/// The items of one library file, in table order, with their names prepared for matching.
class KXVIEW_CORE_EXPORT ItemIndex {
public:
    /// Reads every item of `table` in `file` (ID, code, Name, Unit, Class) and prepares the names with
    /// `readings` (null: literal matching only). Throws kx::DbError when the file or table cannot be read.
    static std::shared_ptr<const ItemIndex> build(const QString& file, const ItemTable& table,
                                                  const PinyinReadings* readings);
    /// The index of `file` as the file is now: the one built last for it while its size and modification
    /// time are unchanged, else a new one (a library update replaces the file). Throws as build.
    static std::shared_ptr<const ItemIndex> of(const QString& file, const ItemTable& table,
                                               const PinyinReadings* readings);

    int size() const { return static_cast<int>(m_items.size()); }
    const IndexedItem& item(int position) const { return m_items[static_cast<size_t>(position)]; }
    /// The positions of the items `filter` matches (every item for an empty filter), in table order.
    std::vector<int> matching(const RowFilter& filter) const;
    /// The same among `candidates` only (the matches of a shorter text, which a longer one narrows).
    std::vector<int> matchingAmong(const RowFilter& filter, const std::vector<int>& candidates) const;
    /// The position of the first item whose code is `code` (exactly); none when there is none.
    std::optional<int> findCode(const QString& code) const;

private:
    bool matchesItem(const RowFilter& filter, int position) const;
    /// Which items hold `text` literally in their code, unit or name, from one scan of all of them.
    std::vector<bool> literalHits(const QString& folded) const;

    std::vector<IndexedItem> m_items;
    std::vector<PreparedChar> m_names;     // every item's prepared name, one after the other
    std::vector<uint32_t> m_nameStart;     // where item i's name starts in m_names; one more entry at the end
    std::vector<TextSummary> m_summaries;  // per item: what its code, name (with readings) and unit can match
    QString m_literal;  // every item's code, unit and name case-folded, each after a separator
    std::vector<uint32_t> m_literalStart;  // where item i's texts start in m_literal; one more at the end
    QHash<QString, int> m_byCode;
};

}  // namespace kx
