// Evaluating expressions against a row with Jet's Null, comparison and conversion rules.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ast.h"
#include "jet/cursor.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet::sql {

/// What an expression reads: the current row and, for a select list, the finished aggregates.
struct EvalContext {
    const RowReader* row = nullptr;
    const std::vector<Value>* aggregates = nullptr;
    /// The row's values already decoded, one per column: columns are read from here instead of the row.
    const Value* decoded = nullptr;
};

/// The value of `e` for the context's row.
Result<Value> evaluate(const Expr& e, const EvalContext& context);

/// True when a condition's value holds: true or a non-zero number. Null does not hold.
bool isTrue(const Value& v);

/// The number `v` stands for: numbers, dates and booleans (True is -1) directly, text when it is a
/// number once spaces are trimmed. Nothing for Null, other text and binary values.
std::optional<double> toNumber(const Value& v);

/// `v` as text (numbers in their shortest decimal form); Null gives an empty string.
std::string toText(const Value& v);

/// Three-way comparison for =, <> and the ordering operators; nothing when the result is unknown
/// (either side Null, or text that is not a number compared with a number).
std::optional<int> compareForQuery(const Value& a, const Value& b);

/// The total order of ORDER BY: Nulls first, then numbers, then text without regard to case, then
/// binary values.
int compareForSort(const Value& a, const Value& b);

}  // namespace jet::sql
