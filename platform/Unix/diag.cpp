#include "platform/diag.h"

#include <errno.h>  // program_invocation_short_name

#include <cstdarg>
#include <cstdio>

namespace tng::diag {
namespace {

void emit(bool named, const char* format, std::va_list arguments) {
  std::fflush(stdout);
  if (named) std::fprintf(stderr, "%s: ", program_invocation_short_name);
  std::vfprintf(stderr, format, arguments);
}

}  // namespace

std::string_view program() { return program_invocation_short_name; }

void say(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  emit(true, format, arguments);
  va_end(arguments);
}

void say_plain(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  emit(false, format, arguments);
  va_end(arguments);
}

}  // namespace tng::diag
