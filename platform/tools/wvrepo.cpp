// wvrepo: the administrator's command for the framework install and its
// repositories. Run without arguments for the list of commands.
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "admin.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/json.h"
#include "platform/wvapi.h"
#include "query.h"

namespace repo = tng::repo;
namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string_view>;

constexpr const char* kUsage =
    "usage:\n"
    "  wvrepo setup\n"
    "  wvrepo create REPO [--server CONNINFO]\n"
    "  wvrepo attach REPO --server CONNINFO\n"
    "  wvrepo user add REPO USER            (password read from stdin)\n"
    "  wvrepo class add REPO CLASS [--parent PARENT]\n"
    "  wvrepo class list REPO\n"
    "  wvrepo class drop REPO CLASS\n"
    "  wvrepo import REPO FILE\n"
    "  wvrepo object add REPO CLASS PROP=VALUE...   (PROP:int=N, PROP:uuid=U)\n"
    "  wvrepo object list REPO [CLASS] [--where PROP=VALUE]... [--json]\n"
    "  wvrepo object del REPO CLASS [--where PROP=VALUE]...\n"
    "  wvrepo status list REPO [--json]\n"
    "  wvrepo audit REPO [--json]\n";

// The longest install path that the suite's tools can hold.
constexpr size_t kInstallPathLimit = 79;
constexpr const char* kDefaultGatewayClasses = "Host|WindowsNT_Server|Windows2000_Server|";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---- JSON ----

tng::json::Object json_value(const repo::Test& t) {
  if (t.type == WV_TYPE_INTEGER && t.value.size() == 4) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), 4);
    return v;
  }
  if (t.type == WV_TYPE_UUID && t.value.size() == 16) {
    repo::Uuid u{};
    std::memcpy(u.data(), t.value.data(), 16);
    return repo::uuid_text(u);
  }
  return t.value;
}

void print_json(const tng::json::Object& line) { std::fputs(tng::json::line(line).c_str(), stdout); }

// ---- Arguments ----

// PROP=text, PROP:int=N or PROP:uuid=U.
repo::Test typed_value(std::string_view word) {
  size_t eq = word.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw UsageError("expected PROP=VALUE, PROP:int=N or PROP:uuid=U, got '" + std::string(word) + "'");
  std::string_view left = word.substr(0, eq);
  std::string value(word.substr(eq + 1));
  repo::Test t;
  size_t colon = left.rfind(':');
  std::string_view type = colon == std::string_view::npos ? "" : left.substr(colon + 1);
  if (type == "int") {
    t.property = left.substr(0, colon);
    errno = 0;
    char* end = nullptr;
    long long n = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno || n < INT32_MIN || n > INT32_MAX)
      throw UsageError("'" + value + "' is not a 32-bit integer");
    auto v = static_cast<int32_t>(n);
    t.type = WV_TYPE_INTEGER;
    t.value.assign(reinterpret_cast<const char*>(&v), 4);
  } else if (type == "uuid") {
    t.property = left.substr(0, colon);
    std::optional<repo::Uuid> u = repo::parse_uuid(value);
    if (!u) throw UsageError("'" + value + "' is not a UUID");
    t.type = WV_TYPE_UUID;
    t.value.assign(reinterpret_cast<const char*>(u->data()), 16);
  } else {
    t.property = left;
    t.type = WV_TYPE_TEXT;
    if (value.find('\0') != std::string::npos) throw UsageError("a text may not hold a zero byte");
    t.value = std::move(value);
  }
  if (t.property.empty()) throw UsageError("empty property name in '" + std::string(word) + "'");
  return t;
}

struct Options {
  std::vector<std::string_view> positional;
  std::vector<repo::Test> where;
  std::optional<std::string> parent;
  std::optional<std::string> server;
  bool json = false;
};

Options options(const Args& args, bool allow_where, bool allow_parent, bool allow_json,
                bool allow_server = false) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (allow_where && a == "--where" && i + 1 < args.size()) {
      o.where.push_back(typed_value(args[++i]));
    } else if (allow_parent && a == "--parent" && i + 1 < args.size()) {
      o.parent = std::string(args[++i]);
    } else if (allow_server && a == "--server" && i + 1 < args.size()) {
      o.server = std::string(args[++i]);
    } else if (allow_json && a == "--json") {
      o.json = true;
    } else if (a.starts_with("--")) {
      throw UsageError("unexpected option '" + std::string(a) + "'");
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

void want(const Options& o, size_t min, size_t max) {
  if (o.positional.size() < min || o.positional.size() > max)
    throw UsageError("wrong number of arguments");
}

// Runs `change` on the repository in one write transaction.
void change(std::string_view name, const std::function<void(repo::Store&)>& body) {
  std::unique_ptr<repo::Store> store = repo::open_store(name);
  repo::StoreTransaction t(*store, repo::Store::kWrite);
  body(*store);
  t.commit();
}

void read(std::string_view name, const std::function<void(repo::Store&)>& body) {
  std::unique_ptr<repo::Store> store = repo::open_store(name);
  repo::StoreTransaction t(*store, repo::Store::kRead);
  body(*store);
  t.commit();
}

// ---- setup ----

fs::path own_folder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path{} : self.parent_path();
}

[[noreturn]] void cannot_write(const fs::path& file, int error) {
  throw repo::Error(repo::kFailed,
                    "cannot write " + file.string() + ": " + tng::files::error_text(error));
}

// A file of the home that setup writes: kept when it is there and complete,
// written in one step when it is missing or was left half-made.
void write_home_file(const fs::path& file, std::string_view text,
                     bool (*complete)(const std::string&)) {
  std::string current;
  int error = tng::files::read_all(file, current);
  if (error == 0 && complete(current)) return;
  if (error != 0 && error != ENOENT)
    throw repo::Error(repo::kFailed,
                      "cannot read " + file.string() + ": " + tng::files::error_text(error));
  if (int e = tng::files::replace(file, text, 0644)) cannot_write(file, e);
}

// Every line of the registry file setup writes ends with a line break.
bool complete_registry(const std::string& text) { return !text.empty() && text.back() == '\n'; }
bool complete_class_list(const std::string& text) { return !text.empty(); }

int setup(const Args&) {
  fs::path home = fs::absolute(repo::home());
  fs::path install = home / "install";
  fs::path agent = home / "agent";
  fs::path gateway = agent / "services" / "config" / "aws_wvgate";
  fs::path nsm = home / "nsm";
  for (const fs::path& dir : {home / "repositories", install, gateway, nsm / "bin", nsm / "logs"})
    fs::create_directories(dir);
  // The repositories hold the users' password hashes: the owner's only.
  fs::permissions(home / "repositories", fs::perms::owner_all, fs::perm_options::replace);
  if (install.string().size() > kInstallPathLimit)
    std::fprintf(stderr,
                 "wvrepo: warning: the install path %s is longer than %zu characters; the suite's "
                 "tools cannot use it (choose a shorter TNG_HOME)\n",
                 install.c_str(), kInstallPathLimit);
  write_home_file(home / "registry.ini",
                  "[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]\n"
                  "InstallPath=" + install.string() + "\n\n"
                  "[SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies]\n"
                  "InstallPath=" + agent.string() + "\n",
                  complete_registry);
  write_home_file(gateway / "gwclass.dat", kDefaultGatewayClasses, complete_class_list);
  fs::path cawto = own_folder() / "cawto";
  std::string program;
  int error = tng::files::read_all(cawto, program);
  if (error == 0) {
    if (int e = tng::files::replace(nsm / "bin" / "cawto", program, 0755)) cannot_write(nsm / "bin" / "cawto", e);
  } else {
    std::fprintf(stderr, "wvrepo: note: no cawto beside wvrepo; %s is left without it\n",
                 (nsm / "bin").c_str());
  }
  std::printf("Framework home ready: %s\n", home.c_str());
  return 0;
}

// ---- commands ----

int create(const Args& args) {
  Options o = options(args, false, false, false, true);
  want(o, 1, 1);
  repo::create_repository(o.positional[0], o.server);
  std::printf("Repository %.*s created\n", static_cast<int>(o.positional[0].size()),
              o.positional[0].data());
  return 0;
}

int attach(const Args& args) {
  Options o = options(args, false, false, false, true);
  want(o, 1, 1);
  if (!o.server) throw UsageError("attach needs --server CONNINFO");
  repo::attach_repository(o.positional[0], *o.server);
  std::printf("Repository %.*s attached\n", static_cast<int>(o.positional[0].size()),
              o.positional[0].data());
  return 0;
}

int user_add(const Args& args) {
  Options o = options(args, false, false, false);
  want(o, 2, 2);
  std::optional<std::string> password;
  {
    tng::console::HiddenInput hidden(tng::console::Hide::line);
    if (hidden.active())
      std::fprintf(stderr, "Password for %.*s: ", static_cast<int>(o.positional[1].size()),
                   o.positional[1].data());
    password = tng::console::read_line();
    if (hidden.active()) std::fputc('\n', stderr);
  }
  if (!password)
    throw repo::Error(repo::kBadArgument, "no password was given (end of input); user '" +
                                              std::string(o.positional[1]) + "' was not changed");
  // The suite's tools read "B" as the marker of a blank password: a user
  // with that password could never log in with it.
  if (*password == "B")
    throw repo::Error(repo::kBadArgument,
                      "the password \"B\" cannot be set: the tools read it as a blank password");
  change(o.positional[0], [&](repo::Store& store) { repo::set_user(store, o.positional[1], *password); });
  return 0;
}

int class_add(const Args& args) {
  Options o = options(args, false, true, false);
  want(o, 2, 2);
  change(o.positional[0], [&](repo::Store& store) {
    store.add_class(o.positional[1], o.parent.value_or(""));
  });
  return 0;
}

int class_list(const Args& args) {
  Options o = options(args, false, false, true);
  want(o, 1, 1);
  read(o.positional[0], [&](repo::Store& store) {
    store.list_classes([&](const repo::ClassEntry& c) {
      if (o.json)
        print_json({{"name", c.name},
                    {"parent", c.parent ? tng::json::Object(*c.parent) : tng::json::Object(nullptr)}});
      else
        std::printf("%s%s%s\n", c.name.c_str(), c.parent ? " " : "",
                    c.parent ? c.parent->c_str() : "");
    });
  });
  return 0;
}

int class_drop(const Args& args) {
  Options o = options(args, false, false, false);
  want(o, 2, 2);
  change(o.positional[0], [&](repo::Store& store) { store.drop_class(o.positional[1]); });
  return 0;
}

int import(const Args& args) {
  Options o = options(args, false, false, false);
  want(o, 2, 2);
  repo::ApplyReport r = repo::import_class_file(o.positional[0], std::string(o.positional[1]));
  std::printf("%d class(es) added, %d dropped\n", r.added, r.dropped);
  return 0;
}

int object_add(const Args& args) {
  Options o = options(args, false, false, false);
  if (o.positional.size() < 2) throw UsageError("wrong number of arguments");
  std::vector<repo::Test> items;
  for (size_t i = 2; i < o.positional.size(); ++i) {
    repo::Test t = typed_value(o.positional[i]);
    for (const repo::Test& other : items)
      if (other.property == t.property)
        throw UsageError("property '" + t.property + "' given twice");
    items.push_back(std::move(t));
  }
  repo::Uuid made{};
  change(o.positional[0],
         [&](repo::Store& store) { made = store.create_object(o.positional[1], items); });
  std::printf("%s\n", repo::uuid_text(made).c_str());
  return 0;
}

int object_list(const Args& args) {
  Options o = options(args, true, false, true);
  want(o, 1, 2);
  std::optional<std::string_view> cls;
  if (o.positional.size() == 2) cls = o.positional[1];
  read(o.positional[0], [&](repo::Store& store) {
    if (cls && !store.class_exists(*cls))
      throw repo::Error(WV_NO_SUCH_CLASS, "class '" + std::string(*cls) + "' does not exist");
    store.list_objects(cls, o.where, [&](const repo::ObjectRow& row) {
      const repo::Test* name = nullptr;
      for (const repo::Test& p : row.props)
        if (p.property == "name") name = &p;
      std::string uuid = repo::uuid_text(row.uuid);
      if (!o.json) {
        std::printf("%s\t%s\t%s\n", row.class_name.c_str(), uuid.c_str(),
                    name ? name->value.c_str() : "");
        return;
      }
      tng::json::Object line;
      line["class_name"] = row.class_name;
      if (name) line["name"] = json_value(*name);
      line["uuid"] = uuid;
      for (const repo::Test& p : row.props)
        if (&p != name) line[p.property] = json_value(p);
      print_json(line);
    });
  });
  return 0;
}

int object_del(const Args& args) {
  Options o = options(args, true, false, false);
  want(o, 2, 2);
  uint32_t n = 0;
  change(o.positional[0], [&](repo::Store& store) {
    if (!store.class_exists(o.positional[1]))
      throw repo::Error(WV_NO_SUCH_CLASS, "class '" + std::string(o.positional[1]) + "' does not exist");
    n = store.delete_objects(o.positional[1], o.where);
  });
  std::printf("%" PRIu32 " object(s) deleted\n", n);
  return 0;
}

int status_list(const Args& args) {
  Options o = options(args, false, false, true);
  want(o, 1, 1);
  read(o.positional[0], [&](repo::Store& store) {
    store.list_statuses([&](const repo::StatusEntry& s) {
      if (o.json)
        print_json({{"name", s.name}, {"number", s.number}});
      else
        std::printf("%s %" PRId32 "\n", s.name.c_str(), s.number);
    });
  });
  return 0;
}

int audit(const Args& args) {
  Options o = options(args, false, false, true);
  want(o, 1, 1);
  read(o.positional[0], [&](repo::Store& store) {
    store.list_audit([&](const repo::AuditEntry& a) {
      std::string uuid = a.uuid ? repo::uuid_text(*a.uuid) : std::string();
      const std::string &time = a.time, &user = a.user, &action = a.action, &name = a.name,
                        &from = a.from, &to = a.to;
      if (o.json)
        print_json({{"time", time}, {"user", user}, {"action", action}, {"uuid", uuid},
                    {"name", name}, {"from", from}, {"to", to}});
      else
        std::printf("%s %s %s %s '%s' %s -> %s\n", time.c_str(), user.c_str(), action.c_str(),
                    uuid.c_str(), name.c_str(), from.c_str(), to.c_str());
    });
  });
  return 0;
}

struct Command {
  const char* word1;
  const char* word2;  // nullptr: a one-word command
  int (*run)(const Args&);
};

constexpr Command kCommands[] = {
    {"setup", nullptr, setup},          {"create", nullptr, create},
    {"attach", nullptr, attach},
    {"user", "add", user_add},          {"class", "add", class_add},
    {"class", "list", class_list},      {"class", "drop", class_drop},
    {"import", nullptr, import},        {"object", "add", object_add},
    {"object", "list", object_list},    {"object", "del", object_del},
    {"status", "list", status_list},    {"audit", nullptr, audit},
};

}  // namespace

int main(int argc, char** argv) {
  Args words(argv + 1, argv + argc);
  for (const Command& c : kCommands) {
    size_t used = c.word2 ? 2 : 1;
    if (words.size() < used || words[0] != c.word1 || (c.word2 && words[1] != c.word2)) continue;
    try {
      return c.run(Args(words.begin() + static_cast<long>(used), words.end()));
    } catch (const UsageError& e) {
      std::fprintf(stderr, "wvrepo: %s\n%s", e.what(), kUsage);
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "wvrepo: %s\n", e.what());
      return 1;
    }
  }
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}
