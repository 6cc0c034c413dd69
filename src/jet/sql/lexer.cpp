// The SQL tokenizer.
#include "lexer.h"

#include <array>
#include <tuple>

#include "jet/table.h"

namespace jet::sql {

bool Token::isWord(std::string_view keyword) const {
    return kind == Kind::Word && equalsIgnoreCase(text, keyword);
}

namespace {

// Character classes by byte, looked up once per character: statements are read on every run.
enum CharClass : uint8_t { kSpace = 1, kWordStart = 2, kDigit = 4 };

constexpr std::array<uint8_t, 256> kClasses = [] {
    std::array<uint8_t, 256> classes{};
    for (unsigned c = 0; c < 256; ++c) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') classes[c] = kSpace;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80)
            classes[c] = kWordStart;
        if (c >= '0' && c <= '9') classes[c] = kDigit;
    }
    return classes;
}();

bool isSpace(char c) {
    return (kClasses[static_cast<unsigned char>(c)] & kSpace) != 0;
}

bool isWordStart(unsigned char c) {
    return (kClasses[c] & kWordStart) != 0;
}

bool isDigit(char c) {
    return (kClasses[static_cast<unsigned char>(c)] & kDigit) != 0;
}

bool isWordChar(unsigned char c) {
    return (kClasses[c] & (kWordStart | kDigit)) != 0;
}

bool isSymbol(char c) {
    switch (c) {
        case '=':
        case '<':
        case '>':
        case '(':
        case ')':
        case ',':
        case '.':
        case '*':
        case '+':
        case '-':
        case '/':
        case '&':
        case ';':
            return true;
        default:
            return false;
    }
}

// The end of a quoted string starting at `i` (a doubled quote stands for one); npos when it is not closed.
size_t stringEnd(std::string_view sql, size_t i) {
    const char quote = sql[i++];
    while (i < sql.size()) {
        if (sql[i] != quote) {
            ++i;
        } else if (i + 1 < sql.size() && sql[i + 1] == quote) {
            i += 2;
        } else {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

size_t numberEnd(std::string_view sql, size_t i) {
    while (i < sql.size() && isDigit(sql[i])) ++i;
    if (i < sql.size() && sql[i] == '.') {
        ++i;
        while (i < sql.size() && isDigit(sql[i])) ++i;
    }
    if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
        size_t j = i + 1;
        if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
        if (j < sql.size() && isDigit(sql[j])) {
            i = j;
            while (i < sql.size() && isDigit(sql[i])) ++i;
        }
    }
    return i;
}

// The kind and end of a symbol starting at `i`.
std::pair<Token::Kind, size_t> symbolAt(std::string_view sql, size_t i) {
    char c = sql[i++];
    if ((c == '<' || c == '>') && i < sql.size() && (sql[i] == '=' || (c == '<' && sql[i] == '>'))) ++i;
    return {isSymbol(c) ? Token::Kind::Symbol : Token::Kind::Bad, i};
}

}  // namespace

RawToken Lexer::nextRaw() {
    while (m_at < m_sql.size() && isSpace(m_sql[m_at])) ++m_at;
    if (m_stopped || m_at >= m_sql.size()) return RawToken{Token::Kind::End, m_sql.size(), 0};
    const size_t start = m_at;
    const auto c = static_cast<unsigned char>(m_sql[m_at]);
    Token::Kind kind = Token::Kind::Symbol;
    size_t end = std::string_view::npos;
    if (c == '\'' || c == '"') {
        kind = Token::Kind::String;
        end = stringEnd(m_sql, m_at);
    } else if (c == '[') {
        kind = Token::Kind::Bracketed;
        const size_t close = m_sql.find(']', m_at + 1);
        end = close == std::string_view::npos ? close : close + 1;
    } else if (isDigit(static_cast<char>(c)) ||
               (c == '.' && m_at + 1 < m_sql.size() && isDigit(m_sql[m_at + 1]))) {
        kind = Token::Kind::Number;
        end = numberEnd(m_sql, m_at);
    } else if (isWordStart(c)) {
        kind = Token::Kind::Word;
        end = m_at;
        while (end < m_sql.size() && isWordChar(static_cast<unsigned char>(m_sql[end]))) ++end;
    } else {
        std::tie(kind, end) = symbolAt(m_sql, m_at);
    }
    if (end == std::string_view::npos) {
        // An unterminated string or bracket: the rest of the statement is one bad token.
        kind = Token::Kind::Bad;
        end = m_sql.size();
    }
    m_at = end;
    m_stopped = kind == Token::Kind::Bad;
    return RawToken{kind, start, end - start};
}

void Lexer::next(Token& t) {
    const RawToken raw = nextRaw();
    t.kind = raw.kind;
    t.pos = raw.pos;
    const std::string_view text = textOf(raw);
    if (raw.kind == Token::Kind::String)
        t.text = unquote(text);
    else if (raw.kind == Token::Kind::Bracketed)
        t.text.assign(text.substr(1, text.size() - 2));
    else
        t.text.assign(text);
}

std::string unquote(std::string_view quoted) {
    const char quote = quoted.front();
    std::string text;
    text.reserve(quoted.size() - 2);
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        text.push_back(quoted[i]);
        if (quoted[i] == quote) ++i;  // the second of a doubled quote
    }
    return text;
}

std::vector<Token> tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    Lexer lexer(sql);
    do {
        tokens.emplace_back();
        lexer.next(tokens.back());
    } while (tokens.back().kind != Token::Kind::End);
    return tokens;
}

}  // namespace jet::sql
