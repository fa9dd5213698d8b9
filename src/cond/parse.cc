// The condition parser: the first operator of the table that occurs anywhere splits the text.
#include "cond/cond.h"

#include "common/common.h"

std::optional<cond3> parse_if(std::string_view arg) {
  for (std::string_view op : ops) {
    size_t at = arg.find(op);
    if (at == std::string_view::npos) continue;
    // The first operator found decides, even when it leaves a side empty: later ones are not tried.
    std::string_view lhs = trimx(arg.substr(0, at));
    std::string_view rhs = trimx(arg.substr(at + op.size()));
    if (lhs.empty() || rhs.empty()) return std::nullopt;
    return cond3{std::string(lhs), std::string(op), std::string(rhs)};
  }
  return std::nullopt;
}
