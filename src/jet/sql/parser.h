// Parses SQL text into a Statement and resolves its names against a table definition.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ast.h"
#include "jet/status.h"
#include "lexer.h"

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
    std::shared_ptr<Statement> likeTheLast(std::string_view sql);
    void remember(std::string_view sql, const std::shared_ptr<Statement>& statement);

    std::unordered_map<std::string, std::shared_ptr<Statement>> m_byShape;
    // Kept between calls, so that reading a statement's shape allocates nothing once they are grown.
    std::string m_shape;
    std::vector<Value> m_literals;
    std::vector<RawToken> m_tokens;
    // The statement prepared last, its text and tokens (End included): the next statement often differs
    // from it only in a literal (the thousands of "... WHERE ID=" & n), which comparing the two texts and
    // reading the new one from the first difference on finds at little cost.
    std::shared_ptr<Statement> m_last;
    std::string m_lastText;
    std::vector<RawToken> m_lastTokens;
};

/// Resolves every field name of `stmt` against `table` (the table the statement names).
Status bindStatement(Statement& stmt, const std::shared_ptr<const TableDef>& table);

/// The message of a syntax error at byte offset `pos` of `sql`.
Status syntaxError(std::string_view sql, size_t pos);

}  // namespace jet::sql
