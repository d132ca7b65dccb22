// The association passes: every server of the association classes is asked
// for its lights-out address and paired with the boards of that address.
#include "association.h"

#include "inquiry_walk.h"
#include "platform/diag.h"
#include "rules.h"

namespace orxdetect {
namespace {

constexpr std::string_view kUnispaceSuffix = "-Unispace";

void association_pass(Run& run, const AssociationClass& server_class, Walk& walk, std::size_t pass,
                      const std::vector<Board>& boards, TempFiles& files,
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
      tng::diag::say(
          "%s: the lights-out address answer is not four octets; the server is "
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

}  // namespace

std::vector<Match> associate_servers(Run& run, const std::vector<Board>& boards, TempFiles& files) {
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

}  // namespace orxdetect
