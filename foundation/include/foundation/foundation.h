// The ground every repository tool stands on: the console front end that
// collects a tool's answers, the repository session that holds the
// framework's handles, and the reclassification runner that moves objects
// through the platform's reclass command.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wvapi.h"

namespace tng {

// ---------------------------------------------------------------------------
// Front end

// Capacities, in bytes with the terminator, of the reclass argument fields.
struct ReclassFieldCapacities {
  std::size_t repository;  // "/R=" + repository name
  std::size_t user;        // "/U=" + user name
  std::size_t password;    // "/W=" + password
  std::size_t object;      // "/O=" + object name
};

// The constant description of one repository tool's command line.
struct FrontEndProfile {
  std::string_view program;                  // name used in our own stderr messages
  std::span<const char* const> usage_lines;  // printed in order
  int minimum_arguments;
  bool silent_without_arguments;             // no arguments: end at once, print nothing
  bool interactive;                          // "inst-prompt" offered
  std::span<const char* const> introduction; // printed before the prompts
  std::size_t line_limit;                    // line answers, line end included
  std::size_t password_capacity;             // hidden entries, terminator included
  bool discovery_answers;                    // also asks community string and mode
  int usage_exit_code;
  ReclassFieldCapacities reclass_fields;
};

// The answers a tool works with, from the command line or the prompts.
struct ToolAnswers {
  std::string repository;
  std::string user;
  std::string password;
  bool blank_password = false;  // the password is exactly "B"
  std::string community;        // discovery tools
  std::string mode;             // discovery tools: S/R or Y/N
  bool interactive = false;
  std::vector<std::string> further;  // arguments after the profile's own
};

// Longest repository name: the name field holds 32 bytes.
inline constexpr std::size_t kRepositoryNameMax = WV_REPOSITORY_NAME_FIELD - 1;

// Runs the front end: the mode decision, then the arguments or the prompts.
// Returns the answers, or nothing when the tool is to end at once (usage
// printed, nothing to do, end of input, or an answer that does not fit); the
// tool then returns profile.usage_exit_code.
std::optional<ToolAnswers> run_front_end(const FrontEndProfile& profile, int argc,
                                         const char* const* argv);

void print_usage(const FrontEndProfile& profile);
bool is_blank_password(std::string_view password);

// One echoed line of at most limit - 2 characters (the line end counts
// against the limit). Nothing at end of input, or when the line is longer
// (then a message goes to stderr).
std::optional<std::string> read_line_answer(std::size_t limit, std::string_view program);

// A hidden entry into a field of `capacity` bytes: nothing is echoed,
// Enter ends it, backspace removes the last character, and once the field
// holds capacity - 1 characters the next key ends the entry and is dropped.
// Nothing at end of input.
std::optional<std::string> read_hidden_entry(std::size_t capacity);

// Waits for one key press, not echoed.
void pause_for_any_key();
// Reads one character of line-buffered input (returns after Enter).
void pause_for_return();

// ---------------------------------------------------------------------------
// Repository session

class RepositorySession {
 public:
  explicit RepositorySession(const char* application);
  ~RepositorySession();
  RepositorySession(const RepositorySession&) = delete;
  RepositorySession& operator=(const RepositorySession&) = delete;

  enum class Opened { Connected, KernelFailed, ConnectFailed };
  // Starts the kernel and connects to the answers' repository, printing
  // "Kernel Start Failed", the blank-password line break and "Repository
  // Connect Failed" as they happen.
  Opened open_by_name(const ToolAnswers& answers);

  enum class DialogStep { Connected, KernelFailed, Cancelled, SelectFailed, NameFailed, ConnectFailed };
  struct DialogResult {
    DialogStep step;
    WV_RC rc;  // the failing call's code (the kernel start's for KernelFailed)
  };
  // Starts the kernel, lets the administrator choose the repository and
  // connects. Prints nothing: each tool words its own failures.
  DialogResult open_by_dialog();

  const char* repository_name() const { return name_; }
  WV_KERNEL kernel() const { return kernel_; }
  WV_REPOSITORY repository() const { return repository_; }

  // The steps of a query, for tools that compose their own.
  WV_RC allocate_criteria(int32_t capacity);
  void add_text_criterion(const char* property, std::string_view value);
  void add_integer_criterion(const char* property, int32_t value);
  WV_CRITERIA criteria() const { return criteria_; }
  // Frees the previous result list, then queries.
  WV_RC query(std::string_view class_name, const char* properties, int32_t batch);

  enum class Query { Found, NoObjects, NoSuchClass, Failed, CriteriaFailed };
  struct QueryResult {
    Query outcome;
    WV_RC rc;
    uint32_t count;
  };
  // Ends the previous pass, allocates the criteria, adds class_name = class
  // and queries the class for the properties.
  QueryResult query_class(std::string_view class_name, const char* properties,
                          int32_t criteria_capacity = 20, int32_t batch = 10);
  uint32_t count() const { return count_; }

  enum class Fetch { Object, End, Failed };
  struct FetchResult {
    Fetch outcome;
    WV_RC rc;
  };
  FetchResult next_object();

  struct Property {
    WV_RC rc;
    int32_t type;
    const void* value;
    uint32_t length;
  };
  Property read_property(const char* name) const;

  // Frees the result list, then the criteria, each when held.
  void end_pass();
  // Frees the result list, the criteria, the connection and the kernel, in
  // that order, each when held.
  void close();

 private:
  const char* application_;
  WV_KERNEL kernel_ = nullptr;
  WV_REPOSITORY repository_ = nullptr;
  WV_CRITERIA criteria_ = nullptr;
  WV_OBJECT_LIST list_ = nullptr;
  WV_OBJECT object_ = nullptr;
  uint32_t count_ = 0;
  char name_[WV_REPOSITORY_NAME_FIELD] = {};
};

// ---------------------------------------------------------------------------
// Reading a result list ahead of the walk

// A property read kept until the walk reaches its object.
struct StoredProperty {
  WV_RC rc = WV_OK;
  int32_t type = WV_TYPE_TEXT;
  std::string text;
  int32_t integer = 0;

  static StoredProperty from(const RepositorySession::Property& property);
  // The read as the session returned it, its value pointing in here.
  RepositorySession::Property view() const;
};

// One step of a walk, read ahead: an object with its name and address, or
// the place where the walk stops.
struct AheadStep {
  enum class Kind {
    Object,         // an object to handle
    End,            // the list ended (quietly)
    FetchFailed,    // the fetch failed with fetch_rc
    NameFailed,     // the name could not be read (quietly)
    AddressFailed,  // the address could not be read
  };
  Kind kind = Kind::End;
  WV_RC fetch_rc = 0;
  StoredProperty name;
  StoredProperty address;

  // The address to ask: its text, or empty when it is not a text.
  std::string address_text() const {
    return address.type == WV_TYPE_TEXT ? address.text : std::string();
  }
};

// Fetches the list's next object and reads its "name", then its "address",
// in the order a walk does.
AheadStep read_ahead(WV_OBJECT_LIST list);

// A class query on criteria and list handles the caller holds (a walk that
// reads ahead keeps one pair per pass): allocates the criteria, adds
// class_name = class and queries the class for the properties.
RepositorySession::QueryResult query_class_into(WV_REPOSITORY repository,
                                                std::string_view class_name,
                                                const char* properties, WV_CRITERIA& criteria,
                                                WV_OBJECT_LIST& list,
                                                int32_t criteria_capacity = 20,
                                                int32_t batch = 10);

// The text of a property read for use as a name or address. A text value is
// returned as it is; an integer prints "  NAME = N" and a value of another
// type "  NAME has data type not handled", and both give the empty text.
std::string property_text(const RepositorySession::Property& property, const char* name);

// ---------------------------------------------------------------------------
// Reclassification runner

struct ReclassRule {
  std::string_view source;  // class queried, "/C="
  std::string_view target;  // "/T="
  std::string_view label;   // shown in "Device being reclassified as ..."
};

// The reclass command line of one run: "/R=", "/U=", "/W=" (left out for the
// blank password) built once, "/C=", "/O=", "/T=" per object.
class ReclassCommand {
 public:
  ReclassCommand(const ToolAnswers& answers, const ReclassFieldCapacities& fields);

  // Whether the answers fit their fields; says why on stderr when not.
  static bool answers_fit(const ToolAnswers& answers, const ReclassFieldCapacities& fields,
                          std::string_view program);

  // Runs reclass for one object and waits for it. An object name that does
  // not fit its field is refused on stderr and nothing is run (false).
  bool run(std::string_view source_class, std::string_view object_name,
           std::string_view target_class) const;

 private:
  std::string repository_;
  std::string user_;
  std::optional<std::string> password_;
  std::size_t object_capacity_;
};

enum class PassOutcome { Completed, NotCompleted };

// Moves every object of the rule's source class to its target class, one
// reclass run per object, with the pass messages.
PassOutcome ClassPass(RepositorySession& session, const ReclassCommand& reclass,
                      const ReclassRule& rule);

}  // namespace tng
