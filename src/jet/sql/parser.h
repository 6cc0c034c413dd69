// Parses SQL text into a Statement and resolves its names against a table definition.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ast.h"
#include "jet/status.h"

namespace jet::sql {

/// Parses one SELECT, UPDATE or DELETE statement; an optional `;` may end it.
Result<std::unique_ptr<Statement>> parseStatement(std::string_view sql);

/// Parsed statements by shape. Statements that differ only in their literals (the thousands of
/// "... WHERE ID=" & n a caller issues) share one parse, whose literals are replaced by the new ones.
class StatementCache {
public:
    /// The statement `sql`, parsed or taken from the cache with its literals set from `sql`.
    Result<std::shared_ptr<Statement>> prepare(std::string_view sql);

private:
    std::unordered_map<std::string, std::shared_ptr<Statement>> m_byShape;
    // Kept between calls, so that reading a statement's shape allocates nothing once they are grown.
    std::string m_shape;
    std::vector<Value> m_literals;
};

/// Resolves every field name of `stmt` against `table` (the table the statement names).
Status bindStatement(Statement& stmt, const std::shared_ptr<const TableDef>& table);

/// The message of a syntax error at byte offset `pos` of `sql`.
Status syntaxError(std::string_view sql, size_t pos);

}  // namespace jet::sql
