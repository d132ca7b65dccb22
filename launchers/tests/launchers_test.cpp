// The event file reader, the device pick and the URL building.
#include "launchers/event_file.h"
#include "launchers/url.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tng::launchers {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A record of `size` bytes (at least the header) whose slot `slot` points at
// `text` placed right after the header.
Bytes record(std::string_view text, int slot = 3, std::size_t size = 0) {
  Bytes r(record_header_size, 0);
  put32(r, slot_table_offset + 4 * static_cast<std::size_t>(slot),
        static_cast<std::uint32_t>(r.size()));
  r.insert(r.end(), text.begin(), text.end());
  r.push_back(0);
  if (size > r.size()) r.resize(size, 0);
  put32(r, 0, static_cast<std::uint32_t>(r.size()));
  return r;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

SlotText read_from(const Bytes& file, int slot = 3) {
  std::size_t at = 0;
  ReadBytes read = [&](std::uint8_t* into, std::size_t size) {
    std::size_t n = std::min(size, file.size() - at);
    if (n != 0) std::memcpy(into, file.data() + at, n);
    at += n;
    return n;
  };
  static std::uint8_t buffer[record_capacity];
  return read_slot_text(read, buffer, slot);
}

Bytes with_length_word(Bytes r, std::uint32_t length) {
  put32(r, 0, length);
  return r;
}
Bytes with_slot(Bytes r, int slot, std::uint32_t offset) {
  put32(r, slot_table_offset + 4 * static_cast<std::size_t>(slot), offset);
  return r;
}
Bytes cut(Bytes r, std::size_t n) {
  r.resize(n);
  return r;
}

struct ReadCase {
  const char* title;
  Bytes file;
  TextStatus status;
  std::string text;
};

TEST(EventFile, LastCompleteRecordDecides) {
  const Bytes first = record("Node 10.1.2.7 is down");
  const Bytes second = record("Node 10.9.9.9 is up");
  const Bytes unterminated =
      cut(with_length_word(record("Node x"), record_header_size + 6), record_header_size + 6);
  const ReadCase cases[] = {
      {"one record", first, TextStatus::ok, "Node 10.1.2.7 is down"},
      {"two records: the second", first + second, TextStatus::ok, "Node 10.9.9.9 is up"},
      {"largest record accepted", first + record("big", 3, record_capacity), TextStatus::ok, "big"},
      {"over-long length stops", first + record("big", 3, record_capacity + 1), TextStatus::ok,
       "Node 10.1.2.7 is down"},
      {"zero length stops", first + with_length_word(second, 0), TextStatus::ok,
       "Node 10.1.2.7 is down"},
      {"length below the header stops", first + with_length_word(second, record_header_size - 1),
       TextStatus::ok, "Node 10.1.2.7 is down"},
      {"short record keeps the previous one whole", first + cut(second, second.size() - 1),
       TextStatus::ok, "Node 10.1.2.7 is down"},
      {"short length word", first + Bytes{1, 2}, TextStatus::ok, "Node 10.1.2.7 is down"},
      {"empty file", {}, TextStatus::no_record, ""},
      {"only a short record", cut(first, 50), TextStatus::no_record, ""},
      {"absent slot", with_slot(first, 3, 0), TextStatus::ok, ""},
      {"slot at the record's end", with_slot(first, 3, static_cast<std::uint32_t>(first.size())),
       TextStatus::outside_record, ""},
      {"slot far outside", with_slot(first, 3, 0xFFFFFFFFu), TextStatus::outside_record, ""},
      {"text without a terminator", unterminated, TextStatus::unterminated, ""},
      {"a bad last record decides", first + with_slot(second, 3, 4000), TextStatus::outside_record,
       ""},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.title);
    SlotText got = read_from(c.file);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.text, c.text);
  }
}

TEST(EventFile, EachLauncherReadsItsOwnSlot) {
  Bytes r = record("Node 10.1.2.7", 3);
  Bytes both = record("10.1.2.3", 0);
  EXPECT_EQ(read_from(r, 0).text, "");
  EXPECT_EQ(read_from(both, 0).text, "10.1.2.3");
  EXPECT_EQ(read_from(both, 11).status, TextStatus::ok);
}

struct PickCase {
  std::string text;
  DevicePick how;
  std::string device;
  bool refused;
};

TEST(PickDevice, SecondWordOrWholeTextWithinCapacities) {
  const std::string word63(63, 'n'), word64(64, 'n'), dev255(255, 'd'), dev256(256, 'd');
  const PickCase cases[] = {
      {"Node 10.1.2.7 is down", DevicePick::second_word, "10.1.2.7", false},
      {" \t Node\n\v10.1.2.7\rmore", DevicePick::second_word, "10.1.2.7", false},
      {"Node", DevicePick::second_word, "", false},
      {"", DevicePick::second_word, "", false},
      {word63 + " x", DevicePick::second_word, "x", false},
      {word64 + " x", DevicePick::second_word, "", true},
      {"Node " + dev255, DevicePick::second_word, dev255, false},
      {"Node " + dev256, DevicePick::second_word, "", true},
      {"Node x " + std::string(511 - 7, 'y'), DevicePick::second_word, "x", false},
      {"Node x " + std::string(512 - 7, 'y'), DevicePick::second_word, "", true},
      {"10.1.2.3 and more", DevicePick::whole_text, "10.1.2.3 and more", false},
      {dev255, DevicePick::whole_text, dev255, false},
      {dev256, DevicePick::whole_text, "", true},
  };
  for (const PickCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    PickedDevice got = pick_device(c.text, c.how, 3);
    EXPECT_EQ(got.refusal.empty(), !c.refused) << got.refusal;
    EXPECT_EQ(got.device, c.device);
  }
}

TEST(BuildUrl, AppendsInOrderAndRefusesWhatDoesNotFit) {
  constexpr UrlPart parts[] = {{Piece::text, "http://"},
                               {Piece::server, nullptr},
                               {Piece::text, "/device/"},
                               {Piece::device, nullptr}};
  EXPECT_EQ(build_url(parts, "10.1.2.9", "10.1.2.5", 512), "http://10.1.2.9/device/10.1.2.5");
  EXPECT_EQ(build_url(parts, "", "", 512), "http:///device/");
  const std::string fill(255 - 15, 'x');  // 15: the fixed text
  EXPECT_EQ(build_url(parts, fill, "", 256)->size(), 255u);
  EXPECT_FALSE(build_url(parts, fill + "x", "", 256));
}

}  // namespace
}  // namespace tng::launchers
