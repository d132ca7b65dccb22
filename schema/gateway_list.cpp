#include "gateway_list.h"

namespace schema {
namespace {

// The white space that ends a word for the C runtime's "%s".
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

}  // namespace

GatewayFile split_gateway_file(std::string_view content) {
  const std::size_t start = content.find_first_not_of(kWhiteSpace);
  if (start == std::string_view::npos) return {.before = {}, .list = {}, .after = content};
  const std::size_t end = content.find_first_of(kWhiteSpace, start);
  const std::size_t length = end == std::string_view::npos ? content.size() - start : end - start;
  return {.before = content.substr(0, start),
          .list = content.substr(start, length),
          .after = content.substr(start + length)};
}

std::optional<std::string> with_classes_appended(const GatewayFile& file,
                                                 std::string_view addition) {
  if (file.list.size() + addition.size() > kClassListMax) return std::nullopt;
  std::string content;
  content.reserve(file.before.size() + file.list.size() + addition.size() + file.after.size());
  content.append(file.before).append(file.list).append(addition).append(file.after);
  return content;
}

}  // namespace schema
