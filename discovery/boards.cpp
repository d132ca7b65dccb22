// The board list: the Orvex_RemoteVistrel objects, with their addresses
// and uuids.
#include "association.h"
#include "foundation/report.h"
#include "object_reads.h"
#include "platform/diag.h"
#include "reclassify.h"

namespace orxdetect {

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
    files.boards.write("%s %s %s\n", board.name.c_str(), board.address.c_str(), board.uuid.c_str());
    run.out.say(To::Console, "Remote Vistrel Info: %s, %s, %s\n", board.name.c_str(),
                board.address.c_str(), board.uuid.c_str());
    if (board.uuid.empty())
      tng::diag::say("the board %s has no usable uuid; it is not linked to a server\n",
                     board.name.c_str());
    boards.push_back(std::move(board));
  }
  files.boards.flush();
  return boards;
}

}  // namespace orxdetect
