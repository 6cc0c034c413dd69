// A DAO-shaped API over the engine and its SQL layer, for code written against DAO's object model.
//
// Names follow DAO (OpenDatabase, OpenRecordset, Execute, RecordCount, MoveNext, Fields, Edit, AddNew,
// Update) so that callers port line by line; EOF is spelled Eof because <cstdio> defines EOF as a
// macro. Every operation returns a Status or Result instead of raising a DAO error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/sql.h"
#include "jet/status.h"
#include "jet/value.h"

namespace jet::dao {

/// DAO's recordset types. All of them behave as a snapshot of the rows taken at opening whose edits
/// are written through to the file.
///
/// Writing back a snapshot: Update after Edit writes only the fields the caller put, onto the row as it
/// is in the file at that moment, so another writer's changes to other fields are kept. When another
/// writer deleted the row, or changed a field the caller put since the snapshot was taken, Update fails
/// and writes nothing (Jet reports such a write conflict too).
enum class RecordsetType : uint8_t { Table = 1, Dynaset = 2, Snapshot = 4, ForwardOnly = 8 };

struct DatabaseState;
struct RecordsetState;

/// One field of a recordset's current record (or of the record being edited or added).
class Field {
public:
    /// The field's name as the recordset's column.
    const std::string& Name() const;
    /// The value: the edited one between Edit/AddNew and Update, else the current record's. Null is
    /// std::monostate; so is the value of a field kept past the last record or past Close.
    const jet::Value& Value() const;
    /// Puts `v` into the record being edited or added; an error outside Edit/AddNew.
    Status SetValue(jet::Value v);

private:
    friend class Recordset;
    Field(std::shared_ptr<RecordsetState> recordset, size_t index)
        : m_recordset(std::move(recordset)), m_index(index) {}
    std::shared_ptr<RecordsetState> m_recordset;  // a field may outlive its recordset object
    size_t m_index;
};

/// The rows of a table or SELECT, with a current record.
class Recordset {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    /// The number of records: 0 for an empty result and the full count otherwise, from opening on
    /// (DAO may report fewer before MoveLast; callers that test for zero get the same answer).
    int64_t RecordCount() const;
    /// True when there is no current record: past the last one, or the result is empty.
    bool Eof() const;
    /// True before the first record (only for an empty result, as there is no MovePrevious).
    bool Bof() const;
    /// Moves to the next record; an error at Eof.
    Status MoveNext();
    /// Moves to the first record.
    Status MoveFirst();
    /// The field named `name` (any letter case) of the current record; an error at Eof unless a
    /// record is being added.
    Result<Field> Fields(std::string_view name);
    /// The field at `index` in column order.
    Result<Field> Fields(size_t index);
    /// What Fields(index)->Value() gives, with the same errors, without making a Field: for reading many
    /// values of many records. The value stays valid until the recordset moves or changes.
    Result<const jet::Value*> FieldValue(size_t index) const;
    /// The position of the field named `name` (any letter case) in column order, for callers that read a
    /// field of many records and would rather not find it by name each time.
    Result<size_t> FieldIndex(std::string_view name) const;
    /// The number of fields.
    size_t FieldCount() const;

    /// Starts editing the current record; only for recordsets that hold whole rows of one table.
    Status Edit();
    /// Starts a new record with every field Null (autonumber fields are numbered on Update).
    Status AddNew();
    /// Writes the edited or added record to the file (see RecordsetType for edits of a snapshot).
    Status Update();
    /// Abandons Edit or AddNew.
    void CancelUpdate();
    /// Releases the rows.
    void Close();

private:
    friend class Database;
    explicit Recordset(std::shared_ptr<RecordsetState> state);
    std::shared_ptr<RecordsetState> m_state;
};

/// An open database file.
class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    /// Opens a SELECT statement, or a table when `source` is a table's name.
    Result<std::unique_ptr<Recordset>> OpenRecordset(std::string_view source,
                                                     RecordsetType type = RecordsetType::Dynaset);
    /// Runs an UPDATE or DELETE and returns the number of rows it changed (DAO's RecordsAffected).
    Result<uint64_t> Execute(std::string_view sql);
    /// Reads every row of `table` once, grouped by `field`: each lookup of the result gives exactly the
    /// records OpenRecordset("SELECT * FROM table WHERE field=" & value) would, in its order, for callers
    /// that would otherwise open one recordset per row. The result keeps the values as read; compare
    /// ChangeStamp before using it again to see whether the file changed meanwhile.
    Result<std::shared_ptr<const sql::RowsByField>> ReadRowsByField(std::string_view table,
                                                                    std::string_view field);
    /// A stamp of the file as it stands now: it differs from an earlier one whenever anyone committed a
    /// change to the file in between (through this database or any other).
    Result<FileStamp> ChangeStamp();
    /// The number of tables, system tables included (TableDefs.Count).
    Result<size_t> TableDefCount() const;
    /// Every table's name in catalogue order, system tables included (TableDefs(i).Name).
    Result<std::vector<std::string>> TableDefNames() const;
    /// True when writes fail: the file was opened for reading, or could not be opened for writing.
    bool ReadOnly() const;
    /// Why writes fail; empty when they do not.
    std::string ReadOnlyReason() const;
    /// Keeps other writers' commits out of the file until the matching ReleaseReads (or Close): the
    /// statements run meanwhile see one state of the file, and each skips taking a lock of its own, which
    /// makes a run of small lookups cheaper. Calls nest. Writes through this database stay possible.
    Status HoldReads();
    /// Ends the innermost HoldReads; does nothing when none is held.
    void ReleaseReads();
    /// Closes the file; later calls on this database or its recordsets fail.
    void Close();

private:
    friend class DBEngine;
    explicit Database(std::shared_ptr<DatabaseState> state);
    std::shared_ptr<DatabaseState> m_state;
};

/// The entry point: opens databases.
class DBEngine {
public:
    /// Opens the file at `path` shared, for reading and writing as DAO does: fails when the file cannot
    /// be written.
    Result<std::unique_ptr<Database>> OpenDatabase(const std::string& path);
    /// Opens the file at `path` shared with the given options (OpenMode::ReadOnly, ReadWrite, or
    /// ReadWriteIfPermitted to fall back to reading, which ReadOnly() and ReadOnlyReason() then show;
    /// the text encoding of Jet 3 files; lock waits).
    Result<std::unique_ptr<Database>> OpenDatabase(const std::string& path, const OpenOptions& options);
};

}  // namespace jet::dao
