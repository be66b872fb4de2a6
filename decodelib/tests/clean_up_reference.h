// The packet clean-ups as the whole-text replacements they stand for: each
// pair replaced until it no longer occurs, in order.
#pragma once

#include <string>

namespace zt {

inline std::string replace_until_gone(std::string s, const std::string &from,
                                      const std::string &to) {
    for (size_t p; (p = s.find(from)) != std::string::npos;) s.replace(p, from.size(), to);
    return s;
}

inline std::string cleaned_up(std::string s, bool keep_plus_minus) {
    if (!keep_plus_minus) s = replace_until_gone(s, "+-", "-");
    s = replace_until_gone(s, ",;", ";");
    s = replace_until_gone(s, ",,", ",");
    return replace_until_gone(s, "++", "+");
}

} // namespace zt
