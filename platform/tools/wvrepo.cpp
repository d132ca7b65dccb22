// wvrepo: the administrator's command for the framework install and its
// repositories. The command line is defined with CLI11 (main, at the end);
// `wvrepo --help` lists the commands, `wvrepo COMMAND --help` explains one.
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "admin.h"
#include "plan_commands.h"
#include "platform/console.h"
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/json.h"
#include "platform/process.h"
#include "platform/wvapi.h"
#include "repository.h"
#include "serve.h"
#include "tool_help.h"

namespace repo = tng::repo;
namespace fs = std::filesystem;

namespace {

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

void print_json(const tng::json::Object& line) {
  std::fputs(tng::json::line(line).c_str(), stdout);
}

// ---- Arguments ----

// PROP=text, PROP:int=N or PROP:uuid=U.
repo::Test typed_value(std::string_view word) {
  size_t eq = word.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw UsageError("expected PROP=VALUE, PROP:int=N or PROP:uuid=U, got '" + std::string(word) +
                     "'");
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

// One command's parsed words: its positional arguments in order, and its
// options.
struct Options {
  std::vector<std::string_view> positional;
  std::vector<repo::Test> where;
  std::optional<std::string> parent;
  std::optional<std::string> server;
  std::optional<std::string> user;
  bool json = false;
  tng::web::ServeOptions serve;
  bool evidence = false;
  bool skip_changed = false;
};

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

int setup(const Options&) {
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
    tng::diag::say(
        "warning: the install path %s is longer than %zu characters; the suite's tools cannot "
        "use it (choose a shorter TNG_HOME)\n",
        install.c_str(), kInstallPathLimit);
  write_home_file(home / "registry.ini",
                  "[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]\n"
                  "InstallPath=" +
                      install.string() +
                      "\n\n"
                      "[SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies]\n"
                      "InstallPath=" +
                      agent.string() + "\n",
                  complete_registry);
  write_home_file(gateway / "gwclass.dat", kDefaultGatewayClasses, complete_class_list);
  fs::path cawto = repo::own_folder() / "cawto";
  std::string program;
  int error = tng::files::read_all(cawto, program);
  if (error == 0) {
    if (int e = tng::files::replace(nsm / "bin" / "cawto", program, 0755))
      cannot_write(nsm / "bin" / "cawto", e);
  } else {
    tng::diag::say("note: no cawto beside wvrepo; %s is left without it\n", (nsm / "bin").c_str());
  }
  std::printf("Framework home ready: %s\n", home.c_str());
  return 0;
}

// ---- commands ----

int create(const Options& o) {
  repo::create_repository(o.positional[0], o.server);
  std::printf("Repository %.*s created\n", static_cast<int>(o.positional[0].size()),
              o.positional[0].data());
  return 0;
}

int attach(const Options& o) {
  repo::attach_repository(o.positional[0], *o.server);
  std::printf("Repository %.*s attached\n", static_cast<int>(o.positional[0].size()),
              o.positional[0].data());
  return 0;
}

int user_add(const Options& o) {
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
  change(o.positional[0],
         [&](repo::Store& store) { repo::set_user(store, o.positional[1], *password); });
  return 0;
}

int class_add(const Options& o) {
  change(o.positional[0],
         [&](repo::Store& store) { store.add_class(o.positional[1], o.parent.value_or("")); });
  return 0;
}

int class_list(const Options& o) {
  read(o.positional[0], [&](repo::Store& store) {
    store.list_classes([&](const repo::ClassEntry& c) {
      if (o.json)
        print_json(
            {{"name", c.name},
             {"parent", c.parent ? tng::json::Object(*c.parent) : tng::json::Object(nullptr)}});
      else
        std::printf("%s%s%s\n", c.name.c_str(), c.parent ? " " : "",
                    c.parent ? c.parent->c_str() : "");
    });
  });
  return 0;
}

int class_drop(const Options& o) {
  change(o.positional[0], [&](repo::Store& store) { store.drop_class(o.positional[1]); });
  return 0;
}

int import(const Options& o) {
  repo::ApplyReport r = repo::import_class_file(o.positional[0], std::string(o.positional[1]));
  std::printf("%d class(es) added, %d dropped\n", r.added, r.dropped);
  return 0;
}

// The properties of a new object from its PROP=VALUE words.
template <typename Words>
std::vector<repo::Test> new_properties(const Words& words) {
  std::vector<repo::Test> items;
  for (std::string_view word : words) {
    repo::Test t = typed_value(word);
    for (const repo::Test& other : items)
      if (other.property == t.property)
        throw UsageError("property '" + t.property + "' given twice");
    items.push_back(std::move(t));
  }
  return items;
}

int object_add(const Options& o) {
  const std::vector<repo::Test> items = new_properties(std::span(o.positional).subspan(2));
  repo::Uuid made{};
  change(o.positional[0],
         [&](repo::Store& store) { made = store.create_object(o.positional[1], items); });
  std::printf("%s\n", repo::uuid_text(made).c_str());
  return 0;
}

// One object of a load file: its class and properties.
struct NewObject {
  std::string cls;
  std::vector<repo::Test> items;
  size_t line;  // where the load file names it
};

// The objects of a load file: a line an object, CLASS and then its
// PROP=VALUE words, separated by tabs (a value may hold blanks); blank
// lines are skipped. A line that cannot be read is refused with its number.
std::vector<NewObject> load_file(const std::string& path) {
  std::string text;
  if (int error = tng::files::read_all(path == "-" ? "/dev/stdin" : path, text); error != 0)
    throw repo::Error(repo::kFailed, "cannot read " + (path == "-" ? "standard input" : path) +
                                         ": " + tng::files::error_text(error));
  std::vector<NewObject> objects;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    std::vector<std::string_view> words;
    for (size_t from = 0;;) {
      const size_t tab = line.find('\t', from);
      words.push_back(line.substr(from, tab - from));
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
    try {
      if (line.find('\0') != std::string_view::npos) throw UsageError("the line holds a NUL byte");
      if (words[0].empty()) throw UsageError("no class");
      objects.push_back(
          {std::string(words[0]), new_properties(std::span(words).subspan(1)), number});
    } catch (const UsageError& e) {
      throw UsageError(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  return objects;
}

int object_load(const Options& o) {
  const std::string path(o.positional[1]);
  const std::vector<NewObject> objects = load_file(path);
  std::vector<repo::Uuid> made;
  made.reserve(objects.size());
  change(o.positional[0], [&](repo::Store& store) {
    for (const NewObject& object : objects) try {
        made.push_back(store.create_object(object.cls, object.items));
      } catch (const repo::Error& e) {
        throw repo::Error(e.code(), path + ":" + std::to_string(object.line) + ": " + e.what());
      }
  });
  for (const repo::Uuid& uuid : made) std::printf("%s\n", repo::uuid_text(uuid).c_str());
  return 0;
}

int object_list(const Options& o) {
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

int object_del(const Options& o) {
  uint32_t n = 0;
  change(o.positional[0], [&](repo::Store& store) {
    if (!store.class_exists(o.positional[1]))
      throw repo::Error(WV_NO_SUCH_CLASS,
                        "class '" + std::string(o.positional[1]) + "' does not exist");
    n = store.delete_objects(o.positional[1], o.where);
  });
  std::printf("%" PRIu32 " object(s) deleted\n", n);
  return 0;
}

int status_list(const Options& o) {
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

int audit(const Options& o) {
  read(o.positional[0], [&](repo::Store& store) {
    store.list_audit([&](const repo::AuditEntry& a) {
      std::string uuid = a.uuid ? repo::uuid_text(*a.uuid) : std::string();
      const std::string &time = a.time, &user = a.user, &action = a.action, &name = a.name,
                        &from = a.from, &to = a.to;
      if (o.json)
        print_json({{"time", time},
                    {"user", user},
                    {"action", action},
                    {"uuid", uuid},
                    {"name", name},
                    {"from", from},
                    {"to", to}});
      else
        std::printf("%s %s %s %s '%s' %s -> %s\n", time.c_str(), user.c_str(), action.c_str(),
                    uuid.c_str(), name.c_str(), from.c_str(), to.c_str());
    });
  });
  return 0;
}

int serve(const Options& o) {
  tng::web::ServeOptions options = o.serve;
  options.repository = o.positional[0];
  try {
    return tng::web::serve(options);
  } catch (const tng::web::ServeUsageError& e) {
    throw UsageError(e.what());
  }
}

// ---- plans ----

int plan_show(const Options& o) {
  return tng::tools::show_plan(std::string(o.positional[0]), o.evidence);
}

int plan_apply(const Options& o) {
  return tng::tools::apply_plan({.repository = std::string(o.positional[0]),
                                 .path = std::string(o.positional[1]),
                                 .user = *o.user,
                                 .skip_changed = o.skip_changed});
}

// ---- Command line ----

// One command of the command line: its CLI11 subcommand, the storage its
// words are parsed into, and the function that runs it.
struct Command {
  CLI::App* app = nullptr;
  int (*run)(const Options&) = nullptr;
  std::vector<std::string*> positional;  // in order; unset ones are left out
  std::vector<CLI::Option*> positional_options;
  std::vector<std::string> where;
  std::string parent, server, tls_cert, tls_key;
  CLI::Option* parent_option = nullptr;
  CLI::Option* server_option = nullptr;
  std::string user;
  CLI::Option* user_option = nullptr;
  bool json = false;
  bool evidence = false;
  bool skip_changed = false;
  std::vector<std::string> rest;  // object add: PROP=VALUE...
  tng::web::ServeOptions serve;   // serve: its options, as given
  CLI::Option* tls_cert_option = nullptr;
  CLI::Option* tls_key_option = nullptr;
};

class CommandLine {
 public:
  CommandLine()
      : app_("The administrator's command for the framework home and its repositories.", "wvrepo") {
    app_.set_version_flag(
        "--version", std::string("wvrepo (") + tng::build::kPackage + ") " + tng::build::kVersion);
    app_.require_subcommand(1);
    app_.footer("See wvrepo(1) for the details; 'wvrepo COMMAND --help' for one command.");

    command(app_, "setup", "Make the framework home ($TNG_HOME, default ~/.tng) ready", setup);
    Command& create_cmd = command(app_, "create", "Create a repository", create, {"REPO"});
    server(create_cmd, "Create it in the PostgreSQL database CONNINFO names", false);
    Command& attach_cmd =
        command(app_, "attach", "Register a repository that exists on a server in this home",
                attach, {"REPO"});
    server(attach_cmd, "The PostgreSQL database that holds it", true);

    CLI::App* user = group("user", "Repository users");
    command(*user, "add", "Add a user, or set the password of one (read from standard input)",
            user_add, {"REPO", "USER"});

    CLI::App* cls = group("class", "Classes of a repository");
    Command& class_add_cmd = command(*cls, "add", "Add a class", class_add, {"REPO", "CLASS"});
    class_add_cmd.parent_option =
        class_add_cmd.app->add_option("--parent", class_add_cmd.parent, "The parent class");
    json(command(*cls, "list", "List the classes and their parents", class_list, {"REPO"}));
    command(*cls, "drop", "Drop a class that holds no objects", class_drop, {"REPO", "CLASS"});

    command(app_, "import", "Apply a class definition file in one transaction", import,
            {"REPO", "FILE"});

    CLI::App* object = group("object", "Objects of a repository");
    Command& add =
        command(*object, "add", "Add an object; prints its uuid", object_add, {"REPO", "CLASS"});
    add.app->add_option("PROP=VALUE", add.rest,
                        "Properties: PROP=text, PROP:int=N, PROP:uuid=U (a uuid is made when "
                        "none is given)");
    command(*object, "load",
            "Add the objects of FILE (- for standard input) in one change; prints their uuids. "
            "A line an object: CLASS, then PROP=VALUE words as for 'add', separated by tabs",
            object_load, {"REPO", "FILE"});
    Command& list = command(*object, "list", "List objects", object_list, {"REPO"}, {"CLASS"});
    where(list);
    json(list);
    where(command(*object, "del", "Delete objects", object_del, {"REPO", "CLASS"}));

    CLI::App* status = group("status", "Status names");
    json(
        command(*status, "list", "List the status names and their numbers", status_list, {"REPO"}));
    json(command(app_, "audit", "Show the audit trail", audit, {"REPO"}));

    Command& serve_cmd =
        command(app_, "serve", "Serve a read-only web view of the repository until stopped", serve,
                {"REPO"});
    serve_cmd.app
        ->add_option("--listen", serve_cmd.serve.listen,
                     "ADDRESS:PORT to listen on (default 127.0.0.1:8321; port 0: any free port). "
                     "An address that is not loopback needs --tls-cert and --tls-key")
        ->option_text("ADDR:PORT");
    serve_cmd.tls_cert_option = serve_cmd.app->add_option(
        "--tls-cert", serve_cmd.tls_cert, "Serve HTTPS only, with this certificate (PEM)");
    serve_cmd.tls_cert_option->option_text("FILE");
    serve_cmd.tls_key_option = serve_cmd.app->add_option("--tls-key", serve_cmd.tls_key,
                                                         "The certificate's private key (PEM)");
    serve_cmd.tls_key_option->option_text("FILE");
    CLI::App* plan = group("plan", "Plans that preview runs wrote (TNG_PREVIEW=PLANFILE)");
    Command& show = command(*plan, "show", "List a plan's changes by kind and target class",
                            plan_show, {"PLANFILE"});
    show.app->add_flag("--evidence", show.evidence,
                       "Show each change's evidence: the device asked, the questions and "
                       "answers, the rule that decided");
    Command& apply = command(*plan, "apply",
                             "Make exactly the plan's changes in one transaction, if every "
                             "object it names is as the preview saw it (the password is read "
                             "from standard input)",
                             plan_apply, {"REPO", "PLANFILE"});
    apply.user_option =
        apply.app->add_option("--user", apply.user, "The user the changes are made as")
            ->required()
            ->option_text("NAME");
    apply.app->add_flag("--skip-changed", apply.skip_changed,
                        "Apply the changes of the objects that did not change, list the others");
  }

  // Parses the command line and runs the command; the exit code.
  int run(int argc, char** argv) {
    try {
      app_.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help, --help-all, --version
      return app_.exit(e);
    } catch (const CLI::ParseError& e) {
      tng::diag::say("%s\nRun 'wvrepo --help' for the commands.\n", e.what());
      return 2;
    }
    for (Command& c : commands_) {
      if (!c.app->parsed()) continue;
      try {
        return c.run(options_of(c));
      } catch (const UsageError& e) {
        tng::diag::say("%s\nRun 'wvrepo --help' for the commands.\n", e.what());
        return 2;
      } catch (const std::exception& e) {
        tng::diag::say("%s\n", e.what());
        return 1;
      }
    }
    std::fputs(app_.help().c_str(), stderr);
    return 2;
  }

 private:
  CLI::App* group(const char* name, const char* description) {
    CLI::App* g = app_.add_subcommand(name, description);
    g->require_subcommand(1);
    return g;
  }

  Command& command(CLI::App& parent, const char* name, const char* description,
                   int (*run)(const Options&), const std::vector<const char*>& required = {},
                   const std::vector<const char*>& optional = {}) {
    Command& c = commands_.emplace_back();
    c.app = parent.add_subcommand(name, description);
    c.run = run;
    for (const char* word : required) {
      std::string* value = &storage_.emplace_back();
      c.positional.push_back(value);
      c.positional_options.push_back(c.app->add_option(word, *value)->required());
    }
    for (const char* word : optional) {
      std::string* value = &storage_.emplace_back();
      c.positional.push_back(value);
      c.positional_options.push_back(c.app->add_option(word, *value));
    }
    return c;
  }

  static void server(Command& c, const char* description, bool required) {
    c.server_option = c.app->add_option("--server", c.server, description);
    c.server_option->option_text("CONNINFO");
    if (required) c.server_option->required();
  }
  static Command& json(Command& c) {
    c.app->add_flag("--json", c.json, "One JSON object a line");
    return c;
  }
  static Command& where(Command& c) {
    // One PROP=VALUE after each --where; it may be given many times.
    c.app
        ->add_option("--where", c.where,
                     "Only objects whose property has this value "
                     "(PROP=text, PROP:int=N, PROP:uuid=U)")
        ->allow_extra_args(false)
        ->option_text("PROP=VALUE");
    return c;
  }

  static Options options_of(const Command& c) {
    Options o;
    for (std::size_t i = 0; i < c.positional.size(); ++i)
      if (c.positional_options[i]->count() > 0) o.positional.emplace_back(*c.positional[i]);
    for (const std::string& w : c.rest) o.positional.emplace_back(w);
    for (const std::string& w : c.where) o.where.push_back(typed_value(w));
    if (c.parent_option && c.parent_option->count() > 0) o.parent = c.parent;
    if (c.server_option && c.server_option->count() > 0) o.server = c.server;
    if (c.user_option && c.user_option->count() > 0) o.user = c.user;
    o.json = c.json;
    o.serve = c.serve;
    if (c.tls_cert_option && c.tls_cert_option->count() > 0) o.serve.tls_cert = c.tls_cert;
    if (c.tls_key_option && c.tls_key_option->count() > 0) o.serve.tls_key = c.tls_key;
    o.evidence = c.evidence;
    o.skip_changed = c.skip_changed;
    return o;
  }

  CLI::App app_;
  std::deque<Command> commands_;
  std::deque<std::string> storage_;
};

}  // namespace

int main(int argc, char** argv) {
  // Passwords typed for `user add`, the users' password hashes, and the
  // password a server repository is reached with.
  tng::process::forbid_core_dumps();
  // What run() leaves to this: memory running out while the command line is
  // set up or its help printed.
  try {
    CommandLine command_line;
    return command_line.run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wvrepo: %s\n", e.what());
    return 1;
  }
}
