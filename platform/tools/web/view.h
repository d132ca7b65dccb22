// What the web view reads from a repository, for its pages and its JSON
// API alike: every read is bounded (a page of rows, found by a cursor, never
// by an offset) and runs in the caller's read transaction.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "repository.h"

namespace tng::web {

// The most rows one page or API call hands out, and the rows of a page.
inline constexpr size_t kMaxLimit = 1000;
inline constexpr size_t kPageRows = 100;

// A property's value as text: the text itself, an integer in decimal, a
// uuid in its usual form.
std::string value_text(const repo::Test& value);
// The object's text property `name` (empty when it has none).
std::string_view text_property(const repo::ObjectRow& row, std::string_view name);

// Classes whose names start with these are the product's own.
inline constexpr std::string_view kOrvexPrefix = "Orvex_";
inline constexpr std::string_view kPellionPrefix = "Pellion_";

std::vector<repo::ClassCount> class_counts(repo::Store& store);

// One page of rows and the cursor of the next one (nullopt: none).
template <typename Row>
struct Page {
  std::vector<Row> rows;
  std::optional<int64_t> next;
};

// Objects of one class after the cursor, `limit` of them. Throws
// WV_NO_SUCH_CLASS for a missing class.
//
// With `contains`, only those whose name or address holds that text, and a
// page looks at the class's objects for kFilterTime at most: a filter that
// few objects meet would otherwise read the whole class for one page. Such
// a page may hold fewer than `limit` objects (even none) while `next` says
// where to look on; every object meeting the filter still comes exactly
// once along the pages.
inline constexpr std::chrono::milliseconds kFilterTime{40};
Page<repo::ObjectRow> objects_of(repo::Store& store, std::string_view class_name, int64_t after,
                                 size_t limit, const std::optional<std::string>& contains);

// An Inclusion link of an object to another: the other end, whether the
// other end is the child (the object carries it) or the parent, and the
// other object as it is now (nullopt when it is gone).
struct Link {
  repo::Uuid inclusion{};
  repo::Uuid other{};
  bool other_is_child = false;
  std::optional<repo::ObjectRow> other_row;
};

struct ObjectView {
  repo::ObjectRow object;
  std::vector<repo::AuditEntry> history;  // newest first
  bool more_history = false;
  std::vector<Link> links;
  bool more_links = false;
};
// The object with its audit records and its Inclusion links in both
// directions (up to kMaxLimit of each), or nullopt.
std::optional<ObjectView> object_view(repo::Store& store, const repo::Uuid& uuid);

// The audit trail, newest first: the filters of the page and the API.
// `since` and `until` are days (YYYY-MM-DD), both included.
struct AuditQuery {
  std::optional<std::string> user, class_name, since, until;
  std::optional<int64_t> before;
  size_t limit = 100;
};
Page<repo::AuditEntry> audit_page(repo::Store& store, const AuditQuery& query);

// The day after a YYYY-MM-DD day, or nullopt when the text is not a day of
// the calendar.
std::optional<std::string> day_after(std::string_view day);
bool valid_day(std::string_view day);
// The day `days` days before the given one.
std::string day_minus(std::string_view day, int days);
std::string today();

// One Inclusion object with both of its ends.
struct LinkRow {
  repo::ObjectRow inclusion;
  std::optional<repo::Uuid> parent, child;
  std::optional<repo::ObjectRow> parent_row, child_row;
};
Page<LinkRow> links_page(repo::Store& store, int64_t after, size_t limit);

// Moves (audit records with a target class) per day and target class, from
// `first` (YYYY-MM-DD) to today.
struct Moves {
  std::vector<std::string> days;                                 // every day, oldest first
  std::vector<std::string> classes;                              // target classes, most moves first
  std::map<std::string, std::map<std::string, int64_t>> counts;  // day -> class -> moves
};
Moves moves_per_day(repo::Store& store, const std::string& first, const std::string& last);

}  // namespace tng::web
