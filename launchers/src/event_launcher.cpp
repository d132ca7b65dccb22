#include "launchers/launcher.h"
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tng::launchers {
namespace {

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

int refuse(const std::string& why) {
  tng::diag::say("%s; no page opened\n", why.c_str());
  return exit_not_opened;
}

std::string status_refusal(TextStatus status, int slot) {
  const std::string name = "string slot " + std::to_string(slot);
  switch (status) {
    case TextStatus::ok:
      break;
    case TextStatus::no_record:
      return "the event file holds no complete event record";
    case TextStatus::outside_record:
      return name + " of the event record points outside the record";
    case TextStatus::unterminated:
      return "the text in " + name + " has no terminator inside its record";
  }
  return {};
}

}  // namespace

int run_event_launcher(const EventLauncher& launcher, int argc, char** argv) {
  if (argc != 2) {
    std::fputs(launcher.usage, stdout);
    return exit_not_opened;
  }
  const char* server = "";
  if (launcher.server_variable) {
    server = std::getenv(launcher.server_variable);
    if (server == nullptr) {
      std::printf("Environment variable %s not set.\n", launcher.server_variable);
      return exit_not_opened;
    }
  }
  const char* file_name = argv[1];
  if (std::strlen(file_name) >= file_name_capacity)
    return refuse("the event file's name is longer than " + std::to_string(file_name_capacity - 1) +
                  " characters");

  // A FIFO or a device would block the launcher or never end: refused at
  // once, and left where it is.
  std::FILE* opened = nullptr;
  const int open_error = files::open_regular(file_name, opened);
  if (open_error == files::kNotRegular)
    return refuse(std::string("the event file ") + file_name + " is not a regular file");
  File file(opened);
  if (!file) {
    std::fputs("Could not open temporary file\n", stdout);
    return exit_not_opened;
  }
  memory::Buffer record = memory::allocate(record_capacity);
  if (!record) return exit_not_opened;

  const ReadBytes read = [&file](std::uint8_t* into, std::size_t size) {
    return std::fread(into, 1, size, file.get());
  };
  const SlotText text = read_slot_text(
      read, std::span<std::uint8_t, record_capacity>(record.get(), record_capacity), launcher.slot);
  if (text.status != TextStatus::ok) return refuse(status_refusal(text.status, launcher.slot));

  const PickedDevice device = pick_device(text.text, launcher.pick, launcher.slot);
  if (!device.refusal.empty()) return refuse(device.refusal);

  const auto url = build_url(launcher.url, server, device.device, event_url_capacity);
  if (!url)
    return refuse("the URL would be longer than " + std::to_string(event_url_capacity - 1) +
                  " characters");

  // The event file is ours once read: it goes before the page opens.
  record.reset();
  file.reset();
  std::remove(file_name);

  shell::open_url(*url, shell::SW_SHOWMINIMIZED);
  return exit_opened;
}

}  // namespace tng::launchers
