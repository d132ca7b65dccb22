#include "view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/wvapi.h"

namespace tng::web {

namespace {

constexpr std::string_view kInclusion = "Inclusion";

repo::Test uuid_test(std::string_view property, const repo::Uuid& uuid) {
  repo::Test t;
  t.property = property;
  t.type = WV_TYPE_UUID;
  t.value.assign(reinterpret_cast<const char*>(uuid.data()), uuid.size());
  return t;
}

std::optional<repo::Uuid> uuid_property(const repo::ObjectRow& row, std::string_view name) {
  const repo::Test* t = row.find(name);
  if (!t || t->type != WV_TYPE_UUID || t->value.size() != 16) return std::nullopt;
  repo::Uuid u{};
  std::memcpy(u.data(), t->value.data(), 16);
  return u;
}

// Reads at most limit + 1 rows through `read`, keeps `limit` and sets the
// cursor of the next page from the last row kept.
template <typename Row, typename Read>
Page<Row> paged(size_t limit, Read read) {
  Page<Row> page;
  read(limit + 1, [&](const Row& row) { page.rows.push_back(row); });
  if (page.rows.size() > limit) {
    page.rows.resize(limit);
    page.next = page.rows.back().id;
  }
  return page;
}

std::string day_text(std::chrono::sys_days day) {
  const std::chrono::year_month_day ymd(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return text;
}

std::optional<std::chrono::sys_days> parse_day(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  auto number = [&](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  const std::chrono::year_month_day ymd{std::chrono::year(number(0, 4)),
                                        std::chrono::month(static_cast<unsigned>(number(5, 2))),
                                        std::chrono::day(static_cast<unsigned>(number(8, 2)))};
  if (!ymd.ok()) return std::nullopt;
  return std::chrono::sys_days(ymd);
}

}  // namespace

std::string value_text(const repo::Test& t) {
  if (t.type == WV_TYPE_INTEGER && t.value.size() == 4) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), 4);
    return std::to_string(v);
  }
  if (t.type == WV_TYPE_UUID && t.value.size() == 16) {
    repo::Uuid u{};
    std::memcpy(u.data(), t.value.data(), 16);
    return repo::uuid_text(u);
  }
  return t.value;
}

std::string_view text_property(const repo::ObjectRow& row, std::string_view name) {
  const repo::Test* t = row.find(name);
  return t && t->type == WV_TYPE_TEXT ? std::string_view(t->value) : std::string_view();
}

std::vector<repo::ClassCount> class_counts(repo::Store& store) {
  std::vector<repo::ClassCount> counts;
  store.count_by_class([&](const repo::ClassCount& c) { counts.push_back(c); });
  return counts;
}

Page<repo::ObjectRow> objects_of(repo::Store& store, std::string_view class_name, int64_t after,
                                 size_t limit, const std::optional<std::string>& contains) {
  if (!store.class_exists(class_name))
    throw repo::Error(WV_NO_SUCH_CLASS, "class '" + std::string(class_name) + "' does not exist");
  if (!contains)
    return paged<repo::ObjectRow>(limit, [&](size_t n, const auto& each) {
      repo::ObjectFilter filter;
      filter.class_name = std::string(class_name);
      filter.after = after;
      filter.limit = n;
      store.list_objects(filter, each);
    });
  // The class is read in chunks, and the filter applied here, so that the
  // reading can stop when the page is full or its time is up.
  constexpr size_t kChunk = 500;
  auto holds = [&](const repo::ObjectRow& row) {
    for (const char* property : {"name", "address"}) {
      const repo::Test* t = row.find(property);
      if (t && t->type == WV_TYPE_TEXT && t->value.find(*contains) != std::string::npos)
        return true;
    }
    return false;
  };
  Page<repo::ObjectRow> page;
  const auto start = std::chrono::steady_clock::now();
  int64_t cursor = after;
  for (;;) {
    size_t seen = 0;
    bool full = false;
    repo::ObjectFilter filter;
    filter.class_name = std::string(class_name);
    filter.after = cursor;
    filter.limit = kChunk;
    store.list_objects(filter, [&](const repo::ObjectRow& row) {
      ++seen;
      if (full) return;  // read, but left for the next page
      cursor = row.id;
      if (!holds(row)) return;
      page.rows.push_back(row);
      full = page.rows.size() == limit;
    });
    if (full || (seen == kChunk && std::chrono::steady_clock::now() - start >= kFilterTime)) {
      page.next = cursor;
      break;
    }
    if (seen < kChunk) break;  // the end of the class
  }
  return page;
}

std::optional<ObjectView> object_view(repo::Store& store, const repo::Uuid& uuid) {
  std::optional<repo::ObjectRow> object = store.find_object(uuid);
  if (!object) return std::nullopt;
  ObjectView view;
  view.object = std::move(*object);

  repo::AuditFilter history;
  history.uuid = uuid;
  history.newest_first = true;
  history.limit = kMaxLimit + 1;
  store.list_audit(history, [&](const repo::AuditEntry& a) { view.history.push_back(a); });
  if (view.history.size() > kMaxLimit) {
    view.history.resize(kMaxLimit);
    view.more_history = true;
  }

  if (store.class_exists(kInclusion)) {
    for (bool as_parent : {true, false}) {
      repo::ObjectFilter filter;
      filter.class_name = std::string(kInclusion);
      filter.tests.push_back(uuid_test(as_parent ? "parent_uuid" : "child_uuid", uuid));
      filter.limit = kMaxLimit + 1;
      size_t seen = 0;
      store.list_objects(filter, [&](const repo::ObjectRow& inclusion) {
        if (++seen > kMaxLimit) {
          view.more_links = true;
          return;
        }
        std::optional<repo::Uuid> other =
            uuid_property(inclusion, as_parent ? "child_uuid" : "parent_uuid");
        if (!other) return;
        view.links.push_back(Link{inclusion.uuid, *other, as_parent, std::nullopt});
      });
    }
    for (Link& link : view.links) link.other_row = store.find_object(link.other);
  }
  return view;
}

bool valid_day(std::string_view day) { return parse_day(day).has_value(); }

std::optional<std::string> day_after(std::string_view day) {
  std::optional<std::chrono::sys_days> d = parse_day(day);
  if (!d) return std::nullopt;
  return day_text(*d + std::chrono::days(1));
}

std::string day_minus(std::string_view day, int days) {
  std::optional<std::chrono::sys_days> d = parse_day(day);
  return d ? day_text(*d - std::chrono::days(days)) : std::string(day);
}

std::string today() {
  return day_text(std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
}

Page<repo::AuditEntry> audit_page(repo::Store& store, const AuditQuery& query) {
  return paged<repo::AuditEntry>(query.limit, [&](size_t n, const auto& each) {
    repo::AuditFilter filter;
    filter.user = query.user;
    filter.class_name = query.class_name;
    filter.since = query.since;
    if (query.until) filter.until = day_after(*query.until);
    filter.newest_first = true;
    filter.before = query.before;
    filter.limit = n;
    store.list_audit(filter, each);
  });
}

Page<LinkRow> links_page(repo::Store& store, int64_t after, size_t limit) {
  Page<LinkRow> page;
  if (!store.class_exists(kInclusion)) return page;
  Page<repo::ObjectRow> inclusions = paged<repo::ObjectRow>(limit, [&](size_t n, const auto& each) {
    repo::ObjectFilter filter;
    filter.class_name = std::string(kInclusion);
    filter.after = after;
    filter.limit = n;
    store.list_objects(filter, each);
  });
  page.next = inclusions.next;
  for (repo::ObjectRow& inclusion : inclusions.rows) {
    LinkRow row;
    row.parent = uuid_property(inclusion, "parent_uuid");
    row.child = uuid_property(inclusion, "child_uuid");
    if (row.parent) row.parent_row = store.find_object(*row.parent);
    if (row.child) row.child_row = store.find_object(*row.child);
    row.inclusion = std::move(inclusion);
    page.rows.push_back(std::move(row));
  }
  return page;
}

Moves moves_per_day(repo::Store& store, const std::string& first, const std::string& last) {
  Moves moves;
  std::optional<std::chrono::sys_days> from = parse_day(first), to = parse_day(last);
  if (!from || !to) return moves;
  for (std::chrono::sys_days d = *from; d <= *to; d += std::chrono::days(1))
    moves.days.push_back(day_text(d));
  std::map<std::string, int64_t> per_class;
  repo::AuditFilter filter;
  filter.since = first;
  filter.until = day_after(last);
  store.list_audit(filter, [&](const repo::AuditEntry& a) {
    if (a.to.empty() || a.to == a.from || a.time.size() < 10) return;
    ++moves.counts[a.time.substr(0, 10)][a.to];
    ++per_class[a.to];
  });
  for (const auto& [name, n] : per_class) moves.classes.push_back(name);
  std::stable_sort(
      moves.classes.begin(), moves.classes.end(),
      [&](const std::string& a, const std::string& b) { return per_class[a] > per_class[b]; });
  return moves;
}

}  // namespace tng::web
