#include "core/data/modpub_hs.h"

#include <array>
#include <optional>
#include <vector>

#include "core/data/modpub_chars.h"
#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace modPub_HS {
namespace {

const QString kMarker = QStringLiteral("<PN>");
constexpr int kKinds = 11;          // kinds 0 to 10
constexpr qint16 kUnnumbered = 10;  // the kind whose entries all get code 0

struct ConversionList {
    QList<HSEntry> entries;
    bool hasOrdinary = false;
};

/// The list the whole program shares.
ConversionList& shared() {
    static ConversionList list;
    return list;
}

/// One HS row as read, before it is numbered.
struct ConversionRow {
    QVariant kind;
    QString name, info, SM;
};

/// The HS rows of item `dmid` of the library keyed `key` in the conversion file `file`, in Code order.
/// Throws kx::DbError when the file is no conversion library.
std::vector<ConversionRow> readConversionRows(const QString& file, qint32 dmid, const QString& key) {
    auto db = modPub_DB::OpenDB(file);
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM HS WHERE DMID=") + QString::number(dmid) +
                                    QStringLiteral(" AND DEKey='") + key + QStringLiteral("' ORDER BY Code"),
                                kx::dbOpenDynaset);
    std::vector<ConversionRow> rows;
    for (; !rs->isEOF(); rs->MoveNext()) {
        rows.push_back({rs->Value(QStringLiteral("Kind")), rs->Text(QStringLiteral("HSName")),
                        rs->Text(QStringLiteral("HSInfo")), rs->Text(QStringLiteral("SM"))});
    }
    db->Close();
    return rows;
}

/// The kind a row's Kind value names, or nothing when it is Null or outside 0 to 10.
std::optional<qint16> validKind(const QVariant& kind) {
    bool ok = false;
    const qlonglong k = kind.toLongLong(&ok);
    if (kind.isNull() || !ok || k < 0 || k >= kKinds) return std::nullopt;
    return static_cast<qint16>(k);
}

/// Numbers the rows of one file on from `counters` and appends them to `list`.
void appendRows(const std::vector<ConversionRow>& rows, const QString& file, qint32 dmid,
                std::array<qint16, kKinds>& counters, ConversionList& list) {
    for (const ConversionRow& row : rows) {
        const std::optional<qint16> kind = validKind(row.kind);
        if (!kind) {
            const QString shown = row.kind.isNull() ? QStringLiteral("Null") : row.kind.toString();
            qCWarning(lcKxView).noquote()
                << "conversion" << row.name << "of item" << dmid << "in" << kx::fs::withSlashes(file)
                << "has the kind" << shown << "outside 0 to 10 and is left out";
            continue;
        }
        HSEntry entry;
        if (*kind != kUnnumbered) ++counters[static_cast<size_t>(*kind)];
        entry.code = *kind == kUnnumbered ? 0 : counters[static_cast<size_t>(*kind)];
        entry.kind = *kind;
        entry.parameter = SplitAfterPN(row.name);
        entry.name = entry.parameter.isEmpty() ? row.name : SplitBeforePN(row.name);
        entry.info = row.info;
        entry.SM = row.SM;
        list.hasOrdinary = list.hasOrdinary || *kind == 0;
        list.entries.append(entry);
    }
}

}  // namespace

void LoadHS(qint32 dmid, const QString& dbFullName) {
    ConversionList& list = shared();
    list = {};
    auto library = modPub_DB::OpenDB(dbFullName);
    const QString key = modPub_DB::GetKeyInfo(*library, QStringLiteral("Key"));
    const QString withHSK = modPub_DB::GetKeyInfo(*library, QStringLiteral("WithHSK"));
    std::array<qint16, kKinds> counters{};
    for (const QString& file : conversionFiles(dbFullName, withHSK)) {
        if (!kx::fs::isFile(file)) continue;  // a missing file, or an empty "WithHSK" field naming the folder
        std::vector<ConversionRow> rows;
        try {
            rows = readConversionRows(file, dmid, key);
        } catch (const kx::DbError& e) {
            qCWarning(lcKxView).noquote()
                << "conversion file" << kx::fs::withSlashes(file) << "is left out:" << e.what();
            continue;
        }
        appendRows(rows, file, dmid, counters, list);
    }
    library->Close();
}

const QList<HSEntry>& HSEntries() {
    return shared().entries;
}

qint16 HSCount() {
    return static_cast<qint16>(shared().entries.size());
}

bool HasOrdinary() {
    return shared().hasOrdinary;
}

QStringList conversionFiles(const QString& dbFullName, const QString& withHSK) {
    const QString folder = modPub_File::GetFilePath(dbFullName) + QStringLiteral("换算库\\");
    const QString title = modPub_File::GetFileTitle(dbFullName);
    QStringList files{folder + title + QStringLiteral("_系统换算库.QTHS"),
                      folder + title + QStringLiteral("_用户换算库.QTHS")};
    const QString separator = QStringLiteral("|");
    const qint16 named = modPub_Chars::CountFields(withHSK, separator);
    for (qint16 i = 1; i <= named; ++i) files << folder + modPub_Chars::GetField(withHSK, separator, i);
    return files;
}

QString SplitBeforePN(const QString& text) {
    const qsizetype p = text.indexOf(kMarker);
    return p > 0 ? text.left(p) : text;
}

QString SplitAfterPN(const QString& text) {
    const qsizetype p = text.indexOf(kMarker);
    return p > 0 ? text.mid(p + kMarker.size()) : QString();
}

}  // namespace modPub_HS
