// The warning about characters that are not what they look like: what a character looks like is
// ICU's (its confusables data, the Unicode consortium's, as spoof checkers use it), not a list of
// ours. Included by warn.cc, whose table holds the records.
#pragma once

#include <unicode/uchar.h>
#include <unicode/uspoof.h>
#include <unicode/utf8.h>

#include "check/run.h"
#include "common/bytes.h"
#include "common/common.h"

// ICU's spoof checker, made once; null when ICU cannot make one, and then nothing is told.
static const USpoofChecker* spoof() {
  static USpoofChecker* sc = [] {
    UErrorCode e = U_ZERO_ERROR;
    USpoofChecker* s = uspoof_open(&e);
    return U_SUCCESS(e) ? s : nullptr;
  }();
  return sc;
}

// What code point `cp` looks like when that is plain ASCII: its skeleton; "" for a character
// one does not see at all; nothing for a character that looks like no ASCII text.
static std::optional<std::string> looks_like(UChar32 cp) {
  if (u_hasBinaryProperty(cp, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) return std::string();
  if (u_isUWhiteSpace(cp)) return std::string(" ");
  char in[4];
  int32_t n = 0;
  U8_APPEND_UNSAFE(in, n, cp);
  char out[32];
  UErrorCode e = U_ZERO_ERROR;
  const int32_t len = uspoof_getSkeletonUTF8(spoof(), 0, in, n, out, sizeof out, &e);
  if (U_FAILURE(e) || len <= 0 || len >= static_cast<int32_t>(sizeof out)) return std::nullopt;
  for (int32_t i = 0; i < len; ++i)
    if (static_cast<unsigned char>(out[i]) < 0x21 || static_cast<unsigned char>(out[i]) > 0x7e)
      return std::nullopt;
  return std::string(out, static_cast<size_t>(len));
}

// "U+2013 EN DASH".
static std::string char_name(UChar32 cp) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
  char name[128];
  UErrorCode e = U_ZERO_ERROR;
  const int32_t n = u_charName(cp, U_UNICODE_CHAR_NAME, name, sizeof name, &e);
  return U_SUCCESS(e) && n > 0 && n < static_cast<int32_t>(sizeof name)
             ? std::string(hex) + " " + std::string(name, static_cast<size_t>(n))
             : std::string(hex);
}

static bool confusable_character(check_run& c, const line_scan&) {
  const std::string_view l = c.line;
  // Most lines are ASCII throughout and need nothing more.
  if (!any_high(l) || !spoof()) return false;
  // Outside comments and quoted text: there a character is what the author meant it to be.
  const size_t end = std::min(comment_at(l), l.size());
  std::vector<edit> fix;
  size_t first = 0, first_len = 0;
  UChar32 first_cp = 0;
  std::string first_like;
  char quote = 0;
  for (size_t k = 0; k < end;) {
    const unsigned char b = static_cast<unsigned char>(l[k]);
    if (b < 0x80) {
      if (quote ? b == static_cast<unsigned char>(quote) : (b == '\'' || b == '"' || b == '`'))
        quote = quote ? 0 : static_cast<char>(b);
      ++k;
      continue;
    }
    int32_t at = static_cast<int32_t>(k);
    UChar32 cp = 0;
    U8_NEXT(l.data(), at, static_cast<int32_t>(end), cp);
    const size_t len = static_cast<size_t>(at) - k;
    if (cp >= 0 && !quote) {
      if (const std::optional<std::string> like = looks_like(cp)) {
        if (fix.empty()) {
          first = k;
          first_len = len;
          first_cp = cp;
          first_like = *like;
        }
        fix.push_back(here(c, k + 1, len, *like));
      }
    }
    k = static_cast<size_t>(at);
  }
  if (fix.empty()) return false;
  if (!c.on(wname::confusable_character)) return true;
  const size_t others = fix.size() - 1;
  std::string why;
  const bool ok = offer(c, wname::confusable_character, fix, why);
  const std::string what = first_like.empty()
                               ? "an invisible character, " + char_name(first_cp) + ", stands here"
                               : quoted(l.substr(first, first_len)) + " is " +
                                     char_name(first_cp) + ", not " + quoted(first_like);
  const std::string write = first_like.empty() ? "; remove it" : "; write " + quoted(first_like);
  if (!c.warn(wname::confusable_character, first + 1, first_len,
              what + (ok ? write : "") +
                  (others ? " (and " + num(static_cast<int64_t>(others)) + " more on this line)"
                          : ""),
              fix))
    return true;
  c.say("nestasm and NASM read the bytes as they are, not as the character they look like");
  why_not(c, first_like.empty() ? "removing it" : quoted(first_like), why);
  return true;
}

// An en dash where a minus goes; the same line with the minus is quiet.
static constexpr warning_rec confusable_character_w = {
    wname::confusable_character, "confusable-character", on(looks_at::plain, looks_at::statement),
    confusable_character,
    "mov eax, 5 \xe2\x80\x93 1\n",
    "mov eax, 5 - 1 ; 5 \xe2\x80\x93 1\n",
    {},
    "A character outside comments and quoted text that looks like another, such as an en dash "
    "for a minus or a Cyrillic letter for a Latin one, or one that cannot be seen."};
