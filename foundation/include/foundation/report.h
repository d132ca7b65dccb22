// The messages every pass over a class prints: the outcome of the class's
// query and the lines of each object it reaches, written to a Sink.
//
// A Sink is the console, or the console and a log: a message marked
// ConsoleAndLog goes, with the same text, to the log right after the
// console. A sink without a log is the plain console, as the migrations and
// plndetect print; orxdetect opens its run's log.
#pragma once
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/result_list.h"
#include "foundation/session.h"

namespace tng {

enum class To { Console, ConsoleAndLog };

class Sink {
 public:
  Sink() = default;
  ~Sink();
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  // Creates or truncates the log file. False when it cannot be opened.
  bool open_log(const std::string& path);
  void close_log();

  // One message to the console and, when marked, to the log.
  [[gnu::format(printf, 3, 4)]] void say(To to, const char* format, ...);
  // A text as it is, without formatting.
  void put(To to, std::string_view text);
  // A message whose console and log wordings differ.
  void say_apart(const char* console, const char* log);
  [[gnu::format(printf, 2, 3)]] void console(const char* format, ...);
  [[gnu::format(printf, 2, 3)]] void log(const char* format, ...);

  // Called with the count so far each time a pass reaches an object (its
  // object line is printed), for a progress report; unset by default.
  std::function<void(std::size_t objects)> on_object;
  std::size_t objects_reached() const { return objects_; }
  void object_reached();

 private:
  std::FILE* log_ = nullptr;
  std::size_t objects_ = 0;
};

// How a tool words what its class query came to. Each is a printf format:
// `no_such_class` and `no_objects` take the class (%.*s), `failed` and
// `fetch_failed` a code (%d), `found` the count (%u) and then the class.
struct QueryWording {
  const char* criteria_failed;
  const char* no_such_class;
  const char* failed;
  const char* no_objects;
  const char* found;
  const char* fetch_failed;
};

// The wording of the passes (the migrations and both discovery tools).
inline constexpr QueryWording kPassQuery{
    "Allocating Repository Object Criteria Failed\n", "Class %.*s does not exist\n",
    "Get Repository Object Failed - rc = %d\n",       "Objects of class %.*s do not exist!\n",
    "\nThere were %u %.*s objects found:\n",          "Object GetNext Failed - rc = %d\n",
};

// Prints what a class query came to, in the wording given; the count only
// when objects were found and `print_count`. True when objects were found.
// The missing class, the empty class and the count also go to the log.
bool report_query(Sink& sink, std::string_view class_name,
                  const RepositorySession::QueryResult& query, bool print_count = true,
                  const QueryWording& wording = kPassQuery);

// How a tool words an object's lines: the name line, and for the tools
// that ask the device, the address line. Each line is `before`, the text of
// the property, `after`.
struct ObjectWording {
  struct Line {
    std::string_view before;
    std::string_view after;
  };
  Line name;
  Line address;  // printed by report_object
};

// The discovery tools' object lines; they differ only in the address line.
inline constexpr ObjectWording::Line kSnmpQueryName{"Device name to use for SNMP query: ", "\n"};

// A failed fetch of the next object, on the console.
void report_fetch_failed(Sink& sink, WV_RC rc, const QueryWording& wording = kPassQuery);

// The name line of an object whose name was read: a text is printed in the
// wording (console and log) and returned; another type prints what
// property_text prints and gives the empty text.
std::string report_name(Sink& sink, const RepositorySession::Property& name,
                        const ObjectWording::Line& wording);

// The name and address a pass works with.
struct ObjectNames {
  std::string name;
  std::string address;
};

// The lines of one object read ahead (read_ahead): its name and address
// lines, or what its failed fetch or failed address read tells ("TNGWV
// returned unsuccessful: N"). False when the pass ends at this step; a list
// that ended and a name that could not be read end it quietly.
bool report_object(Sink& sink, const AheadStep& step, const ObjectWording& wording,
                   ObjectNames& names);

}  // namespace tng
