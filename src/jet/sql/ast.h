// The parsed form of a statement: expressions, select items, assignments and sort keys.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "jet/sql.h"
#include "jet/table.h"
#include "jet/value.h"
#include "text_match.h"

namespace jet::sql {

/// Operators of unary and binary expressions.
enum class Op : uint8_t { Not, Neg, And, Or, Eq, Ne, Lt, Gt, Le, Ge, Add, Sub, Mul, Div, Concat };

/// Aggregate functions of a select list.
enum class Aggregate : uint8_t { Max, Min, Count, Sum, Avg };

/// Scalar functions, resolved from a call's name when the statement is bound.
enum class Function : uint8_t { Mid, Left, Right, Len, UCase, LCase, Trim };

/// One node of an expression tree.
struct Expr {
    enum class Kind : uint8_t {
        Literal,    // literal
        Column,     // qualifier.name; `column` once bound
        Unary,      // op args[0]
        Binary,     // args[0] op args[1]
        Like,       // args[0] [Not] Like args[1]
        IsNull,     // args[0] Is [Not] Null
        Call,       // name(args...)
        Aggregate,  // aggregate(args[0]); no argument for Count(*); `slot` indexes the accumulators
    };
    Kind kind = Kind::Literal;
    Op op = Op::Not;
    Aggregate aggregate = Aggregate::Max;
    Function function = Function::Mid;  // Call, once bound
    bool negated = false;
    Value literal;
    std::string name;
    std::string qualifier;
    int column = -1;
    size_t slot = 0;
    size_t pos = 0;               // byte offset in the statement, for messages
    bool negatedLiteral = false;  // a number literal with its minus sign folded in
    size_t depth = 1;             // levels of the tree this node heads
    std::vector<std::unique_ptr<Expr>> args;
    // Like: the pattern compiled for the text it was last given, kept across rows and runs.
    mutable std::shared_ptr<const LikePattern> likePattern;
    mutable std::string likePatternText;
};

using ExprPtr = std::unique_ptr<Expr>;

/// One item of a select list.
struct SelectItem {
    ExprPtr expr;       // null for `*`
    std::string alias;  // AS name, or empty
};

/// One `field = expression` of an UPDATE.
struct Assignment {
    ExprPtr target;  // a Column node
    ExprPtr value;
};

/// One ORDER BY key.
struct SortKey {
    ExprPtr expr;
    bool descending = false;
};

struct AccessShape;

/// A parsed statement, bound to the definition of its table when it runs.
struct Statement {
    StatementKind kind = StatementKind::Select;
    std::string text;
    std::string table;
    std::vector<SelectItem> items;  // Select: empty means `*`
    std::vector<Assignment> assignments;
    ExprPtr where;
    std::vector<SortKey> orderBy;
    size_t aggregateCount = 0;  // Aggregate nodes in the select list

    /// The definition the Column nodes were resolved against; rebinding happens when it changes. It is
    /// looked up again only when the database's definitions version has moved from `boundVersion`.
    std::shared_ptr<const TableDef> boundTo;
    uint64_t boundVersion = 0;
    /// Once bound: the output column names, and whether each output row is a whole row of the table.
    std::vector<std::string> columnNames;
    bool wholeRows = false;
    /// Once planned: what the access path learned, kept until the statement is bound again.
    std::shared_ptr<AccessShape> access;

    /// Every literal of the statement in the order of its tokens: a statement of the same shape (the same
    /// tokens, other literals) reuses this parse with its own values put in.
    std::vector<Expr*> literals;
};

}  // namespace jet::sql
