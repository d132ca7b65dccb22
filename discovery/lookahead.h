// The objects of a run of passes, read ahead of the object the run is at,
// with each device's questions already under way: up to `window` devices are
// asked at once, across the ends of passes, while each pass still takes its
// objects strictly in list order and prints and reclassifies each exactly as
// if it had asked it alone. A window of 1 is the plain object-by-object walk.
//
// Reading ahead changes nothing a pass can see: a result list is a snapshot
// taken at its query, no pass of one run moves objects into or out of a
// class that a later pass of the same run queries, and every repository
// operation is called in the same order as without look-ahead. Where a pass
// would stop (a failed query, end of the list, a failed fetch, a failed name
// or address read) its look-ahead stops too, so nothing is fetched that the
// walk would not have fetched.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "identify.h"
#include "run.h"

namespace orxdetect {

// One step of the walk, read ahead, with the device's questions under way.
struct AheadObject : tng::AheadStep {
  AheadObject() = default;
  explicit AheadObject(tng::AheadStep step) : tng::AheadStep(std::move(step)) {}
  std::unique_ptr<Inquiry> inquiry;  // the device's questions (objects only)
};

// One pass of a walk: the class it queries and the questions it asks.
struct WalkPass {
  std::string_view class_name;
  Questions questions;
};

class Walk {
 public:
  // Passes query their class for "name,address".
  Walk(Run& run, std::vector<WalkPass> passes);
  ~Walk();
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  // The query of pass `pass` (passes are begun in order), made now unless
  // the look-ahead made it already.
  tng::RepositorySession::QueryResult begin(std::size_t pass);
  // Reads ahead until the window is full or nothing is left to read,
  // starting each new device's questions.
  void fill();
  // The next step of pass `pass`, once its device's questions are all
  // settled; the other devices' answers are taken as they come and kept.
  AheadObject take(std::size_t pass);
  // Releases the pass's result list and criteria.
  void finish(std::size_t pass);

 private:
  struct PassState;
  void query(PassState& state);
  bool fetch(PassState& state);
  void watch(Inquiry& inquiry);

  Run& run_;
  std::vector<std::unique_ptr<PassState>> passes_;
  std::size_t filling_ = 0;  // the pass the look-ahead reads from
  std::size_t held_ = 0;     // steps read ahead and not yet taken
  std::unordered_map<TNG_SNMP_SESSION, Inquiry*> waiting_;
};

// Prints the object's name and address lines (or what its failed reads
// tell). False when the pass is to end here.
bool print_device_target(Run& run, const AheadObject& object, DeviceTarget& target);

}  // namespace orxdetect
