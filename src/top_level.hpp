#pragma once

// Which commas separate the link-values of a Link header value, and which
// semicolons the parameters of one: those at top level, outside quoted
// strings and angle brackets. A double quote opens and closes a quoted
// string, inside which a backslash escapes the next byte; outside one, "<"
// opens brackets and ">" closes them, without nesting. An unclosed quote or
// bracket runs to the end.
//
// Nesting states the rule for a reading from left to right. The general
// reader splits a value with it from the start (split_top_level). The reader
// of long values walks from a position in a value without backslashes back
// (link_value_start) and on (link_value_end) to the top-level commas around
// it; the discovery fuzzer checks that the walks find the commas that
// split_top_level finds.

#include <cstddef>
#include <string_view>

#include "check.hpp"
#include "scan.hpp"
#include "text.hpp"

namespace provlink {

// Where a reading from left to right stands: inside a quoted string, inside
// angle brackets, or at top level.
struct Nesting {
  bool quoted = false;
  bool bracketed = false;

  // Takes in a double quote or an angle bracket that no backslash escapes.
  constexpr void take(char c) noexcept {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted) {
      bracketed = c == '<';
    }
  }
  // Whether a separator here separates.
  constexpr bool top_level() const noexcept { return !quoted && !bracketed; }

  friend constexpr bool operator==(const Nesting&, const Nesting&) = default;
};

// The position of the double quote that closes a quoted string whose text
// starts at `from`, or npos when it is never closed.
inline std::size_t closing_quote(std::string_view text, std::size_t from) {
  while ((from = find_byte<'"', '\\'>(text, from)) != npos) {
    if (text[from] == '"') return from;
    from += 2;  // the escaped byte is passed over unexamined
  }
  return npos;
}

// The pieces of `text` between top-level `Separator` bytes, one at a time.
// There is always at least one piece, and pieces may be empty.
template <char Separator>
class TopLevelSplit {
 public:
  explicit TopLevelSplit(std::string_view text) : text_(text) {}

  bool next(std::string_view& piece) {
    if (done_) return false;
    Nesting nesting;
    for (std::size_t i = start_; (i = find_byte<'"', '<', '>', Separator>(text_, i)) != npos; ++i) {
      const char c = text_[i];
      if (c == '"') {
        // Passed over whole, as the quoted state would pass it: inside it
        // only its closing quote counts.
        i = closing_quote(text_, i + 1);
        if (i == npos) break;
      } else if (c != Separator) {
        nesting.take(c);
      } else if (nesting.top_level()) {
        piece = slice(text_, start_, i);
        start_ = i + 1;
        return true;
      }
    }
    piece = slice(text_, start_);
    done_ = true;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t start_ = 0;
  bool done_ = false;
};

template <char Separator>
TopLevelSplit<Separator> split_top_level(std::string_view text) {
  return TopLevelSplit<Separator>(text);
}

// Where the link-value that holds a position starts, and the nesting at that
// position.
struct LinkValueStart {
  std::size_t start;
  Nesting nesting;
};

// Walks back from `at` to the start of the link-value that holds it, in a
// text without backslashes in which a link-value starts at `from` (0, or just
// after a top-level comma), at or before `at`.
//
// From `from` on, quotes alone decide which bytes are quoted, by their
// parity: a link-value before `from` closed all its quotes, or no top-level
// comma could have ended it, and without backslashes no quote is escaped.
// Going back, a comma's nesting is not known when the walk meets it: it is
// bracketed exactly when the nearest unquoted angle bracket before it is "<"
// (as Nesting::take has it, the last bracket decides). So the walk keeps the
// nearest unquoted comma met since the last unquoted bracket, and settles it
// at the next one: a "<" shows it bracketed, and the walk goes on; a ">", or
// reaching `from`, shows it at top level, and the link-value starts after it.
inline LinkValueStart link_value_start(std::string_view text, std::size_t from, std::size_t at) {
  PROVLINK_ASSERT(from <= at && at <= text.size());
  PROVLINK_ASSERT(text.find('\\') == npos);
  LinkValueStart result{from, {odd_quotes(text, from, at), false}};
  bool quoted = result.nesting.quoted;  // whether the byte met is quoted
  bool bracket_met = false;             // the first unquoted one tells whether `at` is bracketed
  std::size_t comma = npos;             // the unquoted comma not yet settled
  for (std::size_t i = at; (i = find_last_byte<'"', '<', '>', ','>(text, from, i)) != npos;) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;  // for the bytes before this quote
      continue;
    }
    if (quoted) continue;
    if (c == ',') {
      if (comma == npos) comma = i;
      continue;
    }
    // An unquoted bracket settles the comma kept: after a ">" it stands at
    // top level, after a "<" it is bracketed.
    if (!bracket_met) result.nesting.bracketed = c == '<';
    bracket_met = true;
    if (comma != npos && c == '>') break;
    comma = npos;
  }
  if (comma != npos) result.start = comma + 1;
  return result;
}

// The top-level comma that ends the link-value holding `at`, or text.size(),
// in a text without backslashes; `nesting` is the nesting at `at`.
inline std::size_t link_value_end(std::string_view text, std::size_t at, Nesting nesting) {
  PROVLINK_ASSERT(at <= text.size());
  for (std::size_t i = at; (i = find_byte<'"', '<', '>', ','>(text, i)) != npos; ++i) {
    if (text[i] != ',') {
      nesting.take(text[i]);
    } else if (nesting.top_level()) {
      return i;
    }
  }
  return text.size();
}

}  // namespace provlink
