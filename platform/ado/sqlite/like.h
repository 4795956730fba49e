#pragma once
// "Like" that ignores the case of every letter (Unicode simple case folding),
// for the data objects' connections. Internal to platform/ado.
#include <string_view>

struct sqlite3;

namespace ado::detail {

// Replaces like(pattern, text) and like(pattern, text, escape) on db.
// Returns an SQLite result code.
int RegisterLike(sqlite3* db);

// The matcher itself: pattern and text in UTF-8, escape a code point or 0.
bool LikeMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);

}  // namespace ado::detail
