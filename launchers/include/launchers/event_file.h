// The event file that the event console hands a launcher: event records back
// to back, no file header, integers 32-bit little-endian. A record starts
// with its own length (the length word included) and holds twelve string
// slots at offsets 64 to 108; a slot is 0 for an absent text, else the
// offset from the record's start of a NUL-terminated text inside the record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tng::launchers {

inline constexpr std::size_t record_capacity = 61440;
inline constexpr std::size_t record_header_size = 112;  // length word, unread bytes, slots
inline constexpr std::size_t slot_table_offset = 64;
inline constexpr int slot_count = 12;

// Reads up to `size` bytes into `into`; fewer only at the end of the input.
using ReadBytes = std::function<std::size_t(std::uint8_t* into, std::size_t size)>;

enum class TextStatus {
  ok,              // text holds the slot's text (empty for an absent slot)
  no_record,       // the input holds no complete record
  outside_record,  // the slot's offset lies outside its record
  unterminated,    // the text runs to the end of its record without a NUL
};

struct SlotText {
  TextStatus status = TextStatus::no_record;
  std::string text;
};

// Reads the records in turn until the end of the input, a length word that
// cannot be read whole, a length below the record header or above the
// record capacity, or a record that cannot be read whole. The last record
// read whole decides; its text in `slot` is returned. `record` is the
// working buffer of record_capacity bytes.
SlotText read_slot_text(const ReadBytes& read, std::span<std::uint8_t, record_capacity> record,
                        int slot);

// How a launcher takes the device out of the slot's text.
enum class DevicePick {
  second_word,  // split at white space: the first word is dropped, the second is the device
  whole_text,   // the whole text, blanks included
};

inline constexpr std::size_t text_copy_capacity = 512;
inline constexpr std::size_t first_word_capacity = 64;
inline constexpr std::size_t device_capacity = 256;

struct PickedDevice {
  std::string device;
  std::string refusal;  // why the text cannot be used; empty when it can
};

// Each capacity counts a terminator: a text, word or device that would not
// fit is refused rather than cut.
PickedDevice pick_device(std::string_view text, DevicePick how, int slot);

}  // namespace tng::launchers
