// The expression evaluator.
#include "eval.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <span>

#include "jet/format_value.h"
#include "text_match.h"

namespace jet::sql {

namespace {

bool isNumeric(const Value& v) {
    return std::holds_alternative<bool>(v) || std::holds_alternative<int64_t>(v) ||
           std::holds_alternative<Currency>(v) || std::holds_alternative<float>(v) ||
           std::holds_alternative<double>(v) || std::holds_alternative<DateTime>(v) ||
           std::holds_alternative<Decimal>(v);
}

double decimalToDouble(const Decimal& d) {
    double magnitude = static_cast<double>(d.hi) * 18446744073709551616.0 + static_cast<double>(d.lo);
    double v = magnitude / std::pow(10.0, d.scale);
    return d.negative ? -v : v;
}

std::optional<double> parseNumber(std::string_view text) {
    size_t b = text.find_first_not_of(' '), e = text.find_last_not_of(' ');
    if (b == std::string_view::npos) return std::nullopt;
    std::string trimmed(text.substr(b, e - b + 1));
    if (trimmed[0] == '+') trimmed.erase(0, 1);
    double v = 0;
    auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), v);
    // "inf" and "nan" are words, not numbers.
    if (ec != std::errc() || end != trimmed.data() + trimmed.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

Status mismatch(const Expr& e) {
    return Status::InvalidArgument("Data type mismatch in expression at " + std::to_string(e.pos + 1));
}

// The evaluator recurses once per level of an expression (up to the parser's limit): the work of each kind
// of node stays out of line, so that the frames of evaluate and binary, which every level stacks, stay small.

[[gnu::noinline]] Value concatenate(const Value& a, const Value& b) {
    if (isNull(a) && isNull(b)) return Value();
    return Value(toText(a) + toText(b));
}

[[gnu::noinline]] Result<Value> arithmetic(const Expr& e, const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return Value();
    auto* sa = std::get_if<std::string>(&a);
    auto* sb = std::get_if<std::string>(&b);
    if (e.op == Op::Add && sa != nullptr && sb != nullptr) return Value(*sa + *sb);
    std::optional<double> x = toNumber(a), y = toNumber(b);
    if (!x || !y) return mismatch(e);
    auto* ia = std::get_if<int64_t>(&a);
    auto* ib = std::get_if<int64_t>(&b);
    if (ia != nullptr && ib != nullptr && e.op != Op::Div) {
        int64_t r = 0;
        bool overflow = e.op == Op::Add   ? __builtin_add_overflow(*ia, *ib, &r)
                        : e.op == Op::Sub ? __builtin_sub_overflow(*ia, *ib, &r)
                                          : __builtin_mul_overflow(*ia, *ib, &r);
        if (!overflow) return Value(r);
    }
    switch (e.op) {
        case Op::Add:
            return Value(*x + *y);
        case Op::Sub:
            return Value(*x - *y);
        case Op::Mul:
            return Value(*x * *y);
        default:
            if (*y == 0) return Status::InvalidArgument("Division by zero at " + std::to_string(e.pos + 1));
            return Value(*x / *y);
    }
}

[[gnu::noinline]] Value logical(Op op, const Value& a, const Value& b) {
    bool nullA = isNull(a), nullB = isNull(b);
    bool ta = !nullA && isTrue(a), tb = !nullB && isTrue(b);
    if (op == Op::And) {
        if ((!nullA && !ta) || (!nullB && !tb)) return Value(false);
        if (nullA || nullB) return Value();
        return Value(true);
    }
    if (ta || tb) return Value(true);
    if (nullA || nullB) return Value();
    return Value(false);
}

[[gnu::noinline]] Value comparison(Op op, const Value& a, const Value& b) {
    std::optional<int> c = compareForQuery(a, b);
    if (!c) return Value();
    switch (op) {
        case Op::Eq:
            return Value(*c == 0);
        case Op::Ne:
            return Value(*c != 0);
        case Op::Lt:
            return Value(*c < 0);
        case Op::Gt:
            return Value(*c > 0);
        case Op::Le:
            return Value(*c <= 0);
        default:
            return Value(*c >= 0);
    }
}

Result<Value> binary(const Expr& e, const EvalContext& context) {
    JET_ASSIGN_OR_RETURN(Value a, evaluate(*e.args[0], context));
    // AND and OR stop early when the left side decides, as Jet does.
    if (e.op == Op::And && !isNull(a) && !isTrue(a)) return Value(false);
    if (e.op == Op::Or && !isNull(a) && isTrue(a)) return Value(true);
    JET_ASSIGN_OR_RETURN(Value b, evaluate(*e.args[1], context));
    switch (e.op) {
        case Op::And:
        case Op::Or:
            return logical(e.op, a, b);
        case Op::Concat:
            return concatenate(a, b);
        case Op::Add:
        case Op::Sub:
        case Op::Mul:
        case Op::Div:
            return arithmetic(e, a, b);
        default:
            return comparison(e.op, a, b);
    }
}

Result<Value> unary(const Expr& e, const EvalContext& context) {
    JET_ASSIGN_OR_RETURN(Value a, evaluate(*e.args[0], context));
    if (isNull(a)) return Value();
    if (e.op == Op::Not) return Value(!isTrue(a));
    if (auto* i = std::get_if<int64_t>(&a); i != nullptr && *i != std::numeric_limits<int64_t>::min())
        return Value(-*i);
    std::optional<double> x = toNumber(a);
    if (!x) return mismatch(e);
    return Value(-*x);
}

// A count or position argument of Mid, Left or Right as a whole number. Numbers beyond 64 bits are held at
// its ends: a count past the end of any text means the whole text, so nothing is lost.
Result<int64_t> integerArgument(const Expr& e, const Value& v) {
    if (const auto* i = std::get_if<int64_t>(&v)) return *i;
    std::optional<double> n = toNumber(v);
    if (!n || std::isnan(*n)) return mismatch(e);
    const double rounded = std::nearbyint(*n);
    // 2^63 is exactly representable; every double below it and from -2^63 on converts without overflow.
    if (rounded >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (rounded < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(rounded);
}

Status invalidCall(const Expr& e) {
    return Status::InvalidArgument("Invalid procedure call or argument: " + e.name + " at " +
                                   std::to_string(e.pos + 1));
}

// The text of `v`: a view of its own string when it holds one, else its text form kept in `scratch`.
std::string_view textOf(const Value& v, std::string& scratch) {
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    scratch = toText(v);
    return scratch;
}

// Mid, Left and Right work on characters; start and length as VBA takes them.
[[gnu::noinline]] Result<Value> substring(const Expr& e, std::span<const Value> args) {
    std::string scratch;
    const std::string_view text = textOf(args[0], scratch);
    auto size = static_cast<int64_t>(characterCount(text));
    int64_t start = 1, length = size;
    if (e.function == Function::Mid) {
        JET_ASSIGN_OR_RETURN(start, integerArgument(e, args[1]));
        if (args.size() > 2) {
            JET_ASSIGN_OR_RETURN(length, integerArgument(e, args[2]));
        }
    } else {
        JET_ASSIGN_OR_RETURN(length, integerArgument(e, args[1]));
        if (length < 0) return invalidCall(e);
        if (e.function == Function::Right) start = length >= size ? 1 : size - length + 1;
    }
    if (start < 1 || length < 0) return invalidCall(e);
    if (start > size) return Value(std::string());
    length = std::min(length, size - start + 1);
    return Value(
        std::string(characterRange(text, static_cast<size_t>(start - 1), static_cast<size_t>(length))));
}

// UCase and LCase, character by character.
[[gnu::noinline]] Value changeCase(std::string_view text, bool upper) {
    std::u32string points = toCodePoints(text);
    for (char32_t& c : points) {
        if (!upper) {
            c = foldCase(c);
        } else if (char32_t f = foldCase(c); f == c) {
            // Upper-case by searching the folding's inverse among nearby code points.
            for (char32_t d : {char32_t{32}, char32_t{80}}) {
                if (c > d && foldCase(c - d) == c) {
                    c -= d;
                    break;
                }
            }
        }
    }
    return Value(toUtf8(points));
}

[[gnu::noinline]] Result<Value> call(const Expr& e, const EvalContext& context) {
    // Functions take at most three arguments (checked when the statement is bound).
    std::array<Value, 3> held;
    const size_t count = std::min(e.args.size(), held.size());
    for (size_t i = 0; i < count; ++i) {
        JET_ASSIGN_OR_RETURN(held[i], evaluate(*e.args[i], context));
    }
    const std::span<const Value> args(held.data(), count);
    if (std::any_of(args.begin(), args.end(), [](const Value& v) { return isNull(v); })) return Value();
    std::string scratch;
    switch (e.function) {
        case Function::Len:
            return Value(static_cast<int64_t>(characterCount(textOf(args[0], scratch))));
        case Function::UCase:
        case Function::LCase:
            return changeCase(textOf(args[0], scratch), e.function == Function::UCase);
        case Function::Trim: {
            const std::string_view t = textOf(args[0], scratch);
            size_t b = t.find_first_not_of(' '), end = t.find_last_not_of(' ');
            return Value(b == std::string_view::npos ? std::string() : std::string(t.substr(b, end - b + 1)));
        }
        case Function::Mid:
        case Function::Left:
        case Function::Right:
            break;
    }
    return substring(e, args);
}

[[gnu::noinline]] Result<Value> like(const Expr& e, const EvalContext& context) {
    JET_ASSIGN_OR_RETURN(Value text, evaluate(*e.args[0], context));
    JET_ASSIGN_OR_RETURN(Value pattern, evaluate(*e.args[1], context));
    if (isNull(text) || isNull(pattern)) return Value();
    std::string patternText = toText(pattern);
    if (!e.likePattern || e.likePatternText != patternText) {
        JET_ASSIGN_OR_RETURN(LikePattern compiled, LikePattern::compile(patternText));
        e.likePattern = std::make_shared<const LikePattern>(std::move(compiled));
        e.likePatternText = std::move(patternText);
    }
    return Value(e.likePattern->matches(toText(text)) != e.negated);
}

int kindRank(const Value& v) {
    if (isNull(v)) return 0;
    if (isNumeric(v)) return 1;
    if (std::holds_alternative<std::string>(v)) return 2;
    return 3;
}

}  // namespace

bool isTrue(const Value& v) {
    if (auto* b = std::get_if<bool>(&v)) return *b;
    std::optional<double> n = toNumber(v);
    return n && *n != 0;
}

std::optional<double> toNumber(const Value& v) {
    if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    if (auto* c = std::get_if<Currency>(&v)) return static_cast<double>(c->scaled) / 10000.0;
    if (auto* f = std::get_if<float>(&v)) return static_cast<double>(*f);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* t = std::get_if<DateTime>(&v)) return t->days;
    if (auto* d = std::get_if<Decimal>(&v)) return decimalToDouble(*d);
    if (auto* s = std::get_if<std::string>(&v)) return parseNumber(*s);
    return std::nullopt;
}

std::string toText(const Value& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (isNull(v)) return {};
    if (auto* b = std::get_if<bool>(&v)) return *b ? "-1" : "0";
    if (auto* t = std::get_if<DateTime>(&v)) return formatDateTime(*t);
    if (auto* d = std::get_if<Decimal>(&v)) return formatDecimal(*d);
    if (auto* g = std::get_if<Guid>(&v)) return formatGuid(*g);
    std::string out;
    appendCsvField(out, v);
    return out;
}

std::optional<int> compareForQuery(const Value& a, const Value& b) {
    if (isNull(a) || isNull(b)) return std::nullopt;
    auto* sa = std::get_if<std::string>(&a);
    auto* sb = std::get_if<std::string>(&b);
    if (sa != nullptr && sb != nullptr) return compareText(*sa, *sb);
    auto* ia = std::get_if<int64_t>(&a);
    auto* ib = std::get_if<int64_t>(&b);
    if (ia != nullptr && ib != nullptr) return *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
    if ((sa != nullptr || isNumeric(a)) && (sb != nullptr || isNumeric(b))) {
        std::optional<double> x = toNumber(a), y = toNumber(b);
        if (!x || !y) return std::nullopt;
        return *x < *y ? -1 : (*x > *y ? 1 : 0);
    }
    if (kindRank(a) != kindRank(b)) return std::nullopt;
    return compareValues(a, b);
}

int compareForSort(const Value& a, const Value& b) {
    int ka = kindRank(a), kb = kindRank(b);
    if (ka != kb) return ka < kb ? -1 : 1;
    if (ka == 2) return compareText(std::get<std::string>(a), std::get<std::string>(b));
    return compareValues(a, b);
}

Result<Value> evaluate(const Expr& e, const EvalContext& context) {
    switch (e.kind) {
        case Expr::Kind::Literal:
            return e.literal;
        case Expr::Kind::Column:
            if (context.decoded != nullptr) return context.decoded[static_cast<size_t>(e.column)];
            return context.row->value(static_cast<size_t>(e.column));
        case Expr::Kind::Unary:
            return unary(e, context);
        case Expr::Kind::Binary:
            return binary(e, context);
        case Expr::Kind::Like:
            return like(e, context);
        case Expr::Kind::IsNull: {
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*e.args[0], context));
            return Value(isNull(v) != e.negated);
        }
        case Expr::Kind::Call:
            return call(e, context);
        case Expr::Kind::Aggregate:
            return (*context.aggregates)[e.slot];
    }
    return Value();
}

namespace {

Status cannotStore(const Value& v, const ColumnDef& column) {
    return Status::InvalidArgument("Data type mismatch: cannot store '" + messageExcerpt(toText(v)) +
                                   "' in field " + column.name + " (" +
                                   std::string(columnTypeName(column.type)) + ")");
}

Status overflow(const Value& v, const ColumnDef& column) {
    return Status::InvalidArgument("Overflow: " + messageExcerpt(toText(v)) + " does not fit field " +
                                   column.name + " (" + std::string(columnTypeName(column.type)) + ")");
}

// A number as a Currency amount (whole ten-thousandths), refusing amounts beyond its 64 bits.
Result<Value> toCurrency(double n, const Value& v, const ColumnDef& column) {
    double scaled = std::nearbyint(n * 10000.0);
    // 2^63 is exactly representable; every double below it converts without overflow.
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) return overflow(v, column);
    return Value(Currency{static_cast<int64_t>(scaled)});
}

Result<Value> toInteger(const Value& v, const ColumnDef& column, double lo, double hi) {
    std::optional<double> n = toNumber(v);
    if (!n) return cannotStore(v, column);
    // Jet rounds half to even when a fraction is stored in an integer field.
    double r = std::nearbyint(*n);
    if (!(r >= lo && r <= hi)) return overflow(v, column);
    return Value(static_cast<int64_t>(r));
}

}  // namespace

Result<Value> coerceToColumn(const Value& v, const ColumnDef& column) {
    if (isNull(v)) return v;
    switch (column.type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            if (std::holds_alternative<Bytes>(v)) return cannotStore(v, column);
            return Value(toText(v));
        case ColumnType::Byte:
            return toInteger(v, column, 0, 255);
        case ColumnType::Integer:
            return toInteger(v, column, -32768, 32767);
        case ColumnType::Long:
            return toInteger(v, column, -2147483648.0, 2147483647.0);
        case ColumnType::BigInt:
            if (std::holds_alternative<int64_t>(v)) return v;
            return toInteger(v, column, -9.2e18, 9.2e18);
        case ColumnType::Boolean: {
            if (!toNumber(v)) return cannotStore(v, column);
            return Value(isTrue(v));
        }
        default:
            break;
    }
    std::optional<double> n = toNumber(v);
    switch (column.type) {
        case ColumnType::Single:
            if (!n) return cannotStore(v, column);
            if (!(std::fabs(*n) <= static_cast<double>(std::numeric_limits<float>::max())))
                return overflow(v, column);
            return Value(static_cast<float>(*n));
        case ColumnType::Double:
            if (!n) return cannotStore(v, column);
            if (!std::isfinite(*n)) return overflow(v, column);
            return Value(*n);
        case ColumnType::Currency:
            if (auto* c = std::get_if<Currency>(&v)) return Value(*c);
            if (!n) return cannotStore(v, column);
            return toCurrency(*n, v, column);
        case ColumnType::DateTime:
            if (auto* t = std::get_if<DateTime>(&v)) return Value(*t);
            if (!n || std::holds_alternative<std::string>(v)) return cannotStore(v, column);
            return Value(DateTime{*n});
        default:
            return v;
    }
}

}  // namespace jet::sql
