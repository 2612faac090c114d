// Splits a Transact-SQL batch into tokens: words, [bracketed] and plain names,
// 'strings' with '' escapes (a backslash before a line break continues the
// string on the next line, both dropped), numbers, 0x binary literals, @@globals and
// punctuation. Comments (-- and /* */) are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vq::ase_server {

// What a token is.
enum class TokenKind {
  kWord,        // a plain identifier or keyword
  kQuotedName,  // [bracketed]
  kString,      // 'text' or N'text'; text holds the unescaped value
  kNumber,      // 12, 1.5, 1e3, .5
  kHex,         // 0x1F; text holds the hex digits only
  kGlobal,      // @@name; text holds the name without @@
  kVariable,    // @name
  kSymbol,      // ( ) , ; * = < > . + - and the two-character <= >= <> !=
  kEnd,
};

// One token with the text it came from.
struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  std::size_t offset = 0;  // where it starts in the batch
};

// Tokenizes the batch; throws ServerError (102) for an unterminated string or name.
// "Double-quoted" text is a string, as in ASE by default, or a name after
// `set quoted_identifier on` (`quoted_identifier`).
std::vector<Token> Tokenize(std::string_view batch, bool quoted_identifier = false);

}  // namespace vq::ase_server
