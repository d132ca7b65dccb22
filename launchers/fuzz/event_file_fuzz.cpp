// Feeds arbitrary bytes to the event file reader as an event file, and the
// text it finds through the device pick and the URL building of both kinds
// of event launcher.
#include "launchers/event_file.h"
#include "launchers/url.h"

#include <algorithm>
#include <cstring>

using namespace tng::launchers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::uint8_t record[record_capacity];
  constexpr UrlPart url[] = {{Piece::text, "http://"},
                             {Piece::server, nullptr},
                             {Piece::text, ":280/"},
                             {Piece::device, nullptr}};
  for (int slot : {0, 3}) {
    std::size_t at = 0;
    const ReadBytes read = [&](std::uint8_t* into, std::size_t n) {
      n = std::min(n, size - at);
      if (n) std::memcpy(into, data + at, n);
      at += n;
      return n;
    };
    const SlotText text = read_slot_text(read, record, slot);
    if (text.status != TextStatus::ok) continue;
    for (DevicePick how : {DevicePick::second_word, DevicePick::whole_text}) {
      const PickedDevice device = pick_device(text.text, how, slot);
      if (!device.refusal.empty()) continue;
      if (auto u = build_url(url, "server", device.device, 256); u && u->size() >= 256)
        __builtin_trap();
    }
  }
  return 0;
}
