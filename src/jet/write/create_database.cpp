// A new, empty Jet 4 database: header, global page map, the four system tables and their catalogue rows.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "codec/header.h"
#include "jet/writer.h"
#include "storage/format.h"
#include "write/table_state.h"

namespace jet {
namespace {

using writer::TableState;

constexpr int64_t kTablesId = 0x0F000001;
constexpr int64_t kDatabasesId = 0x0F000002;
constexpr int64_t kRelationshipsId = 0x0F000003;
constexpr int64_t kRootId = 0x0F000000;
constexpr int64_t kMSysDbId = 0x10000000;
constexpr int64_t kSystemObjectFlags = INT32_MIN;  // 0x80000000 as a signed Long

ColumnSpec col(const char* name, ColumnType type, uint16_t size = 255) {
    ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

IndexSpec index(const char* name, std::vector<std::string> columns, bool primary, bool unique) {
    IndexSpec i;
    i.name = name;
    i.columns = std::move(columns);
    i.primary = primary;
    i.unique = unique;
    return i;
}

std::vector<TableSpec> systemTables() {
    using T = ColumnType;
    TableSpec objects{
        "MSysObjects",
        {col("Id", T::Long), col("ParentId", T::Long), col("Name", T::Text), col("Type", T::Integer),
         col("DateCreate", T::DateTime), col("DateUpdate", T::DateTime), col("Owner", T::Binary, 510),
         col("Flags", T::Long), col("Database", T::Memo), col("Connect", T::Memo),
         col("ForeignName", T::Text), col("RmtInfoShort", T::Binary, 510), col("RmtInfoLong", T::Ole),
         col("Lv", T::Ole), col("LvProp", T::Ole), col("LvModule", T::Ole), col("LvExtra", T::Ole)},
        {index("Id", {"Id"}, true, true), index("ParentIdName", {"ParentId", "Name"}, false, true)}};
    TableSpec aces{"MSysACEs",
                   {col("ObjectId", T::Long), col("SID", T::Binary, 510), col("ACM", T::Long),
                    col("FInheritable", T::Boolean)},
                   {index("ObjectId", {"ObjectId"}, false, false)}};
    TableSpec queries{"MSysQueries",
                      {col("ObjectId", T::Long), col("Attribute", T::Byte), col("Order", T::Binary, 510),
                       col("Name1", T::Text), col("Name2", T::Text), col("Expression", T::Memo),
                       col("Flag", T::Integer), col("LvExtra", T::Long)},
                      {index("ObjectIdAttribute", {"ObjectId", "Attribute", "Order"}, true, true)}};
    TableSpec relationships{"MSysRelationships",
                            {col("szRelationship", T::Text), col("grbit", T::Long), col("ccolumn", T::Long),
                             col("icolumn", T::Long), col("szObject", T::Text), col("szColumn", T::Text),
                             col("szReferencedObject", T::Text), col("szReferencedColumn", T::Text)},
                            {index("szObject", {"szObject"}, false, false),
                             index("szReferencedObject", {"szReferencedObject"}, false, false),
                             index("szRelationship", {"szRelationship"}, false, false)}};
    return {objects, aces, queries, relationships};
}

Value sid(uint8_t a, uint8_t b) {
    return Value(Bytes{a, b});
}

// Catalogue rows: the three containers, the database object and one row per system table.
std::vector<Row> catalogRows(const TableDef& objects, const std::vector<TableState>& tables, double now) {
    std::vector<Row> rows;
    auto add = [&](int64_t id, int64_t parent, const std::string& name, int64_t type, Value owner) {
        Row r(objects.columns.size());
        r[0] = Value(id);
        r[1] = Value(parent);
        r[2] = Value(name);
        r[3] = Value(type);
        r[4] = Value(DateTime{now});
        r[5] = Value(DateTime{now});
        r[6] = std::move(owner);
        r[7] = Value(kSystemObjectFlags);
        rows.push_back(std::move(r));
    };
    add(kTablesId, kRootId, "Tables", 3, sid(0x65, 0x89));
    add(kDatabasesId, kRootId, "Databases", 3, sid(0x65, 0x89));
    add(kRelationshipsId, kRootId, "Relationships", 3, sid(0x65, 0x89));
    add(kMSysDbId, kDatabasesId, "MSysDb", 2, sid(0x64, 0x8B));
    for (const TableState& t : tables) add(t.def.definitionPage, kTablesId, t.def.name, 1, sid(0x65, 0x89));
    return rows;
}

// Permissions of the system objects, as the database engine grants them to a new file.
std::vector<Row> permissionRows() {
    struct Ace {
        int64_t object;
        uint8_t sidByte0, sidByte1;
        int64_t acm;
        bool inheritable;
    };
    const Ace aces[] = {{2, 0x64, 0x8B, 393216, false},
                        {3, 0x64, 0x8B, 393216, false},
                        {4, 0x64, 0x8B, 393216, false},
                        {5, 0x64, 0x8B, 917504, false},
                        {kTablesId, 0x65, 0x8E, 983294, true},
                        {kTablesId, 0x64, 0x8B, 393217, false},
                        {kRelationshipsId, 0x65, 0x8E, 983294, true},
                        {kRelationshipsId, 0x64, 0x8B, 393217, false},
                        {kDatabasesId, 0x64, 0x8B, 393216, false},
                        {kMSysDbId, 0x64, 0x8B, 393230, false},
                        {kMSysDbId, 0x65, 0x8B, 14, false},
                        {4, 0x65, 0x8B, 20, false},
                        {5, 0x65, 0x8B, 20, false},
                        {2, 0x65, 0x8B, 20, false},
                        {kTablesId, 0x65, 0x8B, 1048319, true},
                        {kRelationshipsId, 0x65, 0x8B, 1048575, true}};
    std::vector<Row> rows;
    for (const Ace& a : aces)
        rows.push_back({Value(a.object), sid(a.sidByte0, a.sidByte1), Value(a.acm), Value(a.inheritable)});
    return rows;
}

Status buildDatabase(MemoryFile& file) {
    Pager pager(file, writer::kLayout.pageSize, 64);
    PageTransaction pages(pager);
    double now = writer::nowAsJetDate();
    uint32_t header = pages.allocate();
    JET_ASSIGN_OR_RETURN(Page * page0, pages.edit(header));
    *page0 = encodeJet4Header(now);
    uint32_t globalMap = pages.allocate();
    JET_ASSIGN_OR_RETURN(Page * page1, pages.edit(globalMap));
    datapage::init(*page1, writer::kLayout, 1);
    datapage::addRow(*page1, writer::kLayout, std::string(writer::kMapRowSize, '\0'));
    datapage::addRow(*page1, writer::kLayout, std::string(writer::kMapRowSize, '\0'));
    std::vector<TableSpec> specs = systemTables();
    std::vector<uint32_t> definitionPages;
    for (size_t i = 0; i < specs.size(); ++i)
        definitionPages.push_back(pages.allocate());  // MSysObjects on page 2
    uint32_t mapPage = 0;
    std::vector<TableState> tables;
    for (size_t i = 0; i < specs.size(); ++i) {
        JET_ASSIGN_OR_RETURN(TableState t,
                             writer::createTableTx(pages, specs[i], true, definitionPages[i], mapPage));
        tables.push_back(std::move(t));
    }
    JET_RETURN_IF_ERROR(writer::insertRowsTx(pages, tables[0], catalogRows(tables[0].def, tables, now)));
    JET_RETURN_IF_ERROR(writer::insertRowsTx(pages, tables[1], permissionRows()));
    JET_RETURN_IF_ERROR(writer::writeGlobalMap(pages));
    return pages.commit();
}

}  // namespace

Status createDatabase(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return Status::InvalidArgument(path + " already exists");
    MemoryFile memory;
    JET_RETURN_IF_ERROR(buildDatabase(memory));
    // Written under a temporary name and then linked to the real one, so a half-written file never
    // carries the real name and a file someone made meanwhile is never replaced.
    std::string temp = path + ".partial-" + std::to_string(::getpid());
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> file, createPosixFile(temp));
    Status s = file->write(0, memory.bytes().size(), memory.bytes().data());
    if (s.ok()) s = file->sync();
    file.reset();
    if (s.ok() && ::link(temp.c_str(), path.c_str()) != 0) {
        s = errno == EEXIST ? Status::InvalidArgument(path + " already exists")
                            : Status::IOError("cannot create " + path + ": " + std::strerror(errno));
    }
    ::unlink(temp.c_str());
    return s;
}

}  // namespace jet
