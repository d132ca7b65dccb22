#include "platform/json.h"

namespace tng::json {

std::string line(const Object& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace tng::json
