// Parses SQL text into a Statement and resolves its names against a table definition.
#pragma once

#include <memory>
#include <string_view>

#include "ast.h"
#include "jet/status.h"

namespace jet::sql {

/// Parses one SELECT, UPDATE or DELETE statement; an optional `;` may end it.
Result<std::unique_ptr<Statement>> parseStatement(std::string_view sql);

/// Resolves every field name of `stmt` against `table` (the table the statement names).
Status bindStatement(Statement& stmt, const std::shared_ptr<const TableDef>& table);

/// The message of a syntax error at byte offset `pos` of `sql`.
Status syntaxError(std::string_view sql, size_t pos);

}  // namespace jet::sql
