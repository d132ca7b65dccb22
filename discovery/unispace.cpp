// The Unispace match list: the matched servers paired with their Unispace
// objects.
#include "association.h"
#include "foundation/report.h"
#include "object_reads.h"
#include "platform/diag.h"
#include "reclassify.h"

namespace orxdetect {

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
        tng::diag::say("the Unispace object %s has no usable uuid; the board %s is not linked\n",
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

}  // namespace orxdetect
