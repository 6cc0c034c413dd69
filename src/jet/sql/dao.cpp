// The DAO-shaped API: databases, recordsets and fields over the SQL layer and the writer.
#include "jet/dao.h"

#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql/eval.h"
#include "sql/row_writes.h"

namespace jet::dao {

/// What a database and its recordsets share; the file is released when the database closes.
struct DatabaseState {
    std::unique_ptr<jet::Database> db;
    std::unique_ptr<sql::Connection> sql;

    Status checkOpen() const { return db ? Status() : Status::InvalidArgument("the database is closed"); }
};

struct Recordset::Impl {
    std::shared_ptr<DatabaseState> state;
    sql::ResultSet rows;
    size_t current = 0;
    bool updatable = false;  // the rows are whole rows of one table, so they can be written back
    enum class Mode : uint8_t { None, Edit, AddNew } mode = Mode::None;
    std::vector<jet::Value> buffer;
    bool closed = false;

    Status checkUsable() const {
        if (closed) return Status::InvalidArgument("the recordset is closed");
        return state->checkOpen();
    }
    Status noCurrentRecord() const { return Status::NotFound("No current record."); }
    Status writeEdit();
    Status writeNew();
};

namespace {

/// The row as the table's columns, converted for storing.
Result<Row> storableRow(const TableDef& table, const std::vector<jet::Value>& values) {
    Row row;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        JET_ASSIGN_OR_RETURN(jet::Value v, sql::coerceToColumn(values[i], table.columns[i]));
        row.push_back(std::move(v));
    }
    return row;
}

}  // namespace

Status Recordset::Impl::writeEdit() {
    jet::Database& db = *state->db;
    JET_ASSIGN_OR_RETURN(auto table, db.table(rows.table));
    JET_ASSIGN_OR_RETURN(Row row, storableRow(*table, buffer));
    std::vector<std::pair<RowId, Row>> change{{rows.rowIds[current], row}};
    JET_RETURN_IF_ERROR(
        state->sql->write(table->name, [&] { return sql::replaceRows(db, table->name, change); }));
    rows.rows[current] = std::move(row);
    return {};
}

Status Recordset::Impl::writeNew() {
    jet::Database& db = *state->db;
    JET_ASSIGN_OR_RETURN(auto table, db.table(rows.table));
    JET_ASSIGN_OR_RETURN(Row row, storableRow(*table, buffer));
    return state->sql->write(table->name, [&] { return insertRows(db, table->name, {row}); });
}

const std::string& Field::Name() const {
    return m_recordset->m_impl->rows.columns[m_index];
}

const jet::Value& Field::Value() const {
    const Recordset::Impl& rs = *m_recordset->m_impl;
    if (rs.mode != Recordset::Impl::Mode::None) return rs.buffer[m_index];
    return rs.rows.rows[rs.current][m_index];
}

Status Field::SetValue(jet::Value v) {
    Recordset::Impl& rs = *m_recordset->m_impl;
    JET_RETURN_IF_ERROR(rs.checkUsable());
    if (rs.mode == Recordset::Impl::Mode::None)
        return Status::InvalidArgument("Update or CancelUpdate without AddNew or Edit: field " + Name());
    rs.buffer[m_index] = std::move(v);
    return {};
}

Recordset::Recordset(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Recordset::~Recordset() = default;

int64_t Recordset::RecordCount() const {
    return static_cast<int64_t>(m_impl->rows.rows.size());
}

bool Recordset::Eof() const {
    return m_impl->current >= m_impl->rows.rows.size();
}

bool Recordset::Bof() const {
    return m_impl->rows.rows.empty();
}

Status Recordset::MoveNext() {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    if (Eof()) return m_impl->noCurrentRecord();
    m_impl->mode = Impl::Mode::None;
    ++m_impl->current;
    return {};
}

Status Recordset::MoveFirst() {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    if (m_impl->rows.rows.empty()) return m_impl->noCurrentRecord();
    m_impl->mode = Impl::Mode::None;
    m_impl->current = 0;
    return {};
}

Result<Field> Recordset::Fields(size_t index) {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    if (index >= FieldCount())
        return Status::NotFound("Item not found in this collection: " + std::to_string(index));
    if (m_impl->mode == Impl::Mode::None && Eof()) return m_impl->noCurrentRecord();
    return Field(this, index);
}

Result<Field> Recordset::Fields(std::string_view name) {
    const std::vector<std::string>& columns = m_impl->rows.columns;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i], name)) return Fields(i);
    }
    return Status::NotFound("Item not found in this collection: field '" + std::string(name) + "'");
}

size_t Recordset::FieldCount() const {
    return m_impl->rows.columns.size();
}

Status Recordset::Edit() {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    if (!m_impl->updatable) return Status::NotSupported("the recordset is not updatable");
    if (Eof()) return m_impl->noCurrentRecord();
    JET_RETURN_IF_ERROR(sql::checkWritable(*m_impl->state->db, "edit " + m_impl->rows.table));
    m_impl->buffer = m_impl->rows.rows[m_impl->current];
    m_impl->mode = Impl::Mode::Edit;
    return {};
}

Status Recordset::AddNew() {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    if (!m_impl->updatable) return Status::NotSupported("the recordset is not updatable");
    JET_RETURN_IF_ERROR(sql::checkWritable(*m_impl->state->db, "add to " + m_impl->rows.table));
    m_impl->buffer.assign(FieldCount(), jet::Value());
    m_impl->mode = Impl::Mode::AddNew;
    return {};
}

Status Recordset::Update() {
    JET_RETURN_IF_ERROR(m_impl->checkUsable());
    Impl::Mode mode = m_impl->mode;
    if (mode == Impl::Mode::None)
        return Status::InvalidArgument("Update or CancelUpdate without AddNew or Edit");
    Status s = mode == Impl::Mode::Edit ? m_impl->writeEdit() : m_impl->writeNew();
    if (s.ok()) m_impl->mode = Impl::Mode::None;
    return s;
}

void Recordset::CancelUpdate() {
    m_impl->mode = Impl::Mode::None;
}

void Recordset::Close() {
    m_impl->closed = true;
    m_impl->rows = {};
}

Database::Database(std::shared_ptr<DatabaseState> state) : m_state(std::move(state)) {}
Database::~Database() = default;

Result<std::unique_ptr<Recordset>> Database::OpenRecordset(std::string_view source, RecordsetType type) {
    (void)type;
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    std::string sqlText(source);
    if (m_state->db->table(source).ok()) sqlText = "SELECT * FROM [" + sqlText + "]";
    JET_ASSIGN_OR_RETURN(sql::ResultSet rows, m_state->sql->query(sqlText));
    JET_ASSIGN_OR_RETURN(auto table, m_state->db->table(rows.table));
    auto impl = std::make_unique<Recordset::Impl>();
    impl->state = m_state;
    // Whole rows of the table, column for column: what SELECT * and a table name give.
    bool wholeRows = rows.columns.size() == table->columns.size() && !table->system;
    for (size_t i = 0; wholeRows && i < rows.columns.size(); ++i)
        wholeRows = rows.columns[i] == table->columns[i].name;
    impl->updatable = wholeRows && rows.rowIds.size() == rows.rows.size();
    impl->rows = std::move(rows);
    return std::unique_ptr<Recordset>(new Recordset(std::move(impl)));
}

Result<uint64_t> Database::Execute(std::string_view sql) {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    return m_state->sql->execute(sql);
}

Result<size_t> Database::TableDefCount() const {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    return m_state->db->tables().size();
}

Result<std::vector<std::string>> Database::TableDefNames() const {
    JET_RETURN_IF_ERROR(m_state->checkOpen());
    return m_state->db->tableNames(true);
}

bool Database::ReadOnly() const {
    return m_state->db && !sql::checkWritable(*m_state->db, "write").ok();
}

void Database::Close() {
    m_state->sql.reset();
    m_state->db.reset();
}

Result<std::unique_ptr<Database>> DBEngine::OpenDatabase(const std::string& path, bool readOnly) {
    OpenOptions options;
    options.mode = readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite;
    auto db = jet::Database::open(path, options);
    // A file the process may not write (permissions, read-only media) is opened for reading instead.
    if (!db.ok() && !readOnly && db.status().isIOError()) {
        options.mode = OpenMode::ReadOnly;
        db = jet::Database::open(path, options);
    }
    if (!db.ok()) return db.status();
    auto state = std::make_shared<DatabaseState>();
    state->db = std::move(db).value();
    state->sql = std::make_unique<sql::Connection>(*state->db);
    return std::unique_ptr<Database>(new Database(std::move(state)));
}

}  // namespace jet::dao
