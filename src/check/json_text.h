// JSON text as nestasm-check's --format=json and the language server write it: one string writer
// for both, so that a file name or a line reads the same in either.
#pragma once

#include <string>
#include <string_view>

// `s` as a JSON string at the end of `to`. Well-formed UTF-8 is kept as it is; each byte that does
// not begin a well-formed sequence becomes U+FFFD, as editors show it; a quote, a backslash, a
// line feed and a tab are escaped by their short forms, and every other control byte and DEL as
// \u00XX.
void json_string(std::string& to, std::string_view s);
