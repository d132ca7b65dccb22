// Feeds arbitrary text to the forwarder's text stages as NOTICEPLAINTEXT and
// the result through the command building, and checks what must hold.
#include "forwarder/forward.h"

#include <string_view>

using namespace tng::forwarder;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view plain(reinterpret_cast<const char*>(data), size);
  const Stages s = variable_text(plain);
  if (!s.refusal.empty()) return 0;
  const bool holds = s.variable1.size() < stage_capacity && s.variable2.size() < stage_capacity &&
                     s.text.size() <= s.variable2.size() &&
                     s.variable2.find('"') == std::string::npos &&
                     s.variable2.find('|') == std::string::npos &&
                     (s.variable1.empty() || s.variable1.front() == '|');
  if (!holds) __builtin_trap();

  const ConsoleCommand c = console_command(Form::full, "nsm", "/opt/nsm", severity_of("Critical"),
                                           {"dev", "label"}, s.text);
  if (c.refusal.empty() && (c.parameters.size() >= parameters_capacity || c.words.size() != 12))
    __builtin_trap();
  return 0;
}
