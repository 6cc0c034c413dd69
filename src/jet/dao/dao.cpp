// The DAO-shaped API: databases, recordsets and fields over the SQL layer and the writer.
#include "jet/dao.h"

#include <algorithm>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace jet::dao {

struct RecordsetState;

/// What a database and its recordsets share; the file is released when the database closes.
struct DatabaseState {
    std::unique_ptr<jet::Database> db;
    std::unique_ptr<sql::Connection> sql;
    std::vector<ReadLock> heldReads;  // released before the database closes (declared after it)
    /// States of recordsets no longer in use, kept with their storage for the next ones: a run of lookups
    /// then allocates next to nothing per statement.
    std::vector<std::shared_ptr<RecordsetState>> idle;

    Status checkOpen() const { return db ? Status() : Status::InvalidArgument("the database is closed"); }
    /// A recordset state of `self` (this database), taken from the idle ones when there is one.
    static std::shared_ptr<RecordsetState> recordsetState(const std::shared_ptr<DatabaseState>& self);
    /// Keeps the state of a recordset no one uses any more for reuse.
    void recycle(std::shared_ptr<RecordsetState> state);
};

/// A recordset's rows and current record, shared with the fields handed out for it.
struct RecordsetState {
    std::shared_ptr<DatabaseState> database;  // null while idle
    sql::ResultSet rows;
    size_t current = 0;
    bool updatable = false;  // the rows are whole rows of one table, so they can be written back
    enum class Mode : uint8_t { None, Edit, AddNew } mode = Mode::None;
    std::vector<jet::Value> buffer;
    std::vector<bool> put;  // per field: given a value since Edit or AddNew
    bool closed = false;

    bool atEnd() const { return current >= rows.rows.size(); }
    Status checkUsable() const {
        if (closed) return Status::InvalidArgument("the recordset is closed");
        return database->checkOpen();
    }
    Status noCurrentRecord() const { return Status::NotFound("No current record."); }
    /// Whether field `index` may be read: the recordset is usable, has such a field and a current record
    /// (or one being edited or added).
    Status checkField(size_t index) const {
        JET_RETURN_IF_ERROR(checkUsable());
        if (index >= rows.columns.size())
            return Status::NotFound("Item not found in this collection: " + std::to_string(index));
        if (mode == Mode::None && atEnd()) return noCurrentRecord();
        return {};
    }
    /// The value of field `index`: the edited one between Edit/AddNew and Update, else the current
    /// record's; Null past the last record.
    const jet::Value& valueAt(size_t index) const {
        static const jet::Value kNull;
        if (mode != Mode::None) return buffer[index];
        if (atEnd() || index >= rows.rows[current].size()) return kNull;
        return rows.rows[current][index];
    }
    void startBuffer(std::vector<jet::Value> values, Mode newMode) {
        buffer = std::move(values);
        put.assign(buffer.size(), false);
        mode = newMode;
    }
    Status writeEdit();
    Status writeNew();
};

namespace {
// Idle states kept, and the most rows a kept one held: lookups return a few rows each, and the storage of a
// large result is given back rather than held for the database's life.
constexpr size_t kIdleRecordsets = 4;
constexpr size_t kKeptRows = 256;
}  // namespace

std::shared_ptr<RecordsetState> DatabaseState::recordsetState(const std::shared_ptr<DatabaseState>& self) {
    std::shared_ptr<RecordsetState> state;
    if (self->idle.empty()) {
        state = std::make_shared<RecordsetState>();
    } else {
        state = std::move(self->idle.back());
        self->idle.pop_back();
    }
    state->database = self;
    return state;
}

void DatabaseState::recycle(std::shared_ptr<RecordsetState> state) {
    if (idle.size() >= kIdleRecordsets || state->rows.rows.size() > kKeptRows) return;
    state->database.reset();
    state->current = 0;
    state->updatable = false;
    state->mode = RecordsetState::Mode::None;
    state->closed = false;
    idle.push_back(std::move(state));
}

namespace {

/// `value` converted for storing in `column`.
Result<jet::Value> storable(const ColumnDef& column, const jet::Value& value) {
    return sql::coerceToColumn(value, column);
}

/// True when `source` begins with the word SELECT: a statement, not a table's name.
bool isSelect(std::string_view source) {
    size_t start = source.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || source.size() - start < 7) return false;
    std::string_view word = source.substr(start, 6);
    char after = source[start + 6];
    return equalsIgnoreCase(word, "SELECT") &&
           (after == ' ' || after == '\t' || after == '\r' || after == '\n');
}

Status writeConflict(const std::string& table, const std::string& what) {
    return Status::InvalidArgument("write conflict in table " + table + ": " + what +
                                   " since the record was read; read it again and repeat the change");
}

/// True when `current` is still the record `snapshot` was read as: same primary key, or, for a table
/// without one, the same values throughout.
bool sameRecord(const TableDef& table, sql::RowSpan snapshot, const Row& current) {
    for (const IndexDef& index : table.indexes) {
        if (index.kind != IndexDef::Kind::Primary) continue;
        for (const IndexColumn& c : table.realIndexes[index.realIndex].columns) {
            if (!(snapshot[c.column] == current[c.column])) return false;
        }
        return true;
    }
    return std::equal(snapshot.begin(), snapshot.end(), current.begin(), current.end());
}

}  // namespace

Status RecordsetState::writeEdit() {
    jet::Database& db = *database->db;
    // The row is read again under the write lock: the file may have moved on since the snapshot.
    JET_ASSIGN_OR_RETURN(WriteLock lock, db.lockForWriting());
    JET_ASSIGN_OR_RETURN(auto table, db.table(rows.table));
    RowReader reader;
    JET_ASSIGN_OR_RETURN(bool live, db.readRow(reader, table, rows.rowIds[current]));
    if (!live) return writeConflict(table->name, "another user deleted the record");
    JET_ASSIGN_OR_RETURN(Row stored, reader.values());
    const sql::RowSpan snapshot = rows.rows[current];
    if (!sameRecord(*table, snapshot, stored))
        return writeConflict(table->name, "another user deleted the record");
    Row merged = stored;
    for (size_t i = 0; i < buffer.size(); ++i) {
        if (!put[i]) continue;
        if (!(stored[i] == snapshot[i]))
            return writeConflict(table->name, "another user changed field " + table->columns[i].name);
        JET_ASSIGN_OR_RETURN(merged[i], storable(table->columns[i], buffer[i]));
    }
    JET_RETURN_IF_ERROR(updateRows(db, table->name, {{rows.rowIds[current], merged}}));
    std::move(merged.begin(), merged.end(), rows.rows[current].begin());
    return {};
}

Status RecordsetState::writeNew() {
    jet::Database& db = *database->db;
    JET_ASSIGN_OR_RETURN(WriteLock lock, db.lockForWriting());
    JET_ASSIGN_OR_RETURN(auto table, db.table(rows.table));
    Row row;
    for (size_t i = 0; i < table->columns.size(); ++i) {
        JET_ASSIGN_OR_RETURN(jet::Value v, storable(table->columns[i], buffer[i]));
        row.push_back(std::move(v));
    }
    return insertRows(db, table->name, {row});
}

const std::string& Field::Name() const {
    return m_recordset->rows.columns[m_index];
}

const jet::Value& Field::Value() const {
    return m_recordset->valueAt(m_index);
}

Status Field::SetValue(jet::Value v) {
    RecordsetState& rs = *m_recordset;
    JET_RETURN_IF_ERROR(rs.checkUsable());
    if (rs.mode == RecordsetState::Mode::None)
        return Status::InvalidArgument("Update or CancelUpdate without AddNew or Edit: field " + Name());
    rs.buffer[m_index] = std::move(v);
    rs.put[m_index] = true;
    return {};
}

Recordset::Recordset(std::shared_ptr<RecordsetState> state) : m_state(std::move(state)) {}

Recordset::~Recordset() {
    // Fields handed out may still read the state; otherwise it serves the database's next recordset.
    if (m_state.use_count() != 1 || !m_state->database) return;
    std::shared_ptr<DatabaseState> database = m_state->database;
    database->recycle(std::move(m_state));
}

int64_t Recordset::RecordCount() const {
    return static_cast<int64_t>(m_state->rows.rows.size());
}

bool Recordset::Eof() const {
    return m_state->atEnd();
}

bool Recordset::Bof() const {
    return m_state->rows.rows.empty();
}

Status Recordset::MoveNext() {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    if (Eof()) return m_state->noCurrentRecord();
    m_state->mode = RecordsetState::Mode::None;
    ++m_state->current;
    m_state->rows.rows.prefetch(m_state->current + 2);
    m_state->rows.rows.prefetchTexts(m_state->current + 1);
    return {};
}

Status Recordset::MoveFirst() {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    if (m_state->rows.rows.empty()) return m_state->noCurrentRecord();
    m_state->mode = RecordsetState::Mode::None;
    m_state->current = 0;
    return {};
}

Result<Field> Recordset::Fields(size_t index) {
    JET_RETURN_IF_ERROR(m_state->checkField(index));
    return Field(m_state, index);
}

Result<const jet::Value*> Recordset::FieldValue(size_t index) const {
    JET_RETURN_IF_ERROR(m_state->checkField(index));
    return &m_state->valueAt(index);
}

Result<Field> Recordset::Fields(std::string_view name) {
    JET_ASSIGN_OR_RETURN(const size_t index, FieldIndex(name));
    return Fields(index);
}

Result<size_t> Recordset::FieldIndex(std::string_view name) const {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    const std::vector<std::string>& columns = m_state->rows.columns;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i], name)) return i;
    }
    return Status::NotFound("Item not found in this collection: field '" + std::string(name) + "'");
}

size_t Recordset::FieldCount() const {
    return m_state->rows.columns.size();
}

Status Recordset::Edit() {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    if (!m_state->updatable) return Status::NotSupported("the recordset is not updatable");
    if (Eof()) return m_state->noCurrentRecord();
    JET_RETURN_IF_ERROR(m_state->database->db->checkWritable("edit " + m_state->rows.table));
    const sql::RowSpan row = m_state->rows.rows[m_state->current];
    m_state->startBuffer(std::vector<jet::Value>(row.begin(), row.end()), RecordsetState::Mode::Edit);
    return {};
}

Status Recordset::AddNew() {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    if (!m_state->updatable) return Status::NotSupported("the recordset is not updatable");
    JET_RETURN_IF_ERROR(m_state->database->db->checkWritable("add to " + m_state->rows.table));
    m_state->startBuffer(std::vector<jet::Value>(FieldCount()), RecordsetState::Mode::AddNew);
    return {};
}

Status Recordset::Update() {
    JET_RETURN_IF_ERROR(m_state->checkUsable());
    RecordsetState::Mode mode = m_state->mode;
    if (mode == RecordsetState::Mode::None)
        return Status::InvalidArgument("Update or CancelUpdate without AddNew or Edit");
    Status s = mode == RecordsetState::Mode::Edit ? m_state->writeEdit() : m_state->writeNew();
    if (s.ok()) m_state->mode = RecordsetState::Mode::None;
    return s;
}

void Recordset::CancelUpdate() {
    m_state->mode = RecordsetState::Mode::None;
}

void Recordset::Close() {
    m_state->closed = true;
    m_state->mode = RecordsetState::Mode::None;
    // The rows go; the column names stay for fields still held.
    m_state->rows.rows = sql::ResultRows();
    m_state->rows.rowIds = {};
}

Database::Database(std::shared_ptr<DatabaseState> state) : m_state(std::move(state)) {}
Database::~Database() = default;

Result<std::unique_ptr<Recordset>> Database::OpenRecordset(std::string_view source, RecordsetType type) {
    (void)type;
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_state->db->lockForReading());
    std::shared_ptr<RecordsetState> state = DatabaseState::recordsetState(m_state);
    if (isSelect(source) || !m_state->db->table(source).ok()) {
        JET_RETURN_IF_ERROR(m_state->sql->query(source, state->rows));
    } else {
        JET_RETURN_IF_ERROR(m_state->sql->query("SELECT * FROM [" + std::string(source) + "]", state->rows));
    }
    // Whole rows of the table, column for column (what SELECT * and a table name give), can be edited.
    state->updatable = state->rows.wholeRows && state->rows.rowIds.size() == state->rows.rows.size();
    return std::unique_ptr<Recordset>(new Recordset(std::move(state)));
}

Result<uint64_t> Database::Execute(std::string_view sql) {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    return m_state->sql->execute(sql);
}

Result<std::shared_ptr<const sql::RowsByField>> Database::ReadRowsByField(std::string_view table,
                                                                          std::string_view field) {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    return m_state->sql->rowsByField(table, field);
}

Result<FileStamp> Database::ChangeStamp() {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    // Under a read lock the database has caught up with the file: the stamp is the file as it stands.
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_state->db->lockForReading());
    return m_state->db->fileStamp();
}

Result<size_t> Database::TableDefCount() const {
    JET_ASSIGN_OR_RETURN(std::vector<std::string> names, TableDefNames());
    return names.size();
}

Result<std::vector<std::string>> Database::TableDefNames() const {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    // The catalogue as last committed: another writer may have added a table.
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_state->db->lockForReading());
    return m_state->db->tableNames(true);
}

bool Database::ReadOnly() const {
    return !ReadOnlyReason().empty();
}

std::string Database::ReadOnlyReason() const {
    if (!m_state->db) return "closed";
    return m_state->db->readOnlyReason();
}

Status Database::HoldReads() {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_state->db->lockForReading());
    m_state->heldReads.push_back(std::move(lock));
    return {};
}

void Database::ReleaseReads() {
    if (!m_state->heldReads.empty()) m_state->heldReads.pop_back();
}

void Database::Close() {
    m_state->idle.clear();
    m_state->heldReads.clear();
    m_state->sql.reset();
    m_state->db.reset();
}

Result<std::unique_ptr<Database>> DBEngine::OpenDatabase(const std::string& path) {
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    return OpenDatabase(path, options);
}

Result<std::unique_ptr<Database>> DBEngine::OpenDatabase(const std::string& path,
                                                         const OpenOptions& options) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<jet::Database> db, jet::Database::open(path, options));
    auto state = std::make_shared<DatabaseState>();
    state->db = std::move(db);
    state->sql = std::make_unique<sql::Connection>(*state->db);
    return std::unique_ptr<Database>(new Database(std::move(state)));
}

}  // namespace jet::dao
