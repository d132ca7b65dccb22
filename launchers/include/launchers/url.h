// URLs built by appending fixed text and run-time values, in order, with
// nothing encoded or escaped.
#pragma once
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tng::launchers {

// One piece of a URL: fixed text, or a value known only at run time.
enum class Piece { text, server, device };

struct UrlPart {
  Piece piece;
  const char* text = nullptr;  // for Piece::text
};

// The URL, or nullopt when it would not fit `capacity` bytes with its
// terminator (a cut URL would open the wrong page).
std::optional<std::string> build_url(std::span<const UrlPart> parts, std::string_view server,
                                     std::string_view device, std::size_t capacity);

}  // namespace tng::launchers
