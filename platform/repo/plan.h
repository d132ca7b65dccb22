// A plan: the changes a previewed run made on its private copy of a
// repository, in the order it made them, as one JSON document (its fields
// are described in the README). The preview writes it (preview.cpp);
// `wvrepo plan show` and `wvrepo plan apply` read it.
#pragma once
#include <string>
#include <vector>

#include "platform/json.h"
#include "types.h"

namespace tng::repo::plan {

// The version of the document's layout, its "format".
inline constexpr int kFormat = 1;

enum class Kind { kMove, kLink, kUnlink, kDelete };
// "move", "link", "unlink", "delete".
const char* kind_name(Kind kind);

// An object as the run saw it, named by a property of another.
struct ObjectRef {
  std::string property;
  Uuid uuid{};
  std::string name;  // empty when it has no text name
  std::string class_name;
};

// The JSON library's move may assert, so clang-tidy sees a throw in the
// implicit moves; it never throws.
struct Change {  // NOLINT(bugprone-exception-escape)
  Kind kind = Kind::kMove;
  Uuid uuid{};
  std::string name;        // the object's text name; empty when it has none
  std::string class_name;  // its class as the run saw it (a move: the class it left)
  std::string to;          // a move: the class it went to
  // Properties the run's decision rested on (the address a device was
  // asked at, the criteria that selected an object for deletion): applying
  // needs them unchanged.
  std::vector<Test> read;
  std::vector<Test> properties;   // a link: every property of the object made
  std::vector<ObjectRef> refers;  // a link: the objects its uuid properties name
  json::Object evidence;          // why the run made it; null when it said nothing
};

struct Plan {
  std::string repository;
  std::string tool;
  std::string time;  // when the plan was written, UTC
  // "sha256:" and the hex SHA-256 of the document's canonical form without
  // this field (every key sorted, no blanks).
  std::string digest;
  std::vector<Change> changes;
};

// The document of the plan, one change a line; sets plan.digest.
std::string document(Plan& plan);

// Reads and checks a plan file. Throws Error (kBadArgument) whose message
// names the file and what is wrong with it: not a plan (not JSON, a field
// missing or of the wrong type), or changed after it was written (its
// digest does not match).
Plan read(const std::string& path);

// A property value as a plan writes it: a text as a string, an integer as
// a number, a uuid as {"uuid": "..."}.
json::Object value_json(const Test& value);
// The value's words for a message or a listing: the text in quotes, the
// number, the uuid.
std::string value_words(const Test& value);

// The text as a plan keeps it: bytes that are not UTF-8 become U+FFFD.
std::string as_written(const std::string& text);

}  // namespace tng::repo::plan
