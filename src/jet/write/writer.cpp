// The writer's public entry points: new tables and appended rows, each one all-or-nothing transaction.
#include "jet/writer.h"

#include "jet/cursor.h"
#include "table/engine.h"
#include "write/table_state.h"

namespace jet {

namespace {

using writer::TableState;

constexpr int64_t kTableObjectType = 1;
constexpr int64_t kContainerObjectType = 3;

// A user table's writer state, under the write lock; system tables are refused.
Result<TableState> loadUserTable(Engine& engine, PageTransaction& pages, std::string_view name);

// A table's definition as the writer needs it, with its long-value maps.
Result<TableState> loadTableState(Engine& engine, PageTransaction& pages, std::string_view name) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> def, engine.catalogue().table(name));
    TableState state;
    state.def = *def;
    JET_RETURN_IF_ERROR(writer::readLongValueMaps(pages, state));
    state.nextAutoNumber = int64_t{def->autoNumber} + 1;
    return state;
}

// The next autonumber is above both the stored counter and every key already stored.
Status findNextAutoNumber(Engine& engine, TableState& state) {
    int column = -1;
    for (size_t i = 0; i < state.def.columns.size(); ++i) {
        if ((state.def.columns[i].flags & ColumnFlag::AutoLong) != 0) column = static_cast<int>(i);
    }
    if (column < 0) return {};
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> def, engine.catalogue().table(state.def.name));
    JET_ASSIGN_OR_RETURN(RowCursor cursor, engine.scan(def));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Value v, cursor.value(static_cast<size_t>(column)));
        if (auto* n = std::get_if<int64_t>(&v); n != nullptr && *n >= state.nextAutoNumber)
            state.nextAutoNumber = *n + 1;
    }
    return {};
}

/// What a new table copies from the Tables container: its id, owner and permissions.
struct ContainerInfo {
    int64_t id = 0;
    Value owner;
    std::vector<Row> aces;
};

Result<ContainerInfo> tablesContainer(Engine& engine) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> objects, engine.catalogue().table("MSysObjects"));
    int nameCol = objects->columnIndex("Name"), typeCol = objects->columnIndex("Type");
    int idCol = objects->columnIndex("Id"), ownerCol = objects->columnIndex("Owner");
    if (nameCol < 0 || typeCol < 0 || idCol < 0 || ownerCol < 0)
        return Status::NotSupported("MSysObjects lacks the columns a new table needs");
    ContainerInfo info;
    JET_ASSIGN_OR_RETURN(RowCursor cursor, engine.scan(objects));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Value name, cursor.value(static_cast<size_t>(nameCol)));
        JET_ASSIGN_OR_RETURN(Value type, cursor.value(static_cast<size_t>(typeCol)));
        auto* text = std::get_if<std::string>(&name);
        auto* number = std::get_if<int64_t>(&type);
        if (text == nullptr || number == nullptr || *text != "Tables" || *number != kContainerObjectType)
            continue;
        JET_ASSIGN_OR_RETURN(Value id, cursor.value(static_cast<size_t>(idCol)));
        JET_ASSIGN_OR_RETURN(info.owner, cursor.value(static_cast<size_t>(ownerCol)));
        info.id = std::get_if<int64_t>(&id) ? std::get<int64_t>(id) : 0;
    }
    if (info.id == 0) return Status::NotSupported("the catalogue has no Tables container");
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> aces, engine.catalogue().table("MSysACEs"));
    int objectCol = aces->columnIndex("ObjectId");
    if (objectCol < 0) return Status::NotSupported("MSysACEs lacks ObjectId");
    JET_ASSIGN_OR_RETURN(RowCursor aceCursor, engine.scan(aces));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, aceCursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Row row, aceCursor.values());
        auto* object = std::get_if<int64_t>(&row[static_cast<size_t>(objectCol)]);
        if (object != nullptr && *object == info.id) info.aces.push_back(std::move(row));
    }
    return info;
}

Result<Row> catalogRow(const TableDef& objects, const TableState& table, const ContainerInfo& container) {
    Row row(objects.columns.size());
    double now = writer::nowAsJetDate();
    auto set = [&](const char* name, Value v) -> Status {
        int i = objects.columnIndex(name);
        if (i < 0) return Status::NotSupported(std::string("MSysObjects lacks column ") + name);
        row[static_cast<size_t>(i)] = std::move(v);
        return {};
    };
    JET_RETURN_IF_ERROR(set("Id", Value(int64_t{table.def.definitionPage})));
    JET_RETURN_IF_ERROR(set("ParentId", Value(container.id)));
    JET_RETURN_IF_ERROR(set("Name", Value(table.def.name)));
    JET_RETURN_IF_ERROR(set("Type", Value(kTableObjectType)));
    JET_RETURN_IF_ERROR(set("DateCreate", Value(DateTime{now})));
    JET_RETURN_IF_ERROR(set("DateUpdate", Value(DateTime{now})));
    JET_RETURN_IF_ERROR(set("Owner", container.owner));
    JET_RETURN_IF_ERROR(set("Flags", Value(int64_t{0})));
    return row;
}

Result<TableState> loadUserTable(Engine& engine, PageTransaction& pages, std::string_view name) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> def, engine.catalogue().table(name));
    if (def->system) return Status::InvalidArgument("system table " + def->name + " is not written directly");
    return loadTableState(engine, pages, name);
}

// Adds the rows `source` hands out to the new table, batch by batch.
Status fillTable(PageTransaction& pages, TableState& table, const RowSource& source) {
    writer::RowInserter inserter(pages, table);
    JET_RETURN_IF_ERROR(inserter.start());
    while (true) {
        JET_ASSIGN_OR_RETURN(std::vector<Row> rows, source());
        if (rows.empty()) return inserter.finish();
        JET_RETURN_IF_ERROR(inserter.add(std::move(rows)));
    }
}

Status finish(Engine& engine, PageTransaction& pages) {
    JET_RETURN_IF_ERROR(writer::writeGlobalMap(pages));
    return engine.commit(pages);
}

/// Marks `tables` written when the write ends, whether it succeeded or not: caches derived from their
/// rows must not outlive even a commit that failed half-way.
class WrittenTables {
public:
    WrittenTables(Engine& engine, std::vector<std::string> tables)
        : m_engine(engine), m_tables(std::move(tables)) {}
    ~WrittenTables() {
        for (const std::string& t : m_tables) m_engine.noteTableWritten(t);
    }
    WrittenTables(const WrittenTables&) = delete;
    WrittenTables& operator=(const WrittenTables&) = delete;

private:
    Engine& m_engine;
    std::vector<std::string> m_tables;
};

}  // namespace

Status createTable(Database& db, const TableSpec& spec, const std::vector<Row>& rows) {
    bool handedOut = false;
    return createTable(db, spec, [&]() -> Result<std::vector<Row>> {
        if (handedOut) return std::vector<Row>{};
        handedOut = true;
        return rows;
    });
}

Status createTable(Database& db, const TableSpec& spec, const RowSource& source) {
    Engine& engine = engineOf(db);
    JET_ASSIGN_OR_RETURN(WriteLock lock, db.lockForWriting());
    WrittenTables written(engine, {spec.name, "MSysObjects", "MSysACEs"});
    for (const TableEntry& t : engine.catalogue().entries()) {
        if (equalsIgnoreCase(t.name, spec.name))
            return Status::InvalidArgument("table " + spec.name + " exists");
    }
    JET_ASSIGN_OR_RETURN(ContainerInfo container, tablesContainer(engine));
    PageTransaction pages(engine.pager());
    uint32_t tdefPage = pages.allocate();
    uint32_t mapPage = 0;
    JET_ASSIGN_OR_RETURN(TableState table, writer::createTableTx(pages, spec, false, tdefPage, mapPage));
    JET_RETURN_IF_ERROR(fillTable(pages, table, source).withContext("table " + spec.name));
    JET_ASSIGN_OR_RETURN(TableState objects, loadTableState(engine, pages, "MSysObjects"));
    JET_ASSIGN_OR_RETURN(Row entry, catalogRow(objects.def, table, container));
    JET_RETURN_IF_ERROR(writer::insertRowsTx(pages, objects, {entry}).withContext("catalogue"));
    JET_ASSIGN_OR_RETURN(TableState aces, loadTableState(engine, pages, "MSysACEs"));
    std::vector<Row> permissions = container.aces;
    int objectCol = aces.def.columnIndex("ObjectId");
    for (Row& r : permissions) r[static_cast<size_t>(objectCol)] = Value(int64_t{tdefPage});
    JET_RETURN_IF_ERROR(writer::insertRowsTx(pages, aces, permissions).withContext("permissions"));
    return finish(engine, pages);
}

namespace {

// Runs `change` on the user table `name` in one locked transaction, committed only when it succeeds.
template <typename Change>
Status changeUserTable(Database& db, std::string_view name, Change change) {
    Engine& engine = engineOf(db);
    JET_ASSIGN_OR_RETURN(WriteLock lock, db.lockForWriting());
    WrittenTables written(engine, {std::string(name)});
    PageTransaction pages(engine.pager());
    JET_ASSIGN_OR_RETURN(TableState table, loadUserTable(engine, pages, name));
    Status s = change(engine, pages, table);
    if (!s.ok()) return s.withContext("table " + table.def.name);
    return finish(engine, pages);
}

}  // namespace

Status insertRows(Database& db, std::string_view name, const std::vector<Row>& rows) {
    return changeUserTable(db, name,
                           [&rows](Engine& engine, PageTransaction& pages, TableState& table) -> Status {
                               JET_RETURN_IF_ERROR(findNextAutoNumber(engine, table));
                               return writer::insertRowsTx(pages, table, rows);
                           });
}

Status updateRows(Database& db, std::string_view name, const std::vector<std::pair<RowId, Row>>& rows) {
    return changeUserTable(db, name, [&rows](Engine& engine, PageTransaction& pages, TableState& table) {
        return writer::updateRowsTx(pages, engine, table, rows);
    });
}

Status deleteRows(Database& db, std::string_view name, const std::vector<RowId>& ids) {
    return changeUserTable(db, name, [&ids](Engine& engine, PageTransaction& pages, TableState& table) {
        return writer::deleteRowsTx(pages, engine, table, ids);
    });
}

}  // namespace jet
