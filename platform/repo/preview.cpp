// A preview run (platform/preview.h) and its plan.
//
// The run's changes are taken into the plan as they are made: the moves of
// the reclass runs from the copy's audit trail after each run (settle), the
// objects the API makes and deletes by the API itself (preview_run.h).
// Both happen on the tool's one thread, so the plan holds them in the
// order the run made them.
#include "platform/preview.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/clock.h"
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/wvapi.h"
#include "preview_run.h"

namespace tng::preview {
namespace {

namespace fs = std::filesystem;
namespace plan = repo::plan;

constexpr const char* kPlanVariable = "TNG_PREVIEW";
constexpr const char* kCopyVariable = "TNG_PREVIEW_COPY";
// What reclass writes into the audit trail for a move.
constexpr std::string_view kMoveAction = "reclass";

struct State {
  bool begun = false;
  bool finished = false;
  std::string program;
  std::string plan_given;              // TNG_PREVIEW as given, for the messages
  fs::path plan_path;                  // absolute
  std::string repository;              // the repository previewed
  std::string copy;                    // its copy; empty until made
  std::unique_ptr<repo::Store> store;  // the copy, for its audit trail
  int64_t audit_seen = 0;
  std::vector<plan::Change> changes;
  std::optional<Evidence> pending;
  process::AfterExit watcher;
};

// Never destroyed: the exit handlers that end a preview run after the
// static objects made late in the run are gone.
State& state() {
  static State& s = *new State;
  return s;
}

void say(const std::string& line) { diag::say_plain("preview: %s\n", line.c_str()); }

json::Object evidence_json(const Evidence& e) {
  json::Object out;
  if (!e.address.empty()) out["address"] = e.address;
  if (!e.questions.empty()) {
    json::Object questions = json::Object::array();
    for (const Question& q : e.questions)
      questions.push_back({{"asked", q.asked}, {"oid", q.oid}, {"answer", q.answer}});
    out["questions"] = std::move(questions);
  }
  if (!e.rule_class.empty() || !e.rule_entry.empty())
    out["rule"] = {{"class", e.rule_class}, {"entry", e.rule_entry}};
  return out;
}

std::string text_name(const repo::ObjectRow& row) {
  const repo::Test* name = row.find("name");
  return name && name->type == WV_TYPE_TEXT ? name->value : std::string();
}

// The plan's file must be writable before the run starts: a run whose plan
// cannot be written would be lost.
void check_plan_path(State& s) {
  const char* given = std::getenv(kPlanVariable);
  s.plan_given = given ? given : "";
  if (s.plan_given.empty())
    throw repo::Error(repo::kBadArgument, "TNG_PREVIEW names no plan file; nothing was done");
  std::error_code ec;
  s.plan_path = fs::absolute(s.plan_given, ec);
  if (ec)
    throw repo::Error(repo::kFailed, "cannot tell where " + s.plan_given + " is: " + ec.message());
  const fs::path folder = s.plan_path.parent_path();
  if (fs::is_directory(s.plan_path, ec))
    throw repo::Error(repo::kBadArgument,
                      "the plan file " + s.plan_given + " is a folder; nothing was done");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    throw repo::Error(repo::kFailed, "the plan file " + s.plan_given + " cannot be written (" +
                                         folder.string() + ": " + files::error_text(errno) +
                                         "); nothing was done");
}

std::string copy_name() {
  const repo::Uuid random = repo::new_uuid();
  char name[32];
  std::snprintf(name, sizeof name, "preview-%ld-%02x%02x%02x%02x", static_cast<long>(::getpid()),
                random[12], random[13], random[14], random[15]);
  return name;
}

void finish_at_exit() { finish(); }

// Makes the copy of `name` and opens it; the watcher removes it should the
// run end without finish().
void make_copy(State& s, std::string_view name) {
  // Anything the exit handler needs is set up before it is registered, so
  // that it outlives the handler: the digest's library among them.
  plan::Plan warm_up;
  (void)plan::document(warm_up);
  for (int attempt = 0;; ++attempt) {
    std::string copy = copy_name();
    if (!s.watcher.arm([copy] { repo::remove_repository(copy); }))
      throw repo::Error(repo::kFailed,
                        "cannot start the process that removes the preview's "
                        "copy after the run; nothing was done");
    try {
      repo::copy_repository(name, copy);
      s.copy = std::move(copy);
      break;
    } catch (const repo::Error& e) {
      // Never let the watcher remove a repository this run did not make.
      s.watcher.call_off();
      if (e.code() != repo::kExists || attempt == 2) throw;
    }
  }
  s.repository = name;
  try {
    s.store = repo::open_store(s.copy);
    repo::StoreTransaction t(*s.store, repo::Store::kRead);
    repo::AuditFilter last;
    last.newest_first = true;
    last.limit = 1;
    s.store->list_audit(last, [&](const repo::AuditEntry& a) { s.audit_seen = a.id; });
    t.commit();
  } catch (...) {
    s.store.reset();
    repo::remove_repository(s.copy);
    s.watcher.call_off();
    s.copy.clear();
    throw;
  }
  const std::string mapping = s.repository + "=" + s.copy;
  ::setenv(kCopyVariable, mapping.c_str(), 1);
  std::atexit(finish_at_exit);
}

}  // namespace

bool requested() { return std::getenv(kPlanVariable) != nullptr; }

void begin() {
  State& s = state();
  s.begun = true;
  s.program = diag::program();
}

bool active() { return state().begun && requested(); }

void decide(Evidence evidence) {
  if (!run::recording()) return;
  state().pending = std::move(evidence);
}

void settle() {
  if (!run::recording()) return;
  State& s = state();
  std::vector<plan::Change> moved;
  repo::StoreTransaction t(*s.store, repo::Store::kRead);
  repo::AuditFilter filter;
  filter.after = s.audit_seen;
  s.store->list_audit(filter, [&](const repo::AuditEntry& a) {
    s.audit_seen = a.id;
    if (a.action != kMoveAction || !a.uuid) return;
    plan::Change c;
    c.kind = plan::Kind::kMove;
    c.uuid = *a.uuid;
    c.name = a.name;
    c.class_name = a.from;
    c.to = a.to;
    moved.push_back(std::move(c));
  });
  t.commit();
  run::record(std::move(moved));
}

void finish() {
  State& s = state();
  if (s.finished || !active()) return;
  if (s.copy.empty()) {
    s.finished = true;
    say(std::string("no plan written to ") + std::getenv(kPlanVariable) +
        ": the run opened no repository");
    return;
  }
  std::string failure;
  try {
    settle();  // the last moves, should a step not have settled them
  } catch (const std::exception& e) {
    failure = std::string("the copy's changes cannot be read: ") + e.what();
  }
  s.finished = true;
  s.store.reset();
  if (failure.empty()) {
    try {
      plan::Plan p{s.repository, s.program, clock::utc_now(), "", std::move(s.changes)};
      const std::string text = plan::document(p);
      if (int error = files::replace(s.plan_path.string(), text, 0600))
        failure = "cannot write " + s.plan_given + ": " + files::error_text(error);
      else
        say(std::to_string(p.changes.size()) + " changes written to " + s.plan_given);
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
  if (!failure.empty()) say(failure + "; no plan was written");
  repo::remove_repository(s.copy);
  s.watcher.call_off();
  ::unsetenv(kCopyVariable);
}

std::string answer_text(uint8_t tag, const void* value, uint32_t length) {
  if (value == nullptr) return "no value";
  const auto* octets = static_cast<const uint8_t*>(value);
  auto number = [&] {
    int32_t n = 0;
    std::memcpy(&n, value, sizeof n);
    return n;
  };
  auto hex = [&] {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "0x";
    for (uint32_t i = 0; i < length; ++i) {
      out += kHex[octets[i] >> 4];
      out += kHex[octets[i] & 15];
    }
    return out;
  };
  switch (tag) {
    case 0x02:
      return "integer " + std::to_string(number());
    case 0x41:
      return "counter " + std::to_string(static_cast<uint32_t>(number()));
    case 0x42:
      return "gauge " + std::to_string(static_cast<uint32_t>(number()));
    case 0x43:
      return "timeticks " + std::to_string(static_cast<uint32_t>(number()));
    case 0x04: {
      bool printable = true;
      for (uint32_t i = 0; i < length; ++i)
        printable = printable && octets[i] >= 0x20 && octets[i] < 0x7f;
      return printable
                 ? "octet string \"" + std::string(static_cast<const char*>(value), length) + "\""
                 : "octet string " + hex();
    }
    case 0x40:
      if (length == 4)
        return "ip address " + std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
               std::to_string(octets[2]) + "." + std::to_string(octets[3]);
      return "ip address " + hex();
    case 0x05:
      return "null";
    case 0x80:
      return "noSuchObject";
    case 0x81:
      return "noSuchInstance";
    case 0x82:
      return "endOfMibView";
    default: {
      char type[16];
      std::snprintf(type, sizeof type, "type 0x%02x ", tag);
      return type + hex();
    }
  }
}

std::string error_answer(int32_t error_status) {
  static constexpr const char* kNames[] = {"noError",
                                           "tooBig",
                                           "noSuchName",
                                           "badValue",
                                           "readOnly",
                                           "genErr",
                                           "noAccess",
                                           "wrongType",
                                           "wrongLength",
                                           "wrongEncoding",
                                           "wrongValue",
                                           "noCreation",
                                           "inconsistentValue",
                                           "resourceUnavailable",
                                           "commitFailed",
                                           "undoFailed",
                                           "authorizationError",
                                           "notWritable",
                                           "inconsistentName"};
  std::string out = "error status " + std::to_string(error_status);
  if (error_status > 0 && error_status < static_cast<int32_t>(std::size(kNames)))
    out += std::string(" (") + kNames[error_status] + ")";
  return out;
}

std::string oid_text(const uint32_t* ids, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += (i ? "." : "") + std::to_string(ids[i]);
  return out;
}

namespace run {

std::string repository_to_open(std::string_view name, std::string_view program) {
  if (!requested()) return std::string(name);
  State& s = state();
  if (!s.begun)
    throw repo::Error(repo::kFailed, "TNG_PREVIEW is set, but " + std::string(program) +
                                         " cannot preview its changes; nothing was done");
  if (!s.copy.empty()) {
    if (name == s.repository) return s.copy;
    throw repo::Error(repo::kFailed, "a preview covers one repository: '" + s.repository +
                                         "' is open, '" + std::string(name) + "' cannot be");
  }
  if (s.finished) throw repo::Error(repo::kFailed, "the preview has ended");
  check_plan_path(s);
  make_copy(s, name);
  return s.copy;
}

bool recording() {
  const State& s = state();
  return s.begun && !s.copy.empty() && !s.finished;
}

plan::Change link(repo::Store& store, const repo::Uuid& uuid) {
  plan::Change c;
  c.kind = plan::Kind::kLink;
  c.uuid = uuid;
  std::optional<repo::ObjectRow> row = store.find_object(uuid);
  if (!row) throw repo::Error(repo::kFailed, "the object just made cannot be read back");
  c.name = text_name(*row);
  c.class_name = row->class_name;
  c.properties = row->props;
  for (const repo::Test& p : row->props) {
    if (p.type != WV_TYPE_UUID || p.value.size() != 16) continue;
    repo::Uuid other{};
    std::memcpy(other.data(), p.value.data(), 16);
    if (other == uuid) continue;
    if (std::optional<repo::ObjectRow> named = store.find_object(other))
      c.refers.push_back({p.property, other, text_name(*named), named->class_name});
  }
  return c;
}

plan::Change removal(const repo::ObjectRow& row, const std::vector<repo::Test>& tests) {
  plan::Change c;
  c.kind = row.class_name == "Inclusion" ? plan::Kind::kUnlink : plan::Kind::kDelete;
  c.uuid = row.uuid;
  c.name = text_name(row);
  c.class_name = row.class_name;
  for (const repo::Test& t : tests)
    if (t.property != "class_name" && t.property != "uuid") c.read.push_back(t);
  return c;
}

void record(std::vector<plan::Change> changes) {
  State& s = state();
  if (s.pending) {
    const json::Object evidence = evidence_json(*s.pending);
    for (plan::Change& c : changes) {
      if (!evidence.empty()) c.evidence = evidence;
      for (const auto& [property, value] : s.pending->read) {
        repo::Test t{property, WV_TYPE_TEXT, value};
        c.read.push_back(std::move(t));
      }
    }
  }
  s.pending.reset();
  for (plan::Change& c : changes) s.changes.push_back(std::move(c));
}

std::optional<std::string> copy_named_for(std::string_view name) {
  const char* mapping = std::getenv(kCopyVariable);
  if (!mapping) return std::nullopt;
  std::string_view text = mapping;
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || text.substr(0, eq) != name) return std::nullopt;
  return std::string(text.substr(eq + 1));
}

}  // namespace run
}  // namespace tng::preview
