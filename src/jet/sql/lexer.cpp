// The SQL tokenizer.
#include "lexer.h"

#include "jet/table.h"

namespace jet::sql {

bool Token::isWord(std::string_view keyword) const {
    return kind == Kind::Word && equalsIgnoreCase(text, keyword);
}

namespace {

bool isWordStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isWordChar(unsigned char c) {
    return isWordStart(c) || isDigit(static_cast<char>(c));
}

// A quoted string starting at `i`; a doubled quote stands for one.
Token readString(std::string_view sql, size_t& i) {
    char quote = sql[i];
    Token t{Token::Kind::String, {}, i};
    ++i;
    while (i < sql.size()) {
        if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote) {
                t.text.push_back(quote);
                i += 2;
                continue;
            }
            ++i;
            return t;
        }
        t.text.push_back(sql[i++]);
    }
    t.kind = Token::Kind::Bad;
    t.text = std::string(sql.substr(t.pos));
    return t;
}

Token readBracketed(std::string_view sql, size_t& i) {
    Token t{Token::Kind::Bracketed, {}, i};
    size_t close = sql.find(']', i + 1);
    if (close == std::string_view::npos) {
        t.kind = Token::Kind::Bad;
        t.text = std::string(sql.substr(i));
        i = sql.size();
        return t;
    }
    t.text = std::string(sql.substr(i + 1, close - i - 1));
    i = close + 1;
    return t;
}

Token readNumber(std::string_view sql, size_t& i) {
    size_t start = i;
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
    return Token{Token::Kind::Number, std::string(sql.substr(start, i - start)), start};
}

Token readSymbol(std::string_view sql, size_t& i) {
    size_t start = i;
    char c = sql[i++];
    if ((c == '<' || c == '>') && i < sql.size() && (sql[i] == '=' || (c == '<' && sql[i] == '>'))) ++i;
    static constexpr std::string_view kSingles = "=<>(),.*+-/&;";
    Token::Kind kind = kSingles.find(c) == std::string_view::npos ? Token::Kind::Bad : Token::Kind::Symbol;
    return Token{kind, std::string(sql.substr(start, i - start)), start};
}

}  // namespace

std::vector<Token> tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (true) {
        while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n')) ++i;
        if (i >= sql.size()) break;
        auto c = static_cast<unsigned char>(sql[i]);
        if (c == '\'' || c == '"') {
            tokens.push_back(readString(sql, i));
        } else if (c == '[') {
            tokens.push_back(readBracketed(sql, i));
        } else if (isDigit(static_cast<char>(c)) || (c == '.' && i + 1 < sql.size() && isDigit(sql[i + 1]))) {
            tokens.push_back(readNumber(sql, i));
        } else if (isWordStart(c)) {
            size_t start = i;
            while (i < sql.size() && isWordChar(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back(Token{Token::Kind::Word, std::string(sql.substr(start, i - start)), start});
        } else {
            tokens.push_back(readSymbol(sql, i));
        }
        if (tokens.back().kind == Token::Kind::Bad) break;
    }
    tokens.push_back(Token{Token::Kind::End, {}, sql.size()});
    return tokens;
}

}  // namespace jet::sql
