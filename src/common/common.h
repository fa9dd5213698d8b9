// Byte-string helpers shared by every part of the translator, and the one way to report an error.
#pragma once

#include <string>
#include <string_view>

// `s` without the leading and trailing bytes that isspace() accepts (space, \t, \n, \v, \f, \r).
// The result views `s`, so it lives as long as `s` does.
std::string_view trimx(std::string_view s);

// `s` with "A".."Z" turned into "a".."z"; every other byte, and the length, stays.
std::string lowerme(std::string s);

// Write `msg` to standard error and return `status`, so a handler can `return bail(...)`.
int bail(std::string_view msg, int status);
