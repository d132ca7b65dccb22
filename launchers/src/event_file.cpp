#include "launchers/event_file.h"

#include <algorithm>
#include <cstring>

namespace tng::launchers {
namespace {

std::uint32_t little_endian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The text of `slot` in the complete record of `length` bytes.
SlotText text_of(std::span<const std::uint8_t> record, std::size_t length, int slot) {
  const std::uint32_t offset =
      little_endian(record.data() + slot_table_offset + 4 * static_cast<std::size_t>(slot));
  if (offset == 0) return {TextStatus::ok, {}};
  if (offset >= length) return {TextStatus::outside_record, {}};
  const std::uint8_t* begin = record.data() + offset;
  const std::uint8_t* end = record.data() + length;
  const std::uint8_t* nul = std::find(begin, end, std::uint8_t{0});
  if (nul == end) return {TextStatus::unterminated, {}};
  return {TextStatus::ok, std::string(begin, nul)};
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next word of `text` from `at`, after any white space; `at` moves past it.
std::string_view next_word(std::string_view text, std::size_t& at) {
  while (at < text.size() && is_space(text[at])) ++at;
  const std::size_t start = at;
  while (at < text.size() && !is_space(text[at])) ++at;
  return text.substr(start, at - start);
}

std::string slot_name(int slot) { return "string slot " + std::to_string(slot); }

}  // namespace

SlotText read_slot_text(const ReadBytes& read, std::span<std::uint8_t, record_capacity> record,
                        int slot) {
  SlotText last;  // no record yet
  for (;;) {
    std::uint8_t word[4];
    if (read(word, sizeof word) != sizeof word) break;
    const std::uint32_t length = little_endian(word);
    if (length < record_header_size || length > record_capacity) break;
    // The length word is the record's first field.
    std::memcpy(record.data(), word, sizeof word);
    const std::size_t rest = length - sizeof word;
    if (read(record.data() + sizeof word, rest) != rest) break;
    // Taken at once: the buffer is reused by the next record, and a record
    // that cannot be read whole must not disturb the last complete one.
    last = text_of(record, length, slot);
  }
  return last;
}

PickedDevice pick_device(std::string_view text, DevicePick how, int slot) {
  if (how == DevicePick::whole_text) {
    if (text.size() >= device_capacity)
      return {{},
              "the device named in " + slot_name(slot) + " is longer than " +
                  std::to_string(device_capacity - 1) + " characters"};
    return {std::string(text), {}};
  }
  if (text.size() >= text_copy_capacity)
    return {{},
            "the text in " + slot_name(slot) + " is longer than " +
                std::to_string(text_copy_capacity - 1) + " characters"};
  std::size_t at = 0;
  const std::string_view first = next_word(text, at);
  const std::string_view second = next_word(text, at);
  if (first.size() >= first_word_capacity)
    return {{},
            "the first word of the text in " + slot_name(slot) + " is longer than " +
                std::to_string(first_word_capacity - 1) + " characters"};
  if (second.size() >= device_capacity)
    return {{},
            "the device named in " + slot_name(slot) + " is longer than " +
                std::to_string(device_capacity - 1) + " characters"};
  return {std::string(second), {}};
}

}  // namespace tng::launchers
