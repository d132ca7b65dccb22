#include "association.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "housekeeping.h"
#include "lookahead.h"
#include "platform/rpc_uuid.h"
#include "reclassify.h"
#include "rules.h"

namespace orxdetect {
namespace {

constexpr int32_t kPropertyListCapacity = 20;
constexpr std::string_view kUnispaceSuffix = "-Unispace";

// Our own remarks go to standard error, after what the console has so far.
[[gnu::format(printf, 1, 2)]] void note(const char* format, ...) {
  std::fflush(stdout);
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

// The text form of the current object's "uuid" value; empty when the value
// cannot be converted. `bad` is printed when the text cannot be made.
std::string uuid_text(const tng::RepositorySession::Property& property, Run& run, To to,
                      const char* bad) {
  if (property.type != WV_TYPE_UUID) return {};
  UUID binary{};
  if (UuidValueToBinary(property.value, binary.bytes) != WV_OK) return {};
  char* text = nullptr;
  if (UuidToStringA(&binary, &text) != RPC_S_OK) {
    run.out.say(to, "%s", bad);
    return {};
  }
  std::string copy(text);
  RpcStringFreeA(&text);
  return copy;
}

bool fetch_or_report(Run& run, bool& failed) {
  const auto fetch = run.session.next_object();
  failed = false;
  if (fetch.outcome == tng::RepositorySession::Fetch::Object) return true;
  if (fetch.outcome == tng::RepositorySession::Fetch::Failed) {
    tng::report_fetch_failed(run.out, fetch.rc);
    failed = true;
  }
  return false;
}

void association_pass(Run& run, const AssociationClass& server_class, Walk& walk,
                      std::size_t pass, const std::vector<Board>& boards, TempFiles& files,
                      std::vector<Match>& matches) {
  const int length = static_cast<int>(server_class.name.size());
  const char* class_name = server_class.name.data();
  const auto query = walk.begin(pass);
  if (!tng::report_query(run.out, server_class.name, query)) return;
  run.out.say(To::ConsoleAndLog, "\nChecking %.*s objects found lights out devices.\n", length,
              class_name);
  for (uint32_t index = 0; index < query.count; ++index) {
    walk.fill();
    const AheadObject object = walk.take(pass);
    DeviceTarget target;
    if (!print_device_target(run, object, target)) return;
    const DeviceTarget* server = &target;
    const LightsOutAddress& lights_out = object.probe->lights_out_address();
    report_contact(run, lights_out.contact, lights_out.end_failed, server->name);
    if (lights_out.malformed)
      note("orxdetect: %s: the lights-out address answer is not four octets; the server is "
           "skipped\n",
           server->name.c_str());
    if (!lights_out.address) continue;
    const std::string& address = *lights_out.address;
    run.out.say(To::ConsoleAndLog, "Server's Lights Out Address: %s\n\n", address.c_str());

    // One server can carry several boards of the same address.
    for (const Board& board : boards) {
      if (board.address != address || board.uuid.empty()) continue;
      Match match{server->name + std::string(kUnispaceSuffix), board.name, address, board.uuid,
                  std::nullopt};
      if (tng::preview::active()) {
        tng::preview::Evidence& evidence = match.evidence.emplace();
        evidence.address = server->address;
        evidence.questions = object.probe->answers();
        evidence.rule_class = server_class.name;
        evidence.rule_entry = "the server's lights-out address " + address +
                              " is the address of the board " + board.name;
      }
      files.matches.write("%s %s %s %s\n", match.unispace_name.c_str(), match.board_name.c_str(),
                          match.address.c_str(), match.board_uuid.c_str());
      if (server_class.prints_matches)
        run.out.say(To::Console, "Remote Vistrel %.*s: %s, %s, %s, %s\n", length, class_name,
                    match.unispace_name.c_str(), match.board_name.c_str(), match.address.c_str(),
                    match.board_uuid.c_str());
      matches.push_back(std::move(match));
    }
    files.matches.flush();
  }
}

// The UUID of a text made by this run; false when it does not convert.
bool uuid_from_text(const std::string& text, UUID& uuid) {
  return UuidFromStringA(text.c_str(), &uuid) == RPC_S_OK;
}

// A property list for one object, freed on scope exit.
class PropertyList {
 public:
  WV_RC allocate() { return TNGWV_ObjectPropertyList_Allocate(&list_, kPropertyListCapacity); }
  ~PropertyList() {
    if (list_ != nullptr) ObjectPropertyListFree(&list_);
  }
  void add_text(const char* property, std::string_view text) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_TEXT, static_cast<uint32_t>(text.size()),
                              text.data(), 0);
  }
  void add_integer(const char* property, int32_t value) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_INTEGER, sizeof value, &value, 0);
  }
  void add_uuid(const char* property, const UUID& uuid) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_UUID, sizeof uuid.bytes, uuid.bytes, 0);
  }
  WV_PROPERTY_LIST get() const { return list_; }

 private:
  WV_PROPERTY_LIST list_ = nullptr;
};

}  // namespace

bool TempFile::create() {
  close();
  // A file of that name that this run did not make is emptied and used, but
  // never removed.
  file_ = std::fopen(path_.c_str(), "w+x");
  if (file_ != nullptr && !created_) {
    created_ = true;
    remove_on_interrupt_.watch(path_);
  }
  if (file_ == nullptr) file_ = std::fopen(path_.c_str(), "w+");
  return file_ != nullptr;
}

void TempFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TempFile::discard() {
  close();
  if (created_) std::remove(path_.c_str());
  remove_on_interrupt_.release();
  created_ = false;
}

void TempFile::write(const char* format, ...) {
  if (file_ == nullptr) return;
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file_, format, arguments);
  va_end(arguments);
}

void TempFile::flush() {
  if (file_ != nullptr) std::fflush(file_);
}

bool open_temporary_files(Run& run, TempFiles& files) {
  run.out.say_apart("\nPerforming association of Remote Vistrel devices...\n",
                    "\nPerforming association of Remote Vistrel Devices...\n");
  run.out.say(To::Console,
              "Opening temporary files for qaros assocation: qaros1.log and qaros2.log\n\n");
  if (files.boards.create() && files.matches.create()) return true;
  run.out.say(To::Console, "Error: can't open file.\n");
  return false;
}

std::optional<std::vector<Board>> list_boards(Run& run, TempFiles& files) {
  if (!begin_class_pass(run, "Orvex_RemoteVistrel", "name,address,uuid")) return std::nullopt;
  std::vector<Board> boards;
  const uint32_t count = run.session.count();
  for (uint32_t index = 0; index < count; ++index) {
    bool failed = false;
    if (!fetch_or_report(run, failed)) {
      if (failed) return std::nullopt;
      break;
    }
    const auto name = run.session.read_property("name");
    if (name.rc != WV_OK) break;
    Board board;
    board.name = tng::property_text(name, "name");
    const auto address = run.session.read_property("address");
    if (address.rc != WV_OK) {
      run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", address.rc);
      break;
    }
    board.address = tng::property_text(address, "address");
    const auto uuid = run.session.read_property("uuid");
    if (uuid.rc != WV_OK) {
      run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", uuid.rc);
      break;
    }
    board.uuid = uuid_text(uuid, run, To::Console, "Bad Uuid.\n");
    files.boards.write("%s %s %s\n", board.name.c_str(), board.address.c_str(),
                       board.uuid.c_str());
    run.out.say(To::Console, "Remote Vistrel Info: %s, %s, %s\n", board.name.c_str(),
                board.address.c_str(), board.uuid.c_str());
    if (board.uuid.empty())
      note("orxdetect: the board %s has no usable uuid; it is not linked to a server\n",
           board.name.c_str());
    boards.push_back(std::move(board));
  }
  files.boards.flush();
  return boards;
}

std::vector<Match> associate_servers(Run& run, const std::vector<Board>& boards,
                                     TempFiles& files) {
  std::vector<const AssociationClass*> classes;
  std::vector<WalkPass> passes;
  Questions questions;
  questions.lights_out_address = true;
  questions.keep_answers = tng::preview::active();
  for (const AssociationClass& server_class : kAssociationClasses) {
    if (!run.all_systems && server_class.modes == Modes::AllSystemsOnly) continue;
    classes.push_back(&server_class);
    passes.push_back({server_class.name, questions});
  }
  // The board list's list and criteria go first, as the first query would
  // release them.
  run.session.end_pass();
  Walk walk = make_walk(run, std::move(passes));
  std::vector<Match> matches;
  for (std::size_t pass = 0; pass < classes.size(); ++pass) {
    association_pass(run, *classes[pass], walk, pass, boards, files, matches);
    walk.finish(pass);
  }
  return matches;
}

bool reuse_board_file(Run& run, TempFiles& files) {
  files.boards.close();
  if (files.boards.create()) return true;
  run.out.say(To::Console, "Error: can't open file.\n");
  return false;
}

std::optional<std::vector<UnispaceLink>> match_unispace(Run& run, const std::vector<Match>& matches,
                                                        TempFiles& files) {
  // The Unispace objects are announced without their count.
  if (!begin_class_pass(run, "Unispace", "name,uuid", false)) return std::nullopt;
  run.out.say_apart("\nChecking Unispace objects...\n", "\nChecking Unispace Objects...");
  std::vector<UnispaceLink> links;
  const uint32_t count = run.session.count();
  for (uint32_t index = 0; index < count; ++index) {
    bool failed = false;
    if (!fetch_or_report(run, failed)) {
      if (failed) return std::nullopt;
      break;
    }
    const auto name = run.session.read_property("name");
    if (name.rc != WV_OK) break;
    const std::string unispace_name = tng::property_text(name, "name");
    if (name.type == WV_TYPE_TEXT)
      run.out.say(To::ConsoleAndLog, "Unispace name to use for query: %s\n", unispace_name.c_str());
    const auto uuid = run.session.read_property("uuid");
    if (uuid.rc != WV_OK) {
      run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", uuid.rc);
      break;
    }
    const std::string unispace_uuid = uuid_text(uuid, run, To::ConsoleAndLog, "Bad UUID.\n");
    run.out.say(To::ConsoleAndLog, "Unispace UUID: %s\n", unispace_uuid.c_str());

    for (const Match& match : matches) {
      if (match.unispace_name != unispace_name) continue;
      if (unispace_uuid.empty()) {
        note("orxdetect: the Unispace object %s has no usable uuid; the board %s is not linked\n",
             unispace_name.c_str(), match.board_name.c_str());
        continue;
      }
      UnispaceLink link{unispace_name, match.address, unispace_uuid, match.board_uuid,
                        match.evidence};
      files.boards.write("%s %s %s %s\n", link.unispace_name.c_str(), link.board_address.c_str(),
                         link.unispace_uuid.c_str(), link.board_uuid.c_str());
      links.push_back(std::move(link));
    }
  }
  files.boards.flush();
  return links;
}

bool create_inclusions(Run& run, const std::vector<UnispaceLink>& links) {
  for (const UnispaceLink& link : links) {
    PropertyList properties;
    if (const WV_RC rc = properties.allocate(); rc != WV_OK) {
      run.out.say(To::Console, "TNGWV_ObjectPropertyList_Allocate fails! rc = %d\n", rc);
      return false;
    }
    UUID uuid{};
    if (UuidCreate(&uuid) == RPC_S_UUID_NO_ADDRESS) {
      run.out.say(To::Console, "Could not create UUID!\n");
      return false;
    }
    UUID parent{};
    UUID child{};
    if (!uuid_from_text(link.unispace_uuid, parent) || !uuid_from_text(link.board_uuid, child)) {
      note("orxdetect: the uuid texts of %s and its board do not convert; no inclusion object "
           "was made for them\n",
           link.unispace_name.c_str());
      continue;
    }
    properties.add_uuid("uuid", uuid);
    properties.add_text("class_name", kInclusionClass);
    properties.add_uuid("parent_uuid", parent);
    properties.add_uuid("child_uuid", child);
    properties.add_text("parent_class", kInclusionParentClass);
    properties.add_text("child_class", kInclusionChildClass);
    properties.add_integer("child_sequence_no", kInclusionSequenceNo);
    properties.add_integer("parent_sequence_no", kInclusionSequenceNo);
    const std::string inclusion(kInclusionClass);
    if (link.evidence) tng::preview::decide(*link.evidence);
    if (const WV_RC rc = TNGWV_Object_Create(run.session.repository(), inclusion.c_str(),
                                             properties.get());
        rc != WV_OK) {
      run.out.say(To::Console, "TNGWV_Object_Create Fails! rc = %d\n", rc);
      return false;
    }
    run.out.console("%s: new inclusion object created successfully.\n", link.unispace_name.c_str());
    run.out.log("%s: new QAROS inclusion object created successfully.\n",
                link.unispace_name.c_str());
  }
  return true;
}

}  // namespace orxdetect
