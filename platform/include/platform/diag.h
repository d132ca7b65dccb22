// Our own messages on standard error: what the programs and the stand-ins
// say beside the output the tools are specified to print. Each is written
// after whatever standard output holds so far, so that a console showing
// both shows them in the order they happened, and begins with the
// program's name: "orxdetect: the path ... is longer than 127 characters".
#pragma once
#include <string_view>

namespace tng::diag {

// The name the program was started under, without its folder (the file
// name of the program: "orxdetect", "ClassLift").
std::string_view program();

// Writes "PROGRAM: " and the formatted message, which ends its own line(s).
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...);

// Writes the formatted message as it is, in the same way: the stand-ins'
// lines that begin with their own subject instead of the program's name (a
// setting, a credential file, "SNMPv3", "reclass not run").
[[gnu::format(printf, 1, 2)]] void say_plain(const char* format, ...);

}  // namespace tng::diag
