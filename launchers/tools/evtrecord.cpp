// evtrecord: writes one event record, in the layout the event-file launchers
// read, to a file (replacing it, or appended with --append). For tests and
// for trying the launchers by hand.
//
//   evtrecord [--append] FILE [--slot N=TEXT]... [--offset N=OFFSET]...
//             [--size BYTES] [--length-word VALUE] [--cut BYTES] [--unterminated]
//
//   --slot N=TEXT      put TEXT (with its NUL) after the header; slot N points at it
//   --offset N=OFFSET  store OFFSET in slot N as it is
//   --size BYTES       pad the record with zero bytes to BYTES
//   --length-word V    write V as the record's length word (default: its size)
//   --cut BYTES        write only the record's first BYTES bytes
//   --unterminated     leave out the NUL of the last text, which then ends the record
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t header_size = 112;
constexpr std::size_t slot_table = 64;
constexpr int slot_count = 12;

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "evtrecord: %s\n", why.c_str());
  std::fputs(
      "usage: evtrecord [--append] FILE [--slot N=TEXT]... [--offset N=OFFSET]... [--size BYTES]\n"
      "                 [--length-word VALUE] [--cut BYTES] [--unterminated]\n",
      stderr);
  std::exit(2);
}

std::uint64_t number(std::string_view text, std::uint64_t max) {
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (s.empty() || *end != '\0' || errno != 0 || v > max) fail("bad number '" + s + "'");
  return v;
}

void put32(std::vector<std::uint8_t>& record, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    record[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// "N=VALUE" with 0 <= N < 12.
std::pair<int, std::string_view> slot_and_value(std::string_view arg) {
  auto eq = arg.find('=');
  if (eq == std::string_view::npos) fail("expected N=VALUE, got '" + std::string(arg) + "'");
  return {static_cast<int>(number(arg.substr(0, eq), slot_count - 1)), arg.substr(eq + 1)};
}

}  // namespace

int main(int argc, char** argv) {
  bool append = false, unterminated = false;
  std::optional<std::string> file;
  std::optional<std::uint64_t> size, length_word, cut;
  std::vector<std::uint8_t> record(header_size, 0);
  std::vector<std::pair<int, std::uint32_t>> offsets;

  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) fail(std::string(a) + " needs a value");
      return argv[++i];
    };
    if (a == "--append")
      append = true;
    else if (a == "--unterminated")
      unterminated = true;
    else if (a == "--slot") {
      auto [slot, text] = slot_and_value(value());
      put32(record, slot_table + 4 * static_cast<std::size_t>(slot),
            static_cast<std::uint32_t>(record.size()));
      record.insert(record.end(), text.begin(), text.end());
      record.push_back(0);
    } else if (a == "--offset") {
      auto [slot, text] = slot_and_value(value());
      offsets.emplace_back(slot, static_cast<std::uint32_t>(number(text, UINT32_MAX)));
    } else if (a == "--size")
      size = number(value(), 1u << 26);
    else if (a == "--length-word")
      length_word = number(value(), UINT32_MAX);
    else if (a == "--cut")
      cut = number(value(), 1u << 26);
    else if (!a.starts_with("--") && !file)
      file = std::string(a);
    else
      fail("unexpected '" + std::string(a) + "'");
  }
  if (!file) fail("no file named");

  if (unterminated) {
    if (record.size() == header_size) fail("--unterminated needs a --slot text");
    record.pop_back();
  }
  if (size) {
    if (*size < record.size()) fail("--size is smaller than the header and texts");
    if (unterminated && *size != record.size()) fail("--unterminated text must end the record");
    record.resize(*size, 0);
  }
  for (auto [slot, offset] : offsets)
    put32(record, slot_table + 4 * static_cast<std::size_t>(slot), offset);
  put32(record, 0, static_cast<std::uint32_t>(length_word.value_or(record.size())));
  std::size_t count = cut ? std::min<std::size_t>(*cut, record.size()) : record.size();

  std::FILE* out = std::fopen(file->c_str(), append ? "ab" : "wb");
  if (!out) fail("cannot open " + *file + ": " + std::strerror(errno));
  const bool ok = std::fwrite(record.data(), 1, count, out) == count;
  if (std::fclose(out) != 0 || !ok) fail("cannot write " + *file);
  return 0;
}
