// libFuzzer target: runs the input as one SQL statement (SELECT, or UPDATE/DELETE on a fresh copy) against
// a small database held in memory. Hostile text may only be refused (InvalidArgument, NotFound,
// NotSupported); a crash, a hang, a stack overflow or a damaged-file error is a bug.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

void check(const jet::Status& s) {
    if (s.isCorruption() || s.isIOError()) __builtin_trap();
}

jet::ColumnSpec column(const char* name, jet::ColumnType type, uint16_t size = 50) {
    jet::ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

// The database every input runs against, built once through the writer.
const std::vector<uint8_t>& databaseBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::string path = "/tmp/jet-fuzz-sql-" + std::to_string(::getpid()) + ".mdb";
        ::unlink(path.c_str());
        if (!jet::createDatabase(path).ok()) __builtin_trap();
        {
            jet::OpenOptions options;
            options.mode = jet::OpenMode::ReadWrite;
            auto db = jet::Database::open(path, options);
            if (!db.ok()) __builtin_trap();
            using T = jet::ColumnType;
            jet::TableSpec spec{"DM",
                                {column("ID", T::Long), column("Code", T::Text, 10), column("Name", T::Text),
                                 column("Price", T::Currency), column("Qty", T::Double),
                                 column("D", T::DateTime), column("Note", T::Memo)},
                                {jet::IndexSpec{"PrimaryKey", {"ID"}, {}, true, true},
                                 jet::IndexSpec{"Code", {"Code"}, {}, false, false}}};
            std::vector<jet::Row> rows;
            for (int64_t i = 1; i <= 40; ++i) {
                rows.push_back({i, "C" + std::to_string(i % 7), "name " + std::to_string(i),
                                jet::Currency{i * 100}, i * 1.5,
                                jet::DateTime{40000.0 + static_cast<double>(i)}, std::string(i * 10, 'n')});
            }
            if (!jet::createTable(**db, spec, rows).ok()) __builtin_trap();
        }
        auto read = jet::readWholeFile(path);
        ::unlink(path.c_str());
        if (!read.ok()) __builtin_trap();
        return std::move(read).value();
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string statement(reinterpret_cast<const char*>(data), size);
    auto file = std::make_unique<jet::MemoryFile>(databaseBytes());
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(std::move(file), options);
    if (!db.ok()) __builtin_trap();
    jet::sql::Connection connection(**db);
    auto kind = connection.kindOf(statement);
    check(kind.status());
    if (!kind.ok()) return 0;
    if (*kind == jet::sql::StatementKind::Select)
        check(connection.query(statement).status());
    else
        check(connection.execute(statement).status());
    return 0;
}
