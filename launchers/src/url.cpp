#include "launchers/url.h"

namespace tng::launchers {

std::optional<std::string> build_url(std::span<const UrlPart> parts, std::string_view server,
                                     std::string_view device, std::size_t capacity) {
  std::string url;
  for (const UrlPart& part : parts) {
    switch (part.piece) {
      case Piece::text:
        url += part.text;
        break;
      case Piece::server:
        url += server;
        break;
      case Piece::device:
        url += device;
        break;
    }
  }
  if (url.size() >= capacity) return std::nullopt;
  return url;
}

}  // namespace tng::launchers
