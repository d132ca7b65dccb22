// JSON lines, as the platform's tools write them: one object a line, keys
// in the order they were added. Bytes that are not UTF-8 are written as
// U+FFFD (the replacement character), so every line is valid UTF-8 JSON
// whatever an event or a repository holds.
#pragma once
#include <nlohmann/json.hpp>

#include <string>

namespace tng::json {

using Object = nlohmann::ordered_json;

// The value as compact JSON text followed by "\n".
std::string line(const Object& value);

}  // namespace tng::json
