// Splits SQL text into tokens: words, bracketed names, strings, numbers and symbols.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

/// One token of a statement. `pos` is a byte offset into the statement text.
struct Token {
    enum class Kind : uint8_t {
        Word,       // bare identifier or keyword
        Bracketed,  // [name]
        String,     // 'text' or "text", quotes removed and doubled quotes undone
        Number,     // digits with an optional fraction and exponent
        Symbol,     // = <> < > <= >= ( ) , . * + - / &;
        Bad,        // an unterminated string or bracket, or a character SQL has no use for
        End,
    };
    Kind kind = Kind::End;
    std::string text;
    size_t pos = 0;

    /// True for a bare word equal to `keyword` without regard to ASCII case.
    bool isWord(std::string_view keyword) const;
    /// True for the symbol `symbol`.
    bool isSymbol(std::string_view symbol) const { return kind == Kind::Symbol && text == symbol; }
};

/// A token as it stands in the statement: its kind and the bytes it spans (a string with its quotes, a
/// bracketed name with its brackets).
struct RawToken {
    Token::Kind kind = Token::Kind::End;
    size_t pos = 0;
    size_t length = 0;
};

/// Reads the tokens of a statement one at a time. Faults become Bad tokens so that the parser reports the
/// first thing that is wrong, as Access does; after a Bad token and at the end every token is End.
class Lexer {
public:
    /// A lexer over `sql`, which must outlive it, from byte `start` on (a token's start).
    explicit Lexer(std::string_view sql, size_t start = 0) : m_sql(sql), m_at(start) {}
    /// Reads the next token into `t`, reusing the storage of its text.
    void next(Token& t);
    /// Reads the next token without copying its text.
    RawToken nextRaw();
    /// The text a raw token of this statement spans.
    std::string_view textOf(const RawToken& t) const { return m_sql.substr(t.pos, t.length); }

private:
    std::string_view m_sql;
    size_t m_at = 0;
    bool m_stopped = false;
};

/// The tokens of `sql`, always ending with an End token.
std::vector<Token> tokenize(std::string_view sql);

/// The text of a string token as it stands in the statement: the quotes removed, doubled quotes undone.
std::string unquote(std::string_view quoted);

}  // namespace jet::sql
