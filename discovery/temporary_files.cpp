// The association's two temporary files, qaros1.log and qaros2.log.
#include "association.h"

namespace orxdetect {

bool open_temporary_files(Run& run, TempFiles& files) {
  run.out.say_apart("\nPerforming association of Remote Vistrel devices...\n",
                    "\nPerforming association of Remote Vistrel Devices...\n");
  run.out.say(To::Console,
              "Opening temporary files for qaros assocation: qaros1.log and qaros2.log\n\n");
  if (files.boards.create() && files.matches.create()) return true;
  run.out.say(To::Console, "Error: can't open file.\n");
  return false;
}

bool reuse_board_file(Run& run, TempFiles& files) {
  files.boards.close();
  if (files.boards.create()) return true;
  run.out.say(To::Console, "Error: can't open file.\n");
  return false;
}

}  // namespace orxdetect
