// The objects of a pass, read ahead of the one the pass is at, with each
// device's questions already under way: up to `window` devices are asked at
// once, while the pass still takes the objects strictly in list order and
// prints and reclassifies each exactly as if it had asked it alone. A window
// of 1 is the plain object-by-object walk.
//
// Reading ahead changes nothing the pass can see: the result list is a
// snapshot, and the reads happen in the same order as without look-ahead.
// Where the walk would stop (end of the list, a failed fetch, a failed name
// or address read) the look-ahead stops too, so no object is fetched that
// the walk would not have fetched.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

#include "identify.h"
#include "run.h"

namespace orxdetect {

// A property read kept for printing later.
struct StoredProperty {
  WV_RC rc = WV_OK;
  int32_t type = WV_TYPE_TEXT;
  std::string text;
  int32_t integer = 0;

  static StoredProperty from(const tng::RepositorySession::Property& property);
  // The read as the session returned it, its value pointing in here.
  tng::RepositorySession::Property view() const;
};

// One step of the walk, read ahead.
struct AheadObject {
  enum class Kind {
    Object,         // an object to handle
    End,            // the list ended (quietly)
    FetchFailed,    // "Object GetNext Failed - rc = %d"
    NameFailed,     // the name could not be read (quietly)
    AddressFailed,  // the name line, then "TNGWV returned unsuccessful: %d"
  };
  Kind kind = Kind::End;
  WV_RC fetch_rc = 0;
  StoredProperty name;
  StoredProperty address;
  std::unique_ptr<Inquiry> inquiry;  // the device's questions (objects only)
};

class LookAhead {
 public:
  LookAhead(Run& run, uint32_t count, Questions questions)
      : run_(run), count_(count), questions_(questions) {}
  LookAhead(const LookAhead&) = delete;
  LookAhead& operator=(const LookAhead&) = delete;

  // Reads ahead until the window is full, the count is reached or the walk
  // would stop, starting each new device's questions.
  void fill();
  // The next step of the walk, once its device's questions are all settled;
  // the others' answers are taken as they come and kept meanwhile.
  AheadObject take();

 private:
  void watch(Inquiry& inquiry);

  Run& run_;
  uint32_t count_;
  Questions questions_;
  uint32_t fetched_ = 0;
  bool stopped_ = false;
  std::deque<AheadObject> ahead_;
  std::unordered_map<TNG_SNMP_SESSION, Inquiry*> waiting_;
};

// Prints the object's name and address lines (or what its failed reads
// tell). False when the pass is to end here.
bool print_device_target(Run& run, const AheadObject& object, DeviceTarget& target);

}  // namespace orxdetect
