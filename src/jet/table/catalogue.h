// The catalogue: the tables MSysObjects lists, and their definitions read once and kept.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "jet/table.h"

namespace jet {

class Engine;

/// The tables of one database and a cache of their definitions.
class Catalogue {
public:
    explicit Catalogue(Engine& engine) : m_engine(engine) {}

    /// Reads the list of tables from MSysObjects, replacing what was listed.
    Status load();
    /// Forgets the list and every definition.
    void clear();
    /// The tables listed, system tables included.
    const std::vector<TableEntry>& entries() const { return m_tables; }

    /// The definition of the named table (ASCII case-insensitive), read once and kept.
    Result<std::shared_ptr<const TableDef>> table(std::string_view name);
    /// Reads the definition that starts on `page`.
    Result<std::shared_ptr<TableDef>> readDefinition(uint32_t page, const std::string& name, bool system);
    /// Every usage map the definition of `entry` names (packed row references): the table's owned and
    /// free pages, each physical index's pages and, in Jet 4, each long-value column's two maps.
    Result<std::vector<uint32_t>> usageMaps(const TableEntry& entry);
    /// Drops the kept definition of `name`.
    void forget(std::string_view name);
    /// Drops the definitions stored on any of `changedPages` (ascending), and reads the list again when the
    /// catalogue's own definition changed.
    Status forgetChanged(const std::vector<uint32_t>& changedPages);
    /// A number that moves whenever a definition handed out may have been dropped or replaced.
    uint64_t generation() const { return m_generation; }

private:
    struct Decoded;
    // The definition starting on `firstPage`, gathered and decoded; errors name the table and the page.
    Result<Decoded> decode(uint32_t firstPage, const std::string& name);

    Engine& m_engine;
    std::vector<TableEntry> m_tables;
    std::map<std::string, std::shared_ptr<const TableDef>> m_definitions;  // key: upper-cased name
    uint64_t m_generation = 0;
};

}  // namespace jet
