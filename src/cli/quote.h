#pragma once

#include <string>
#include <string_view>

namespace vemo {

// A name made safe to print on a terminal: returned unchanged when it is valid UTF-8 without
// control characters; otherwise written whole as $'...' with C escapes (\n, \t, \033, and octal
// for every other control character and for each byte that is not valid UTF-8), so that a name
// can neither forge a line nor drive the terminal, and can be pasted back into a shell.
std::string quote_name(std::string_view name);

}  // namespace vemo
