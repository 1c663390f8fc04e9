// Study files are Windows-1252 so they move between machines; the program's own texts
// are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kim {

std::string cp1252ToUtf8(std::string_view bytes);
// A character Windows-1252 cannot hold, or a broken UTF-8 sequence, becomes "?".
std::string utf8ToCp1252(std::string_view text);

} // namespace kim
