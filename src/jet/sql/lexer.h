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

/// The tokens of `sql`, always ending with an End token. Faults become Bad tokens so that the parser
/// reports the first thing that is wrong, as Access does.
std::vector<Token> tokenize(std::string_view sql);

}  // namespace jet::sql
