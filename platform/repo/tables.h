// The repository's tables (tables.def) as the statements that make them,
// in the dialect of one storage. Only the storages include this file.
#pragma once
#include <string>
#include <string_view>

namespace tng::repo {

enum class ColumnType {
  kId,         // the row's number, given in order by the storage
  kReference,  // another table's kId
  kText,
  kInteger,
  kBytes,
  kUuid,          // 16 bytes, always
  kOptionalUuid,  // 16 bytes or nothing
  kValue,         // a property value of any of the API's types
};

enum TableFlags : unsigned { kWithoutRowid = 1, kServerOnly = 2 };

struct Dialect {
  // How the storage spells a column of that type (and the column's own
  // checks, which may name it).
  std::string (*type)(ColumnType type, std::string_view column);
  bool server = false;
  // What stands where '@' stands in a table's name.
  std::string prefix;
};

inline std::string table_definitions(const Dialect& d) {
  auto prefixed = [&](std::string_view text) {
    std::string out;
    for (char c : text) {
      if (c == '@')
        out += d.prefix;
      else
        out += c;
    }
    return out;
  };
  std::string sql;
  bool skip = false;
  unsigned flags = 0;
  std::string separator;
#define TNG_TABLE(name, table_flags)                      \
  flags = (table_flags);                                  \
  skip = (flags & kServerOnly) && !d.server;              \
  if (!skip) sql += prefixed("CREATE TABLE @" #name "("); \
  separator = "\n  ";
#define TNG_COLUMN(name, column_type, constraints)                                     \
  if (!skip) {                                                                         \
    std::string spelled = d.type(ColumnType::column_type, #name);                      \
    sql += separator + #name + (spelled.empty() ? "" : " " + spelled) +                \
           (std::string_view(constraints).empty() ? "" : " " + prefixed(constraints)); \
    separator = ",\n  ";                                                               \
  }
#define TNG_KEY(constraint) \
  if (!skip) sql += separator + (constraint);
#define TNG_END_TABLE() \
  if (!skip)            \
    sql +=              \
        std::string(")") + ((flags & kWithoutRowid) && !d.server ? " WITHOUT ROWID" : "") + ";\n";
#define TNG_INDEX(name, table, columns) \
  sql += prefixed("CREATE INDEX " #name " ON @" #table "(" columns ");\n");
#include "tables.def"
#undef TNG_TABLE
#undef TNG_COLUMN
#undef TNG_KEY
#undef TNG_END_TABLE
#undef TNG_INDEX
  return sql;
}

}  // namespace tng::repo
