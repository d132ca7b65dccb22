// The two kinds of launcher. Each program is one constant profile run by one
// of these: it opens a management web page through the desktop shell.
#pragma once
#include "launchers/event_file.h"
#include "launchers/url.h"

#include <cstddef>
#include <span>

namespace tng::launchers {

// The page has been handed to the shell / the run ended early.
inline constexpr int exit_opened = 1;
inline constexpr int exit_not_opened = 0;

// A launcher started from an event action with the name of the event file.
struct EventLauncher {
  const char* usage;            // printed on a wrong argument count
  const char* server_variable;  // required environment variable, or nullptr
  int slot;                     // the string slot that names the device
  DevicePick pick;
  std::span<const UrlPart> url;
};

inline constexpr std::size_t event_url_capacity = 256;
inline constexpr std::size_t file_name_capacity = 256;

// Reads the event file, deletes it and opens the page.
int run_event_launcher(const EventLauncher& launcher, int argc, char** argv);

// A launcher started from a menu method with the device's address.
struct AddressLauncher {
  const char* usage;            // nullptr: the launcher takes no argument
  const char* server_variable;  // required environment variable, or nullptr
  std::span<const UrlPart> url;
  std::size_t url_capacity;
};

int run_address_launcher(const AddressLauncher& launcher, int argc, char** argv);

}  // namespace tng::launchers
