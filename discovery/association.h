// Linking lights-out boards to the servers that carry them: the board list,
// the association passes, the matching with the servers' Unispace objects
// and the creation of the inclusion objects.
//
// The records are kept in memory, typed, and matched there; the two
// temporary files receive the same records in their blank-separated line
// format for the record only, so a name with a blank or an empty uuid can
// never shift a field.
//
// One step a file: temporary_files.cpp, boards.cpp, association.cpp (the
// passes over the servers), unispace.cpp, inclusions.cpp; object_reads.h
// holds the reads the board and Unispace lists share.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/preview.h"
#include "run.h"

namespace orxdetect {

// The run's temporary files, in the install directory.
struct TempFiles {
  tng::files::TempFile boards;   // qaros1.log: the board list, later the Unispace match list
  tng::files::TempFile matches;  // qaros2.log: servers matched with boards
};

struct Board {
  std::string name;
  std::string address;
  std::string uuid;  // text form; empty when it could not be made
};

struct Match {
  std::string unispace_name;  // the server's name followed by "-Unispace"
  std::string board_name;
  std::string address;  // the lights-out address, equal to the board's
  std::string board_uuid;
  // A preview: what the server was asked and why it is linked to the board.
  std::optional<tng::preview::Evidence> evidence;
};

struct UnispaceLink {
  std::string unispace_name;
  std::string board_address;
  std::string unispace_uuid;
  std::string board_uuid;
  std::optional<tng::preview::Evidence> evidence;
};

// Prints the association lines and creates both temporary files.
bool open_temporary_files(Run& run, TempFiles& files);

// Reads the Orvex_RemoteVistrel objects. Nothing when there are none or the
// list cannot be read: the association ends.
std::optional<std::vector<Board>> list_boards(Run& run, TempFiles& files);

// Asks every server of the association classes for its lights-out address
// and pairs it with the boards of that address.
std::vector<Match> associate_servers(Run& run, const std::vector<Board>& boards, TempFiles& files);

// Empties qaros1.log for the Unispace match list.
bool reuse_board_file(Run& run, TempFiles& files);

// Pairs the matches with the servers' Unispace objects. Nothing when the
// association must end.
std::optional<std::vector<UnispaceLink>> match_unispace(Run& run, const std::vector<Match>& matches,
                                                        TempFiles& files);

// Creates one inclusion object per link. False when the association must end.
bool create_inclusions(Run& run, const std::vector<UnispaceLink>& links);

}  // namespace orxdetect
