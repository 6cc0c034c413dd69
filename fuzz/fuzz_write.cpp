// libFuzzer target: opens the input as a database held in memory, writable, and changes every user table
// (an update of a text column onto itself, an insert of a copy of a row, a delete). A write that fails
// must leave every byte of the file as it was; the engine must never crash or hang.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

constexpr size_t kMaxRows = 2000;

/// Runs `write`; traps when it failed but changed the file.
template <typename Write>
void refusedLeavesTheFile(jet::MemoryFile& file, Write write) {
    const std::vector<uint8_t> before = file.bytes();
    jet::Status s = write();
    if (!s.ok() && file.bytes() != before) __builtin_trap();
}

// The first row of `table`, when it can be read.
std::vector<jet::Value> firstRow(jet::Database& db, const std::shared_ptr<const jet::TableDef>& table) {
    auto cursor = db.scan(table);
    if (!cursor.ok()) return {};
    auto more = cursor->next();
    if (!more.ok() || !*more) return {};
    auto values = cursor->values();
    return values.ok() ? std::move(values).value() : std::vector<jet::Value>{};
}

void writeTable(jet::Database& db, jet::MemoryFile& file, const std::string& name) {
    auto def = db.table(name);
    if (!def.ok() || (*def)->rowCount > kMaxRows || (*def)->columns.empty()) return;
    const jet::TableDef& t = **def;
    jet::sql::Connection connection(db);
    for (const jet::ColumnDef& c : t.columns) {
        if (c.type != jet::ColumnType::Text && c.type != jet::ColumnType::Memo) continue;
        std::string statement = "UPDATE [" + t.name + "] SET [" + c.name + "] = [" + c.name + "] & 'x'";
        refusedLeavesTheFile(file, [&] { return connection.execute(statement).status(); });
        break;
    }
    std::vector<jet::Value> row = firstRow(db, *def);
    if (!row.empty()) refusedLeavesTheFile(file, [&] { return jet::insertRows(db, name, {row}); });
    std::string remove = "DELETE FROM [" + t.name + "] WHERE [" + t.columns[0].name + "] Is Not Null";
    refusedLeavesTheFile(file, [&] { return connection.execute(remove).status(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto owned = std::make_unique<jet::MemoryFile>(std::vector<uint8_t>(data, data + size));
    jet::MemoryFile& file = *owned;
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    options.cachePages = 64;
    auto db = jet::Database::open(std::move(owned), options);
    if (!db.ok()) return 0;
    std::vector<std::string> names = (*db)->tableNames(false);
    for (const std::string& name : names) writeTable(**db, file, name);
    return 0;
}
