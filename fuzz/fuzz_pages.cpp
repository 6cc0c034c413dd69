// libFuzzer target: opens the input as a database held in memory and reads everything in it (every table,
// every value, every index walk and one seek per index). Each input does bounded work, so a slow input is a
// real hang in the engine rather than a large but legitimate file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"

namespace {

constexpr size_t kMaxSteps = 20000;  // rows or index entries per cursor

// A damaged file may only fail as Corruption, IOError or NotSupported; anything else is a reader bug.
bool clean(const jet::Status& s) {
    if (s.ok() || s.isCorruption() || s.isIOError() || s.isNotSupported()) return true;
    __builtin_trap();
}

// Decodes and formats every value of the current row; false on a failed decode.
bool readRow(const jet::RowReader& row) {
    auto values = row.values();
    if (!values.ok()) return !clean(values.status());
    std::string line;
    for (const jet::Value& v : *values) jet::appendCsvField(line, v);
    return true;
}

void readTable(jet::Database& db, const std::string& name) {
    auto def = db.table(name);
    if (!clean(def.status()) || !def.ok()) return;
    auto cursor = db.scan(*def);
    if (clean(cursor.status()) && cursor.ok()) {
        for (size_t steps = 0; steps < kMaxSteps; ++steps) {
            auto more = cursor->next();
            if (!clean(more.status()) || !more.ok() || !*more || !readRow(*cursor)) break;
        }
    }
    for (const jet::IndexDef& index : (*def)->indexes) {
        auto walk = db.indexCursor(*def, index.name);
        if (!clean(walk.status()) || !walk.ok()) continue;
        std::vector<jet::Value> firstKey;
        const jet::RealIndexDef& real = (*def)->realIndexes[index.realIndex];
        for (size_t steps = 0; steps < kMaxSteps; ++steps) {
            auto more = walk->next();
            if (!clean(more.status()) || !more.ok() || !*more || !readRow(*walk)) break;
            if (steps == 0) {
                for (const jet::IndexColumn& c : real.columns) {
                    auto v = walk->value(c.column);
                    if (v.ok()) firstKey.push_back(*v);
                }
            }
        }
        // A seek descends through node pages instead of walking the leaves.
        if (firstKey.empty() || !walk->seekEqual(firstKey).ok()) continue;
        for (size_t steps = 0; steps < kMaxSteps; ++steps) {
            auto more = walk->next();
            if (!more.ok() || !*more) break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto file = std::make_unique<jet::MemoryFile>(std::vector<uint8_t>(data, data + size), true);
    jet::OpenOptions options;
    options.cachePages = 64;
    auto db = jet::Database::open(std::move(file), options);
    if (!clean(db.status()) || !db.ok()) return 0;
    for (const jet::TableEntry& t : (*db)->tables()) readTable(**db, t.name);
    return 0;
}
