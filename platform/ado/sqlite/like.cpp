#include "platform/ado/sqlite/like.h"

#include <sqlite3.h>

#include <QChar>
#include <memory>
#include <string>

namespace ado::detail {

namespace {

// Pattern tokens beyond the last code point.
constexpr char32_t kAny = 0x110000;  // %
constexpr char32_t kOne = 0x110001;  // _

const char16_t* BmpFold() {
  static const std::unique_ptr<char16_t[]> table = [] {
    auto t = std::make_unique<char16_t[]>(0x10000);
    for (char32_t c = 0; c < 0x10000; ++c) {
      const char32_t f = QChar::toCaseFolded(c);
      t[c] = f < 0x10000 ? char16_t(f) : char16_t(c);
    }
    return t;
  }();
  return table.get();
}

inline char32_t Fold(char32_t c, const char16_t* bmp) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c < 0x10000) return bmp[c];
  return QChar::toCaseFolded(c);
}

// Next code point of UTF-8 text; a malformed sequence gives U+FFFD.
inline char32_t Next(const unsigned char*& p, const unsigned char* end) {
  const unsigned c = *p++;
  if (c < 0x80) return c;
  int more;
  char32_t cp;
  if (c >= 0xF8) return 0xFFFD;
  if (c >= 0xF0) {
    more = 3;
    cp = c & 0x07;
  } else if (c >= 0xE0) {
    more = 2;
    cp = c & 0x0F;
  } else if (c >= 0xC0) {
    more = 1;
    cp = c & 0x1F;
  } else {
    return 0xFFFD;
  }
  for (; more > 0; --more) {
    if (p == end || (*p & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (*p++ & 0x3F);
  }
  return cp;
}

struct Compiled {
  std::u32string tokens;
  char32_t escape = 0;
  // "%text%" with no other wildcard: a search for text (folded, as UTF-8).
  bool contains = false;
  bool asciiNeedle = false;  // text holds ASCII only
  bool foldsFromBeyond = false;  // text holds k or s, which U+212A and U+017F fold to
  std::string needle;
  std::string asciiRun;  // the longest ASCII run of a needle beyond ASCII
  bool runFoldsFromBeyond = false;
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

void Compile(std::string_view pattern, char32_t escape, Compiled* out) {
  const char16_t* bmp = BmpFold();
  out->tokens.clear();
  out->escape = escape;
  auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
  const auto* end = p + pattern.size();
  while (p < end) {
    char32_t c = Next(p, end);
    if (escape && c == escape && p < end) {
      out->tokens.push_back(Fold(Next(p, end), bmp));
    } else if (c == '%') {
      if (out->tokens.empty() || out->tokens.back() != kAny) out->tokens.push_back(kAny);
    } else if (c == '_') {
      out->tokens.push_back(kOne);
    } else {
      out->tokens.push_back(Fold(c, bmp));
    }
  }
  const std::u32string& t = out->tokens;
  out->contains = t.size() >= 2 && t.front() == kAny && t.back() == kAny;
  out->needle.clear();
  out->asciiNeedle = true;
  out->foldsFromBeyond = false;
  for (size_t i = 1; out->contains && i + 1 < t.size(); ++i) {
    if (t[i] == kAny || t[i] == kOne) out->contains = false;
    if (t[i] >= 0x80) out->asciiNeedle = false;
    if (t[i] == 'k' || t[i] == 's') out->foldsFromBeyond = true;
    AppendUtf8(out->needle, t[i]);
  }
  out->asciiRun.clear();
  out->runFoldsFromBeyond = false;
  if (out->contains && !out->asciiNeedle) {
    std::string run;
    for (size_t i = 1; i + 1 <= t.size(); ++i) {
      if (i + 1 < t.size() && t[i] < 0x80) {
        run += char(t[i]);
        continue;
      }
      if (run.size() > out->asciiRun.size()) out->asciiRun = run;
      run.clear();
    }
    out->runFoldsFromBeyond = out->asciiRun.find_first_of("ks") != std::string::npos;
  }
}

// Wildcard match with one backtracking point per "%"; at(i) is the i-th
// folded character of the text.
template <class At>
bool Match(const std::u32string& pat, size_t ns, At at) {
  const size_t np = pat.size();
  size_t pi = 0, si = 0, starP = std::u32string::npos, starS = 0;
  while (si < ns) {
    if (pi < np && (pat[pi] == kOne || pat[pi] == at(si))) {
      ++pi;
      ++si;
    } else if (pi < np && pat[pi] == kAny) {
      starP = ++pi;
      starS = si;
    } else if (starP != std::u32string::npos) {
      pi = starP;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < np && pat[pi] == kAny) ++pi;
  return pi == np;
}

// Finds an ASCII needle (lower case) in UTF-8 text ignoring ASCII case. The
// bytes of a multi-byte sequence are never ASCII, so they never match.
bool AsciiFind(std::string_view text, const std::string& needle) {
  const size_t n = needle.size();
  if (n == 0) return true;
  if (text.size() < n) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const auto* nd = reinterpret_cast<const unsigned char*>(needle.data());
  // A lower-case letter l is matched by exactly the bytes b with (b | 0x20) == l.
  auto fold = [](unsigned char b, unsigned char like) -> unsigned char {
    return (like >= 'a' && like <= 'z') ? (b | 0x20) : b;
  };
  const unsigned char first = nd[0];
  const size_t last = text.size() - n;
  for (size_t i = 0; i <= last; ++i) {
    if (fold(t[i], first) != first) continue;
    size_t j = 1;
    while (j < n && fold(t[i + j], nd[j]) == nd[j]) ++j;
    if (j == n) return true;
  }
  return false;
}

// U+212A (Kelvin sign) or U+017F (long s) in UTF-8 text.
bool HasFoldsToAscii(std::string_view text) {
  return text.find("\xE2\x84\xAA") != std::string_view::npos || text.find("\xC5\xBF") != std::string_view::npos;
}

// The text case-folded, as UTF-8.
void FoldUtf8(std::string_view text, std::string& out) {
  const char16_t* bmp = BmpFold();
  out.clear();
  auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    if (*p < 0x80) {
      const unsigned char c = *p++;
      out += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    } else {
      AppendUtf8(out, Fold(Next(p, end), bmp));
    }
  }
}

bool MatchText(const Compiled& c, std::string_view text) {
  if (c.tokens.size() == 1 && c.tokens[0] == kAny) return true;  // "%" matches every text
  // No ASCII letter folds to a letter beyond ASCII, and only U+212A and U+017F
  // fold to ASCII ones (k and s): an ASCII needle is found in the bytes.
  if (c.contains && c.asciiNeedle && (!c.foldsFromBeyond || !HasFoldsToAscii(text)))
    return AsciiFind(text, c.needle);
  bool ascii = true;
  for (char ch : text)
    if (static_cast<unsigned char>(ch) >= 0x80) {
      ascii = false;
      break;
    }
  if (c.contains) {
    if (ascii) return c.asciiNeedle && AsciiFind(text, c.needle);
    const bool beyond = (c.asciiNeedle || c.runFoldsFromBeyond) && HasFoldsToAscii(text);
    // The needle's ASCII letters must stand in the text as they are.
    if (!beyond && !AsciiFind(text, c.asciiRun)) return false;
    thread_local std::string folded;
    FoldUtf8(text, folded);
    return folded.find(c.needle) != std::string::npos;
  }
  if (ascii) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    return Match(c.tokens, text.size(), [p](size_t i) -> char32_t {
      const unsigned char ch = p[i];
      return ch >= 'A' && ch <= 'Z' ? ch + 32 : ch;
    });
  }
  thread_local std::u32string folded;
  const char16_t* bmp = BmpFold();
  folded.clear();
  auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) folded.push_back(Fold(Next(p, end), bmp));
  return Match(c.tokens, folded.size(), [&](size_t i) { return folded[i]; });
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const auto* pat = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int npat = sqlite3_value_bytes(argv[0]);
  if (npat > sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
    sqlite3_result_error(ctx, "LIKE or GLOB pattern too complex", -1);
    return;
  }
  char32_t escape = 0;
  if (argc == 3) {
    const auto* e = sqlite3_value_text(argv[2]);
    if (!e) return;  // Null
    const auto* end = e + sqlite3_value_bytes(argv[2]);
    if (e == end || (escape = Next(e, end), e != end)) {
      sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
      return;
    }
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const int ntext = sqlite3_value_bytes(argv[1]);
  if (!pat || !text) return;  // Null

  // The compiled pattern is kept with the statement while the pattern is constant.
  auto* kept = static_cast<Compiled*>(sqlite3_get_auxdata(ctx, 0));
  if (kept && kept->escape == escape) {
    sqlite3_result_int(ctx, MatchText(*kept, std::string_view(text, size_t(ntext))));
    return;
  }
  auto fresh = std::make_unique<Compiled>();
  Compile(std::string_view(pat, size_t(npat)), escape, fresh.get());
  sqlite3_result_int(ctx, MatchText(*fresh, std::string_view(text, size_t(ntext))));
  sqlite3_set_auxdata(ctx, 0, fresh.release(), [](void* p) { delete static_cast<Compiled*>(p); });
}

}  // namespace

bool LikeMatch(std::string_view pattern, std::string_view text, char32_t escape) {
  Compiled c;
  Compile(pattern, escape, &c);
  return MatchText(c, text);
}

int RegisterLike(sqlite3* db) {
  BmpFold();
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr, nullptr);
  return rc;
}

}  // namespace ado::detail
