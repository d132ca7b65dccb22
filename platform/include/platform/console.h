// The console, as the tools read it. On a terminal the hidden reads switch
// echo, line editing and signal keys off for one key and restore the mode
// after it; when standard input is not a terminal every read takes bytes
// from it as they come, so answers can be typed through a pipe. All reads
// use file descriptor 0 directly, without a buffer of their own, so that the
// tools and the platform's prompts can share one input.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace tng::console {

// One key, not echoed, without waiting for Enter (the console's _getch).
// Enter arrives as '\r'. End of input: std::nullopt.
std::optional<unsigned char> read_key();

// One character of line-buffered input (the C runtime's getchar on the
// console): on a terminal it returns after Enter. End of input: std::nullopt.
std::optional<unsigned char> read_char();

// One echoed line, without its line end ('\n', and a '\r' before it).
// End of input before any character: std::nullopt.
std::optional<std::string> read_line();

// Writes to standard output and flushes it (prompts of the tools).
void write(const char* text);

}  // namespace tng::console
