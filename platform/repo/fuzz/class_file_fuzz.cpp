// Feeds arbitrary bytes to the class definition file reader: every
// statement it accepts names valid classes, on lines in file order.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "admin.h"

namespace repo = tng::repo;

namespace {
// The class file of this fuzzing process, removed when it ends.
struct ScratchFile {
  std::string name = "/tmp/class_file_fuzz." + std::to_string(::getpid()) + ".TNG";
  ~ScratchFile() { std::remove(name.c_str()); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static const ScratchFile scratch;
  const std::string& file = scratch.name;
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  try {
    int last_line = 0;
    for (const repo::ClassStatement& s : repo::read_class_file(file)) {
      if (s.line <= last_line || !repo::valid_class_name(s.name)) __builtin_trap();
      if (s.kind == repo::ClassStatement::kDrop && !s.parent.empty()) __builtin_trap();
      if (!s.parent.empty() && !repo::valid_class_name(s.parent)) __builtin_trap();
      last_line = s.line;
    }
  } catch (const repo::Error&) {
    // A refused file: the reader names its line.
  }
  return 0;
}
