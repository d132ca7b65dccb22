#include "plan_commands.h"

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "admin.h"
#include "plan.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/wvapi.h"

namespace tng::tools {
namespace {

namespace repo = tng::repo;
namespace plan = tng::repo::plan;
using plan::Change;
using plan::Kind;

// ---- show ----

std::string name_or_dash(const std::string& name) {
  return name.empty() ? "-" : plan::as_written(name);
}

std::string properties_words(const std::vector<repo::Test>& values) {
  std::string out;
  for (const repo::Test& t : values)
    out += (out.empty() ? "" : ", ") + t.property + " " + plan::value_words(t);
  return out;
}

std::string text_of(const json::Object& value) {
  return value.is_string() ? value.get<std::string>()
                           : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void print_evidence(const Change& c) {
  const json::Object& e = c.evidence;
  if (e.is_object()) {
    if (auto it = e.find("address"); it != e.end())
      std::printf("      asked %s\n", text_of(*it).c_str());
    if (auto it = e.find("questions"); it != e.end() && it->is_array()) {
      for (const json::Object& q : *it) {
        if (!q.is_object()) {
          std::printf("      %s\n", text_of(q).c_str());
          continue;
        }
        std::printf("      %s (%s): %s\n", text_of(q.value("asked", json::Object(""))).c_str(),
                    text_of(q.value("oid", json::Object(""))).c_str(),
                    text_of(q.value("answer", json::Object(""))).c_str());
      }
    }
    if (auto it = e.find("rule"); it != e.end()) {
      if (it->is_object())
        std::printf("      rule: %s, %s\n", text_of(it->value("class", json::Object(""))).c_str(),
                    text_of(it->value("entry", json::Object(""))).c_str());
      else
        std::printf("      rule: %s\n", text_of(*it).c_str());
    }
  } else if (!e.is_null()) {
    std::printf("      %s\n", text_of(e).c_str());
  }
  if (!c.read.empty()) std::printf("      read: %s\n", properties_words(c.read).c_str());
}

void print_change(const Change& c, bool evidence) {
  std::string line = "  " + name_or_dash(c.name) + "  " + repo::uuid_text(c.uuid);
  if (c.kind == Kind::kMove) line += "  from " + c.class_name;
  if (c.kind == Kind::kLink)
    for (size_t i = 0; i < c.refers.size(); ++i)
      line += (i == 0 ? "  " : ", ") + c.refers[i].property + " " + c.refers[i].class_name + " " +
              name_or_dash(c.refers[i].name);
  std::printf("%s\n", line.c_str());
  if (evidence) print_evidence(c);
}

const char* kind_words(Kind kind, size_t count) {
  static constexpr const char* kOne[] = {"move", "link", "unlink", "delete"};
  static constexpr const char* kMany[] = {"moves", "links", "unlinks", "deletes"};
  return (count == 1 ? kOne : kMany)[static_cast<int>(kind)];
}

// ---- apply ----

std::string text_name(const repo::ObjectRow& row) {
  const repo::Test* name = row.find("name");
  return name && name->type == WV_TYPE_TEXT ? name->value : std::string();
}

std::string label(const std::string& name, const std::string& class_name, const repo::Uuid& uuid) {
  return (name.empty() ? class_name + " object" : plan::as_written(name)) + " (" +
         repo::uuid_text(uuid) + ")";
}

// What differs between the object as it is and as the plan saw it; empty
// when nothing does.
std::string differences(const std::optional<repo::ObjectRow>& row, const std::string& name,
                        const std::string& class_name, const std::vector<repo::Test>& read) {
  if (!row) return "deleted since the preview";
  std::vector<std::string> what;
  if (row->class_name != class_name)
    what.push_back("moved to class " + row->class_name + " since the preview (the plan saw it in " +
                   class_name + ")");
  const std::string now = plan::as_written(text_name(*row));
  if (now != plan::as_written(name))
    what.push_back("renamed to '" + now + "' since the preview (the plan saw '" +
                   plan::as_written(name) + "')");
  for (const repo::Test& t : read) {
    const repo::Test* found = row->find(t.property);
    if (!found)
      what.push_back("its " + t.property + " was removed since the preview");
    else if (found->type != t.type || plan::as_written(found->value) != plan::as_written(t.value))
      what.push_back("its " + t.property + " changed from " + plan::value_words(t) + " to " +
                     plan::value_words(*found) + " since the preview");
  }
  std::string out;
  for (const std::string& w : what) out += (out.empty() ? "" : "; ") + w;
  return out;
}

repo::Test uuid_test(const repo::Uuid& uuid) {
  return {"uuid", WV_TYPE_UUID, std::string(reinterpret_cast<const char*>(uuid.data()), 16)};
}

// Applies a plan's changes in order inside the caller's write transaction,
// each after checking the objects it names against the repository as the
// changes before it left it. A change whose objects differ is left out,
// and so is every later change of the same object.
//
// The objects the plan names are read once, before the first change (a
// class at a time where the plan names a good part of it), and kept as the
// changes leave them, so that a change costs the repository only its own
// statements; moves in a row go to the repository together.
class Applier {
 public:
  Applier(repo::Store& store, const plan::Plan& p, const std::string& user)
      : store_(store), plan_(p) {
    audit_.time = tng::clock::utc_now();
    audit_.user = user;
    audit_.action = "plan:" + plan_.digest;
  }

  void run() {
    read_objects();
    for (const Change& c : plan_.changes) {
      if (changed_.contains(c.uuid)) continue;
      const std::string problem = check(c);
      if (problem.empty()) {
        make(c);
        ++applied_;
      } else {
        changed_.insert(c.uuid);
        problems_.push_back(label(c.name, c.class_name, c.uuid) + ": " + problem);
      }
    }
    move_now();
  }

  size_t applied() const { return applied_; }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  // A class is read whole when the plan names at least a quarter of its
  // objects; the other objects are looked up one by one.
  static constexpr int64_t kWholeClassShare = 4;
  // Moves waiting to go to the repository together, at most this many.
  static constexpr size_t kMovesAtOnce = 1000;

  void read_objects() {
    std::map<std::string, std::set<repo::Uuid>> by_class;
    for (const Change& c : plan_.changes) {
      by_class[c.class_name].insert(c.uuid);
      for (const plan::ObjectRef& ref : c.refers) by_class[ref.class_name].insert(ref.uuid);
    }
    std::set<repo::Uuid> wanted;
    for (const auto& [name, uuids] : by_class) wanted.insert(uuids.begin(), uuids.end());
    store_.list_classes([&](const repo::ClassEntry& c) { classes_.insert(c.name); });
    std::set<std::string> whole;
    store_.count_by_class([&](const repo::ClassCount& c) {
      auto it = by_class.find(c.name);
      if (it != by_class.end() &&
          c.count <= kWholeClassShare * static_cast<int64_t>(it->second.size()))
        whole.insert(c.name);
    });
    for (const std::string& name : whole) {
      repo::ObjectFilter filter;
      filter.class_name = name;
      store_.list_objects(filter, [&](const repo::ObjectRow& row) {
        if (wanted.contains(row.uuid)) objects_[row.uuid] = row;
      });
    }
    for (const repo::Uuid& uuid : wanted)
      if (!objects_.contains(uuid)) objects_[uuid] = store_.find_object(uuid);
  }

  const std::optional<repo::ObjectRow>& object(const repo::Uuid& uuid) { return objects_[uuid]; }

  std::string check(const Change& c) {
    if (c.kind == Kind::kLink) {
      if (object(c.uuid)) return "an object with its uuid exists already";
      if (!classes_.contains(c.class_name))
        return "its class " + c.class_name + " no longer exists";
      for (const plan::ObjectRef& ref : c.refers) {
        const std::string what = changed_.contains(ref.uuid)
                                     ? "changed since the preview"
                                     : differences(object(ref.uuid), ref.name, ref.class_name, {});
        if (!what.empty())
          return "the object it links, " + label(ref.name, ref.class_name, ref.uuid) + ", was " +
                 what;
      }
      return {};
    }
    std::string what = differences(object(c.uuid), c.name, c.class_name, c.read);
    if (what.empty() && c.kind == Kind::kMove && !classes_.contains(c.to))
      what = "its target class " + c.to + " no longer exists";
    return what;
  }

  void make(const Change& c) {
    std::optional<repo::ObjectRow>& kept = objects_[c.uuid];
    if (c.kind != Kind::kMove || moving_.contains(c.uuid) || moves_.size() >= kMovesAtOnce)
      move_now();
    switch (c.kind) {
      case Kind::kMove:
        moves_.push_back({c.uuid, c.class_name, c.to, c.name});
        moving_.insert(c.uuid);
        kept->class_name = c.to;
        break;
      case Kind::kLink: {
        std::vector<repo::Test> items = c.properties;
        items.push_back(uuid_test(c.uuid));
        store_.create_object(c.class_name, items);
        kept = repo::ObjectRow{0, c.class_name, c.uuid, c.properties};
        break;
      }
      case Kind::kUnlink:
      case Kind::kDelete:
        if (store_.delete_objects(c.class_name, {uuid_test(c.uuid)}) != 1)
          throw repo::Error(repo::kChanged,
                            label(c.name, c.class_name, c.uuid) + " could not be deleted");
        kept.reset();
        break;
    }
  }

  // Makes the moves that wait, in their order.
  void move_now() {
    if (moves_.empty()) return;
    store_.move_objects(moves_, audit_);
    moves_.clear();
    moving_.clear();
  }

  repo::Store& store_;
  const plan::Plan& plan_;
  repo::AuditEntry audit_;  // of every move: the time, the user and the plan's digest
  std::vector<repo::UuidMove> moves_;
  std::set<repo::Uuid> moving_;  // the uuids of moves_
  std::set<std::string> classes_;
  // The objects the plan names, as the changes so far left them (nothing:
  // there is no such object).
  std::map<repo::Uuid, std::optional<repo::ObjectRow>> objects_;
  std::set<repo::Uuid> changed_;
  std::vector<std::string> problems_;
  size_t applied_ = 0;
};

// The password: hidden on a terminal, else one line of standard input.
// "B" is the blank password, as the suite's tools read it.
std::optional<std::string> read_password(const std::string& user) {
  std::optional<std::string> password;
  {
    console::HiddenInput hidden(console::Hide::line);
    if (hidden.active()) std::fprintf(stderr, "Password for %s: ", user.c_str());
    password = console::read_line();
    if (hidden.active()) std::fputc('\n', stderr);
  }
  if (password && *password == "B") password->clear();
  return password;
}

}  // namespace

int show_plan(const std::string& path, bool evidence) {
  const plan::Plan p = plan::read(path);
  std::printf("Plan of %s for repository %s, written %s\n", p.tool.c_str(), p.repository.c_str(),
              p.time.c_str());
  std::printf("digest %s\n", p.digest.c_str());
  size_t by_kind[4] = {};
  std::map<std::pair<int, std::string>, std::vector<const Change*>> groups;
  for (const Change& c : p.changes) {
    ++by_kind[static_cast<int>(c.kind)];
    groups[{static_cast<int>(c.kind), c.kind == Kind::kMove ? c.to : c.class_name}].push_back(&c);
  }
  std::string counts;
  for (int k = 0; k < 4; ++k)
    if (by_kind[k] > 0)
      counts += (counts.empty() ? ": " : ", ") + std::to_string(by_kind[k]) + " " +
                kind_words(static_cast<Kind>(k), by_kind[k]);
  std::printf("%zu %s%s\n", p.changes.size(), p.changes.size() == 1 ? "change" : "changes",
              counts.c_str());
  for (const auto& [key, changes] : groups) {
    const auto kind = static_cast<Kind>(key.first);
    std::printf("\n%s%s %s: %zu\n", plan::kind_name(kind), kind == Kind::kMove ? " to" : "",
                key.second.c_str(), changes.size());
    for (const Change* c : changes) print_change(*c, evidence);
  }
  return 0;
}

int apply_plan(const ApplyRequest& r) {
  const plan::Plan p = plan::read(r.path);
  if (p.repository != r.repository)
    throw repo::Error(repo::kBadArgument, r.path + " is a plan for repository '" + p.repository +
                                              "', not '" + r.repository + "'; nothing was applied");
  std::unique_ptr<repo::Store> store = repo::open_store(r.repository);
  const std::optional<std::string> password = read_password(r.user);
  if (!password) {
    std::fprintf(stderr, "wvrepo: no password was given (end of input); nothing was applied\n");
    return 2;
  }
  // Checked before the transaction starts, as reclass does, so that other
  // writers do not wait for the hash.
  if (!repo::check_user(*store, r.user, *password)) {
    std::fprintf(stderr,
                 "wvrepo: access denied for user '%s' to repository '%s'; nothing was applied\n",
                 r.user.c_str(), r.repository.c_str());
    return 2;
  }
  Applier applier(*store, p, r.user);
  {
    repo::StoreTransaction t(*store, repo::Store::kWrite);
    applier.run();
    if (applier.problems().empty() || r.skip_changed) t.commit();
  }
  const char* prefix = r.skip_changed ? "wvrepo: skipped " : "wvrepo: ";
  for (const std::string& line : applier.problems())
    std::fprintf(stderr, "%s%s\n", prefix, line.c_str());
  if (!applier.problems().empty() && !r.skip_changed) {
    std::fprintf(stderr,
                 "wvrepo: %zu %s changed since the preview; nothing was applied "
                 "(--skip-changed applies the rest)\n",
                 applier.problems().size(), applier.problems().size() == 1 ? "object" : "objects");
    return 1;
  }
  std::printf("%zu of %zu changes applied to %s\n", applier.applied(), p.changes.size(),
              r.repository.c_str());
  return 0;
}

}  // namespace tng::tools
