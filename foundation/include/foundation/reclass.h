// The reclass command line of one run, and running it for one object.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/answers.h"

namespace tng {

// The reclass command line of one run: "/R=", "/U=", "/W=" (left out for the
// blank password) built once, "/C=", "/O=", "/T=" per object.
class ReclassCommand {
 public:
  ReclassCommand(const ToolAnswers& answers, const ReclassFieldCapacities& fields);

  // Whether the answers fit their fields; says why on stderr when not.
  static bool answers_fit(const ToolAnswers& answers, const ReclassFieldCapacities& fields);

  // Runs reclass for one object and waits for it. An object name that does
  // not fit its field is refused on stderr and nothing is run (false).
  bool run(std::string_view source_class, std::string_view object_name,
           std::string_view target_class) const;

 private:
  std::string repository_;
  std::string user_;
  std::optional<std::string> password_;
  std::size_t object_capacity_;
};

}  // namespace tng
