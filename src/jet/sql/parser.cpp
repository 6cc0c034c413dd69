// A recursive-descent parser for the statements the SQL layer runs, and the binder that resolves names.
#include "parser.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include "lexer.h"
#include "text_match.h"

namespace jet::sql {

namespace {

// Far beyond what a real statement needs (Access itself allows 99 ANDs in a WHERE clause), and low
// enough that the recursive passes over a tree stay within a small thread stack.
constexpr int kMaxNesting = 200;    // parentheses, function calls, NOT and signs inside each other
constexpr size_t kMaxDepth = 1000;  // levels of an expression tree, operator chains included
// Each sort key costs memory for every row sorted; a real ORDER BY names a handful.
constexpr size_t kMaxSortKeys = 255;

Status tooComplex(const std::string& why) {
    return Status::InvalidArgument("Query is too complex: " + why);
}

// Words that end an expression or start a clause, so they cannot be bare field names.
constexpr std::string_view kReserved[] = {"SELECT", "FROM", "WHERE",  "ORDER", "BY", "AND",
                                          "OR",     "NOT",  "LIKE",   "IS",    "AS", "SET",
                                          "ASC",    "DESC", "UPDATE", "DELETE"};

bool isReserved(const Token& t) {
    for (std::string_view w : kReserved) {
        if (t.isWord(w)) return true;
    }
    return false;
}

// The text near an error: from the offending token on, at most 24 characters.
std::string nearText(std::string_view sql, size_t pos) {
    return std::string(characterRange(sql.substr(std::min(pos, sql.size())), 0, 24));
}

class Parser {
public:
    Parser(std::string_view sql, std::vector<Token> tokens) : m_sql(sql), m_tokens(std::move(tokens)) {}

    Result<std::unique_ptr<Statement>> statement();

private:
    const Token& peek(size_t ahead = 0) const {
        return m_tokens[std::min(m_at + ahead, m_tokens.size() - 1)];
    }
    const Token& take() { return m_tokens[std::min(m_at++, m_tokens.size() - 1)]; }
    bool acceptWord(std::string_view w) {
        if (!peek().isWord(w)) return false;
        ++m_at;
        return true;
    }
    bool acceptSymbol(std::string_view s) {
        if (!peek().isSymbol(s)) return false;
        ++m_at;
        return true;
    }
    Status error() const { return syntaxError(m_sql, peek().pos); }
    Status expectWord(std::string_view w) { return acceptWord(w) ? Status() : error(); }
    Status expectSymbol(std::string_view s) { return acceptSymbol(s) ? Status() : error(); }

    Result<std::string> name();
    Status select(Statement& s);
    Status update(Statement& s);
    Status remove(Statement& s);
    Status whereClause(Statement& s);
    Status orderByClause(Statement& s);

    Result<ExprPtr> expression();
    Status enter();
    void leave() { --m_nesting; }
    Status adopt(Expr& parent, ExprPtr child);
    Result<ExprPtr> binary(Op op, ExprPtr left, ExprPtr right);
    Result<ExprPtr> orExpr();
    Result<ExprPtr> andExpr();
    Result<ExprPtr> notExpr();
    Result<ExprPtr> comparison();
    Result<ExprPtr> concatExpr();
    Result<ExprPtr> addExpr();
    Result<ExprPtr> mulExpr();
    Result<ExprPtr> unary();
    Result<ExprPtr> primary();
    Result<ExprPtr> call(const Token& nameToken);
    Result<ExprPtr> columnRef();

    std::string_view m_sql;
    std::vector<Token> m_tokens;
    size_t m_at = 0;
    size_t m_aggregates = 0;
    int m_nesting = 0;
    std::vector<Expr*> m_literals;
};

ExprPtr makeExpr(Expr::Kind kind, size_t pos) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->pos = pos;
    return e;
}

Status Parser::enter() {
    if (++m_nesting > kMaxNesting) {
        --m_nesting;
        return tooComplex("expressions nest more than " + std::to_string(kMaxNesting) + " levels deep");
    }
    return {};
}

Result<ExprPtr> Parser::expression() {
    JET_RETURN_IF_ERROR(enter());
    Result<ExprPtr> e = orExpr();
    leave();
    return e;
}

// Makes `child` an argument of `parent`, keeping the depth of the tree within bounds.
Status Parser::adopt(Expr& parent, ExprPtr child) {
    parent.depth = std::max(parent.depth, child->depth + 1);
    parent.args.push_back(std::move(child));
    if (parent.depth > kMaxDepth)
        return tooComplex("an expression has more than " + std::to_string(kMaxDepth) + " levels");
    return {};
}

Result<ExprPtr> Parser::binary(Op op, ExprPtr left, ExprPtr right) {
    auto e = makeExpr(Expr::Kind::Binary, left->pos);
    e->op = op;
    JET_RETURN_IF_ERROR(adopt(*e, std::move(left)));
    JET_RETURN_IF_ERROR(adopt(*e, std::move(right)));
    return e;
}

Result<std::unique_ptr<Statement>> Parser::statement() {
    auto s = std::make_unique<Statement>();
    s->text = std::string(m_sql);
    if (acceptWord("SELECT")) {
        s->kind = StatementKind::Select;
        JET_RETURN_IF_ERROR(select(*s));
    } else if (acceptWord("UPDATE")) {
        s->kind = StatementKind::Update;
        JET_RETURN_IF_ERROR(update(*s));
    } else if (acceptWord("DELETE")) {
        s->kind = StatementKind::Delete;
        JET_RETURN_IF_ERROR(remove(*s));
    } else {
        return error();
    }
    acceptSymbol(";");
    if (peek().kind != Token::Kind::End) return error();
    s->aggregateCount = m_aggregates;
    s->literals = std::move(m_literals);
    return s;
}

// A table or field name: a bare word that is not a clause keyword, or a bracketed name.
Result<std::string> Parser::name() {
    const Token& t = peek();
    if (t.kind == Token::Kind::Bracketed || (t.kind == Token::Kind::Word && !isReserved(t))) {
        ++m_at;
        return t.text;
    }
    return error();
}

Status Parser::select(Statement& s) {
    if (!acceptSymbol("*")) {
        do {
            SelectItem item;
            JET_ASSIGN_OR_RETURN(item.expr, expression());
            if (acceptWord("AS")) {
                JET_ASSIGN_OR_RETURN(item.alias, name());
            }
            s.items.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    JET_RETURN_IF_ERROR(expectWord("FROM"));
    JET_ASSIGN_OR_RETURN(s.table, name());
    JET_RETURN_IF_ERROR(whereClause(s));
    return orderByClause(s);
}

Status Parser::update(Statement& s) {
    JET_ASSIGN_OR_RETURN(s.table, name());
    JET_RETURN_IF_ERROR(expectWord("SET"));
    do {
        Assignment a;
        JET_ASSIGN_OR_RETURN(a.target, columnRef());
        JET_RETURN_IF_ERROR(expectSymbol("="));
        JET_ASSIGN_OR_RETURN(a.value, expression());
        s.assignments.push_back(std::move(a));
    } while (acceptSymbol(","));
    if (m_aggregates != 0)
        return Status::InvalidArgument("Cannot have aggregate function in UPDATE (" + messageExcerpt(s.text) +
                                       ")");
    return whereClause(s);
}

// DELETE [*] FROM t, also DELETE t.* FROM t.
Status Parser::remove(Statement& s) {
    if (!acceptSymbol("*") && !peek().isWord("FROM")) {
        JET_ASSIGN_OR_RETURN(std::string qualifier, name());
        (void)qualifier;
        JET_RETURN_IF_ERROR(expectSymbol("."));
        JET_RETURN_IF_ERROR(expectSymbol("*"));
    }
    JET_RETURN_IF_ERROR(expectWord("FROM"));
    JET_ASSIGN_OR_RETURN(s.table, name());
    return whereClause(s);
}

Status Parser::whereClause(Statement& s) {
    if (!acceptWord("WHERE")) return {};
    size_t before = m_aggregates;
    JET_ASSIGN_OR_RETURN(s.where, expression());
    if (m_aggregates != before)
        return Status::InvalidArgument("Cannot have aggregate function in WHERE clause (" +
                                       messageExcerpt(s.text) + ")");
    return {};
}

Status Parser::orderByClause(Statement& s) {
    if (!acceptWord("ORDER")) return {};
    JET_RETURN_IF_ERROR(expectWord("BY"));
    size_t before = m_aggregates;
    do {
        SortKey key;
        JET_ASSIGN_OR_RETURN(key.expr, expression());
        if (acceptWord("DESC")) {
            key.descending = true;
        } else {
            acceptWord("ASC");
        }
        s.orderBy.push_back(std::move(key));
        if (s.orderBy.size() > kMaxSortKeys)
            return tooComplex("ORDER BY has more than " + std::to_string(kMaxSortKeys) + " keys");
    } while (acceptSymbol(","));
    if (m_aggregates != before)
        return Status::NotSupported("aggregate functions in ORDER BY are not supported (" +
                                    messageExcerpt(s.text) + ")");
    return {};
}

Result<ExprPtr> Parser::orExpr() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, andExpr());
    while (acceptWord("OR")) {
        JET_ASSIGN_OR_RETURN(ExprPtr right, andExpr());
        JET_ASSIGN_OR_RETURN(left, binary(Op::Or, std::move(left), std::move(right)));
    }
    return left;
}

Result<ExprPtr> Parser::andExpr() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, notExpr());
    while (acceptWord("AND")) {
        JET_ASSIGN_OR_RETURN(ExprPtr right, notExpr());
        JET_ASSIGN_OR_RETURN(left, binary(Op::And, std::move(left), std::move(right)));
    }
    return left;
}

Result<ExprPtr> Parser::notExpr() {
    if (peek().isWord("NOT")) {
        auto e = makeExpr(Expr::Kind::Unary, take().pos);
        e->op = Op::Not;
        JET_RETURN_IF_ERROR(enter());
        Result<ExprPtr> operand = notExpr();
        leave();
        if (!operand.ok()) return operand.status();
        JET_RETURN_IF_ERROR(adopt(*e, std::move(operand).value()));
        return e;
    }
    return comparison();
}

Result<ExprPtr> Parser::comparison() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, concatExpr());
    static const std::pair<std::string_view, Op> kOps[] = {{"=", Op::Eq}, {"<>", Op::Ne}, {"<", Op::Lt},
                                                           {">", Op::Gt}, {"<=", Op::Le}, {">=", Op::Ge}};
    for (const auto& [symbol, op] : kOps) {
        if (acceptSymbol(symbol)) {
            JET_ASSIGN_OR_RETURN(ExprPtr right, concatExpr());
            return binary(op, std::move(left), std::move(right));
        }
    }
    bool negated = peek().isWord("NOT") && peek(1).isWord("LIKE");
    if (negated) ++m_at;
    if (acceptWord("LIKE")) {
        auto e = makeExpr(Expr::Kind::Like, left->pos);
        e->negated = negated;
        JET_ASSIGN_OR_RETURN(ExprPtr pattern, concatExpr());
        JET_RETURN_IF_ERROR(adopt(*e, std::move(left)));
        JET_RETURN_IF_ERROR(adopt(*e, std::move(pattern)));
        return e;
    }
    if (acceptWord("IS")) {
        auto e = makeExpr(Expr::Kind::IsNull, left->pos);
        e->negated = acceptWord("NOT");
        JET_RETURN_IF_ERROR(expectWord("NULL"));
        JET_RETURN_IF_ERROR(adopt(*e, std::move(left)));
        return e;
    }
    return left;
}

Result<ExprPtr> Parser::concatExpr() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, addExpr());
    while (acceptSymbol("&")) {
        JET_ASSIGN_OR_RETURN(ExprPtr right, addExpr());
        JET_ASSIGN_OR_RETURN(left, binary(Op::Concat, std::move(left), std::move(right)));
    }
    return left;
}

Result<ExprPtr> Parser::addExpr() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, mulExpr());
    while (peek().isSymbol("+") || peek().isSymbol("-")) {
        Op op = take().text == "+" ? Op::Add : Op::Sub;
        JET_ASSIGN_OR_RETURN(ExprPtr right, mulExpr());
        JET_ASSIGN_OR_RETURN(left, binary(op, std::move(left), std::move(right)));
    }
    return left;
}

Result<ExprPtr> Parser::mulExpr() {
    JET_ASSIGN_OR_RETURN(ExprPtr left, unary());
    while (peek().isSymbol("*") || peek().isSymbol("/")) {
        Op op = take().text == "*" ? Op::Mul : Op::Div;
        JET_ASSIGN_OR_RETURN(ExprPtr right, unary());
        JET_ASSIGN_OR_RETURN(left, binary(op, std::move(left), std::move(right)));
    }
    return left;
}

Result<ExprPtr> Parser::unary() {
    bool plus = peek().isSymbol("+");
    if (!plus && !peek().isSymbol("-")) return primary();
    size_t pos = take().pos;
    JET_RETURN_IF_ERROR(enter());
    Result<ExprPtr> signedOperand = unary();
    leave();
    if (!signedOperand.ok() || plus) return signedOperand;
    ExprPtr operand = std::move(signedOperand).value();
    // Fold negative number literals so that `field = -3` is still a field-equals-constant lookup.
    if (operand->kind == Expr::Kind::Literal) {
        if (auto* i = std::get_if<int64_t>(&operand->literal); i != nullptr && *i != INT64_MIN) {
            operand->literal = -*i;
            operand->pos = pos;
            operand->negatedLiteral = true;
            return operand;
        }
        if (auto* d = std::get_if<double>(&operand->literal)) {
            operand->literal = -*d;
            operand->pos = pos;
            operand->negatedLiteral = true;
            return operand;
        }
    }
    auto e = makeExpr(Expr::Kind::Unary, pos);
    e->op = Op::Neg;
    JET_RETURN_IF_ERROR(adopt(*e, std::move(operand)));
    return e;
}

// Whole numbers that fit 64 bits are integers; others, and numbers with a fraction or exponent, doubles
// (out of range: infinite or zero, as the C library reads them).
Value numberValue(std::string_view text) {
    if (text.find_first_of(".eE") == std::string_view::npos) {
        int64_t n = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec == std::errc() && end == text.data() + text.size()) return Value(n);
    }
    return Value(std::strtod(std::string(text).c_str(), nullptr));
}

Value literalValue(const Token& t) {
    return t.kind == Token::Kind::Number ? numberValue(t.text) : Value(t.text);
}

Result<ExprPtr> Parser::primary() {
    const Token& t = peek();
    if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String) {
        auto e = makeExpr(Expr::Kind::Literal, t.pos);
        e->literal = literalValue(t);
        m_literals.push_back(e.get());
        ++m_at;
        return e;
    }
    if (t.isWord("TRUE") || t.isWord("FALSE") || t.isWord("NULL")) {
        ++m_at;
        auto e = makeExpr(Expr::Kind::Literal, t.pos);
        if (!t.isWord("NULL")) e->literal = Value(t.isWord("TRUE"));
        return e;
    }
    if (acceptSymbol("(")) {
        JET_ASSIGN_OR_RETURN(ExprPtr inner, expression());
        JET_RETURN_IF_ERROR(expectSymbol(")"));
        return inner;
    }
    if (t.kind == Token::Kind::Word && !isReserved(t) && peek(1).isSymbol("(")) {
        const Token& nameToken = take();
        return call(nameToken);
    }
    return columnRef();
}

Result<ExprPtr> Parser::call(const Token& nameToken) {
    JET_RETURN_IF_ERROR(expectSymbol("("));
    static const std::pair<std::string_view, Aggregate> kAggregates[] = {{"MAX", Aggregate::Max},
                                                                         {"MIN", Aggregate::Min},
                                                                         {"COUNT", Aggregate::Count},
                                                                         {"SUM", Aggregate::Sum},
                                                                         {"AVG", Aggregate::Avg}};
    for (const auto& [word, aggregate] : kAggregates) {
        if (!nameToken.isWord(word)) continue;
        auto e = makeExpr(Expr::Kind::Aggregate, nameToken.pos);
        e->aggregate = aggregate;
        e->name = nameToken.text;
        e->slot = m_aggregates++;
        if (!(aggregate == Aggregate::Count && acceptSymbol("*"))) {
            size_t before = m_aggregates;
            JET_ASSIGN_OR_RETURN(ExprPtr arg, expression());
            if (m_aggregates != before)
                return Status::InvalidArgument("Cannot have aggregate function in expression (" +
                                               messageExcerpt(m_sql) + ")");
            JET_RETURN_IF_ERROR(adopt(*e, std::move(arg)));
        }
        JET_RETURN_IF_ERROR(expectSymbol(")"));
        return e;
    }
    auto e = makeExpr(Expr::Kind::Call, nameToken.pos);
    e->name = nameToken.text;
    if (!acceptSymbol(")")) {
        do {
            JET_ASSIGN_OR_RETURN(ExprPtr arg, expression());
            JET_RETURN_IF_ERROR(adopt(*e, std::move(arg)));
        } while (acceptSymbol(","));
        JET_RETURN_IF_ERROR(expectSymbol(")"));
    }
    return e;
}

// name or qualifier.name
Result<ExprPtr> Parser::columnRef() {
    size_t pos = peek().pos;
    JET_ASSIGN_OR_RETURN(std::string first, name());
    auto e = makeExpr(Expr::Kind::Column, pos);
    if (acceptSymbol(".")) {
        e->qualifier = std::move(first);
        JET_ASSIGN_OR_RETURN(e->name, name());
    } else {
        e->name = std::move(first);
    }
    return e;
}

// Known scalar functions and how many arguments each takes.
struct FunctionArity {
    std::string_view name;
    Function function;
    size_t min;
    size_t max;
};
constexpr FunctionArity kFunctions[] = {{"MID", Function::Mid, 2, 3},     {"LEFT", Function::Left, 2, 2},
                                        {"RIGHT", Function::Right, 2, 2}, {"LEN", Function::Len, 1, 1},
                                        {"UCASE", Function::UCase, 1, 1}, {"LCASE", Function::LCase, 1, 1},
                                        {"TRIM", Function::Trim, 1, 1}};

Status bindExpr(Expr& e, const TableDef& table, const std::string& sql) {
    for (ExprPtr& arg : e.args) JET_RETURN_IF_ERROR(bindExpr(*arg, table, sql));
    if (e.kind == Expr::Kind::Call) {
        for (const FunctionArity& f : kFunctions) {
            if (!equalsIgnoreCase(f.name, e.name)) continue;
            if (e.args.size() < f.min || e.args.size() > f.max)
                return Status::InvalidArgument("Wrong number of arguments used with function '" +
                                               messageExcerpt(e.name) + "' in query expression (" +
                                               messageExcerpt(sql) + ")");
            e.function = f.function;
            return {};
        }
        return Status::InvalidArgument("Undefined function '" + messageExcerpt(e.name) + "' in expression (" +
                                       messageExcerpt(sql) + ")");
    }
    if (e.kind != Expr::Kind::Column) return {};
    std::string shown = messageExcerpt(e.qualifier.empty() ? e.name : e.qualifier + "." + e.name);
    if (!e.qualifier.empty() && !equalsIgnoreCase(e.qualifier, table.name))
        return Status::NotFound("unknown field '" + shown + "': the query reads only table " + table.name);
    e.column = table.columnIndex(e.name);
    if (e.column < 0) return Status::NotFound("unknown field '" + shown + "' in table " + table.name);
    return {};
}

bool hasColumn(const Expr& e) {
    if (e.kind == Expr::Kind::Column) return true;
    if (e.kind == Expr::Kind::Aggregate) return false;
    for (const ExprPtr& arg : e.args) {
        if (hasColumn(*arg)) return true;
    }
    return false;
}

// Without GROUP BY, a select list with aggregates may name fields only inside them.
Status checkAggregateList(const Statement& s) {
    if (s.aggregateCount == 0) return {};
    if (s.items.empty())
        return Status::InvalidArgument("Cannot group on fields selected with '*' (" + messageExcerpt(s.text) +
                                       ")");
    for (const SelectItem& item : s.items) {
        if (hasColumn(*item.expr))
            return Status::InvalidArgument(
                "You tried to execute a query that does not include the specified expression as part of "
                "an aggregate function (" +
                messageExcerpt(s.text) + ")");
    }
    return {};
}

}  // namespace

Status syntaxError(std::string_view sql, size_t pos) {
    pos = std::min(pos, sql.size());
    return Status::InvalidArgument("Syntax error in query expression near '" + nearText(sql, pos) + "' at " +
                                   std::to_string(characterCount(sql.substr(0, pos)) + 1));
}

Result<std::unique_ptr<Statement>> parseStatement(std::string_view sql) {
    Parser parser(sql, tokenize(sql));
    return parser.statement();
}

namespace {

// Statement shapes kept per connection; beyond this the cache starts afresh rather than growing.
constexpr size_t kShapeCacheLimit = 4096;

// Puts the literals of a statement of the same shape into a parse: `values` in the order of their tokens,
// from the statement's literal number `first` on.
void setLiterals(Statement& s, std::vector<Value>& values, size_t first = 0) {
    for (size_t k = 0; k < values.size() && first + k < s.literals.size(); ++k) {
        Expr& expr = *s.literals[first + k];
        expr.literal = std::move(values[k]);
        if (!expr.negatedLiteral) continue;
        if (auto* i = std::get_if<int64_t>(&expr.literal)) *i = -*i;
        if (auto* d = std::get_if<double>(&expr.literal)) *d = -*d;
    }
}

bool isLiteral(const RawToken& t) {
    return t.kind == Token::Kind::Number || t.kind == Token::Kind::String;
}

Value literalOf(const Lexer& lexer, const RawToken& t) {
    return t.kind == Token::Kind::Number ? numberValue(lexer.textOf(t)) : Value(unquote(lexer.textOf(t)));
}

// The output column names of a bound statement.
std::vector<std::string> outputNames(const Statement& s, const TableDef& table) {
    std::vector<std::string> names;
    if (s.items.empty()) {
        for (const ColumnDef& c : table.columns) names.push_back(c.name);
        return names;
    }
    int unnamed = 1000;
    for (const SelectItem& item : s.items) {
        if (!item.alias.empty())
            names.push_back(item.alias);
        else if (item.expr->kind == Expr::Kind::Column)
            names.push_back(table.columns[static_cast<size_t>(item.expr->column)].name);
        else
            names.push_back("Expr" + std::to_string(unnamed++));
    }
    return names;
}

// True when a SELECT's output rows are whole rows of a user table, field for field and named so.
bool selectsWholeRows(const Statement& s, const TableDef& table, const std::vector<std::string>& names) {
    if (s.kind != StatementKind::Select || s.aggregateCount > 0 || table.system) return false;
    if (names.size() != table.columns.size()) return false;
    for (size_t i = 0; i < names.size(); ++i) {
        const Expr* item = s.items.empty() ? nullptr : s.items[i].expr.get();
        if (item != nullptr && (item->kind != Expr::Kind::Column || item->column != static_cast<int>(i)))
            return false;
        if (names[i] != table.columns[i].name) return false;
    }
    return true;
}

}  // namespace

// The last statement with the literals of `sql` put in, when `sql` is its text but for literals from one of
// them on: the texts agree up to a literal of the last statement, and reading `sql` from that literal's
// start gives tokens of the same kinds with, but for literals, the same texts. Null otherwise. (No token
// before the literal can run into the new text: the last one ended before it, and a literal's first
// character never continues a word, number or symbol that the last statement had ended there.)
std::shared_ptr<Statement> StatementCache::likeTheLast(std::string_view sql) {
    if (!m_last) return nullptr;
    const std::string_view last = m_lastText;
    const size_t common = static_cast<size_t>(
        std::mismatch(sql.begin(), sql.end(), last.begin(), last.end()).first - sql.begin());
    if (common == sql.size() && common == last.size()) return m_last;
    size_t k = 0, literalsBefore = 0;
    for (; k < m_lastTokens.size() && m_lastTokens[k].pos + m_lastTokens[k].length <= common; ++k)
        literalsBefore += isLiteral(m_lastTokens[k]) ? 1 : 0;
    if (k >= m_lastTokens.size() || !isLiteral(m_lastTokens[k]) || m_lastTokens[k].pos > common)
        return nullptr;
    Lexer lexer(sql, m_lastTokens[k].pos);
    m_literals.clear();
    m_tokens.clear();
    for (size_t j = k; j < m_lastTokens.size(); ++j) {
        const RawToken was = m_lastTokens[j];
        const RawToken now = lexer.nextRaw();
        if (now.kind != was.kind) return nullptr;
        if (isLiteral(now))
            m_literals.push_back(literalOf(lexer, now));
        else if (lexer.textOf(now) != last.substr(was.pos, was.length))
            return nullptr;
        m_tokens.push_back(now);
    }
    setLiterals(*m_last, m_literals, literalsBefore);
    m_last->text.assign(sql);
    m_lastText.assign(sql);
    m_lastTokens.resize(k);
    m_lastTokens.insert(m_lastTokens.end(), m_tokens.begin(), m_tokens.end());
    return m_last;
}

void StatementCache::remember(std::string_view sql, const std::shared_ptr<Statement>& statement) {
    m_last = statement;
    m_lastText.assign(sql);
    m_lastTokens = m_tokens;
}

Result<std::shared_ptr<Statement>> StatementCache::prepare(std::string_view sql) {
    if (std::shared_ptr<Statement> same = likeTheLast(sql)) return same;
    // The shape: every token's kind and, but for numbers and strings, its text.
    m_shape.clear();
    m_literals.clear();
    m_tokens.clear();
    Lexer lexer(sql);
    RawToken t;
    do {
        t = lexer.nextRaw();
        m_tokens.push_back(t);
        m_shape.push_back(static_cast<char>('A' + static_cast<int>(t.kind)));
        if (isLiteral(t))
            m_literals.push_back(literalOf(lexer, t));
        else
            m_shape += lexer.textOf(t);
        m_shape.push_back('\x1f');
    } while (t.kind != Token::Kind::End);
    if (auto it = m_byShape.find(m_shape); it != m_byShape.end()) {
        Statement& s = *it->second;
        setLiterals(s, m_literals);
        s.text.assign(sql);
        remember(sql, it->second);
        return it->second;
    }
    Parser parser(sql, tokenize(sql));
    JET_ASSIGN_OR_RETURN(std::unique_ptr<Statement> parsed, parser.statement());
    if (m_byShape.size() >= kShapeCacheLimit) m_byShape.clear();
    std::shared_ptr<Statement> shared = std::move(parsed);
    // Every number and string of a statement that parses is one of its literals, in token order.
    if (shared->literals.size() == m_literals.size()) {
        m_byShape.emplace(m_shape, shared);
        remember(sql, shared);
    }
    return shared;
}

Status bindStatement(Statement& s, const std::shared_ptr<const TableDef>& table) {
    const TableDef& t = *table;
    for (SelectItem& item : s.items) JET_RETURN_IF_ERROR(bindExpr(*item.expr, t, s.text));
    for (Assignment& a : s.assignments) {
        JET_RETURN_IF_ERROR(bindExpr(*a.target, t, s.text));
        JET_RETURN_IF_ERROR(bindExpr(*a.value, t, s.text));
    }
    if (s.where) JET_RETURN_IF_ERROR(bindExpr(*s.where, t, s.text));
    for (SortKey& k : s.orderBy) JET_RETURN_IF_ERROR(bindExpr(*k.expr, t, s.text));
    JET_RETURN_IF_ERROR(checkAggregateList(s));
    s.columnNames = outputNames(s, t);
    s.wholeRows = selectsWholeRows(s, t, s.columnNames);
    s.access.reset();
    s.boundTo = table;
    return {};
}

}  // namespace jet::sql
