// The component's database adapter: the engine's DAO-shaped API with Qt types, and errors as exceptions.
//
// Engine failures become DbError exceptions that propagate out of the component's procedures to the
// host, as a failing database call does; values become QVariant (Null is an invalid QVariant) and text
// read "as the empty string plus the value", so a Null reads as "".
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <utility>
#include <vector>
#include "kxview/kxview_core_export.h"

#include "jet/dao.h"
#include "jet/status.h"
#include "jet/value.h"
#include "kxview/errors.h"

namespace kx {

/// Throws DbError when `status` is not OK.
KXVIEW_CORE_EXPORT void throwIfError(const jet::Status& status);
/// The error of something looked for that is not there (a library, a table, a row), saying what.
KXVIEW_CORE_EXPORT DbError notFoundError(const QString& what);

/// The value of `result`, or a thrown DbError.
template <typename T>
T valueOrThrow(jet::Result<T> result) {
    throwIfError(result.status());
    return std::move(result).value();
}

/// True when `a` and `b` hold the same text; at once, without comparing characters, when both share one
/// string's data, as a field name passed again and again does.
inline bool sameText(const QString& a, const QString& b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

/// The QVariant form of an engine value (Null: an invalid QVariant; dates: QDateTime; bytes: QByteArray).
KXVIEW_CORE_EXPORT QVariant toVariant(const jet::Value& value);
/// The engine value of a QVariant (an invalid or null QVariant: Null).
KXVIEW_CORE_EXPORT jet::Value fromVariant(const QVariant& value);
/// The text of a value as "" + value gives it: Null is "", True/False are "True"/"False", numbers in
/// their shortest decimal form, dates as yyyy-MM-dd (with HH:mm:ss when the time is not midnight).
KXVIEW_CORE_EXPORT QString valueText(const jet::Value& value);

/// DAO's recordset type numbers.
enum RecordsetTypeEnum { dbOpenTable = 1, dbOpenDynaset = 2, dbOpenSnapshot = 4 };

/// A result set with a current record.
class KXVIEW_CORE_EXPORT Recordset {
public:
    explicit Recordset(std::unique_ptr<jet::dao::Recordset> rs) : m_rs(std::move(rs)) {}

    /// 0 for an empty result, more than 0 otherwise, straight after opening.
    qint64 RecordCount() const { return m_rs->RecordCount(); }
    /// True past the last record.
    bool isEOF() const { return m_rs->Eof(); }
    /// The field names in column order; empty when there is no current record (an empty result, or past
    /// the last record) unless a record is being added.
    QStringList FieldNames() const;
    /// Moves to the next record.
    void MoveNext();
    /// The value of field `name` of the current record.
    QVariant Value(const QString& name) const;
    /// The field's value as text ("" + value).
    QString Text(const QString& name) const;
    /// The field's value as the engine holds it; the reference holds until the recordset moves or closes.
    const jet::Value& RawValue(const QString& name) const;
    /// Puts a value into the record being edited or added.
    void SetValue(const QString& name, const QVariant& value);
    /// Starts editing the current record.
    void Edit();
    /// Starts a new record.
    void AddNew();
    /// Writes the edited or new record.
    void Update();
    /// Releases the rows.
    void Close() { m_rs->Close(); }

private:
    // The position of field `name`, found by name once per spelling: a listing reads the same few fields
    // of thousands of records.
    size_t fieldIndex(const QString& name) const;

    std::unique_ptr<jet::dao::Recordset> m_rs;
    mutable std::vector<std::pair<QString, size_t>> m_fieldIndexes;
};

/// An open database.
class KXVIEW_CORE_EXPORT Database {
public:
    /// The open database `db`, the file at `fileName` (as resolved).
    Database(std::unique_ptr<jet::dao::Database> db, const QString& fileName)
        : m_db(std::move(db)), m_fileName(fileName) {}

    /// The path of the file, as the engine opened it.
    const QString& FileName() const { return m_fileName; }

    /// Opens the rows of a SELECT (or a table by name).
    std::unique_ptr<Recordset> OpenRecordset(const QString& sql, RecordsetTypeEnum type = dbOpenDynaset);
    /// Runs an UPDATE or DELETE at once; returns the number of rows changed.
    qint64 Execute(const QString& sql);
    /// Every row of `table` read once and grouped by `field`: each lookup gives the rows
    /// "SELECT * FROM table WHERE field=" & value gives, in its order (see jet::sql::RowsByField).
    std::shared_ptr<const jet::sql::RowsByField> ReadRowsByField(const QString& table, const QString& field);
    /// The file's stamp as it stands: it differs from an earlier one whenever anyone committed a change to
    /// the file in between.
    jet::FileStamp ChangeStamp();
    /// Number of tables, system tables included.
    int TableDefCount() const;
    /// Table names in catalogue order, system tables included.
    QStringList TableDefNames() const;
    /// True when writes fail: the file could only be opened for reading.
    bool IsReadOnly() const;
    /// Why writes fail ("open read-only (... permission denied)"); empty when they do not.
    QString ReadOnlyReason() const;
    /// Keeps other writers' commits out until releaseReads: see HeldReads.
    void holdReads();
    /// Ends the innermost holdReads.
    void releaseReads() { m_db->ReleaseReads(); }
    /// Releases the file.
    void Close() { m_db->Close(); }

private:
    std::unique_ptr<jet::dao::Database> m_db;
    QString m_fileName;
};

/// Keeps other writers' commits out of a database while it lives, so that a run of lookups (a price or
/// an errata check per listed row) sees one state of the file and each lookup skips a lock of its own.
/// Throws DbError when the lock cannot be had. Must end before the database is closed or destroyed.
class KXVIEW_CORE_EXPORT HeldReads {
public:
    explicit HeldReads(Database& db) : m_db(db) { m_db.holdReads(); }
    ~HeldReads() { m_db.releaseReads(); }
    HeldReads(const HeldReads&) = delete;
    HeldReads& operator=(const HeldReads&) = delete;

private:
    Database& m_db;
};

/// The text encoding of Jet 3 files, whose headers often name the wrong code page.
inline constexpr const char* kJet3TextEncoding = "GB18030";

/// Opens databases by their file names (paths as the data write them: backslashes, any letter case).
class KXVIEW_CORE_EXPORT DBEngine {
public:
    /// Opens `fullName` shared; writable when the file permits, else read-only, which IsReadOnly()
    /// and ReadOnlyReason() show and every write reports. Jet 3 text is read as GB18030.
    std::unique_ptr<Database> OpenDatabase(const QString& fullName);

private:
    jet::dao::DBEngine m_engine;
};

/// Opens `fullName` through the process's one engine object (see DBEngine::OpenDatabase).
KXVIEW_CORE_EXPORT std::unique_ptr<Database> openDatabase(const QString& fullName);

}  // namespace kx
