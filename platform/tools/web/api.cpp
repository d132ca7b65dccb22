#include "api.h"

#include <cstring>

#include "platform/json.h"
#include "platform/wvapi.h"

namespace tng::web::api {

namespace {

using tng::json::Object;

Object value(const repo::Test& t) {
  if (t.type == WV_TYPE_INTEGER && t.value.size() == 4) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), 4);
    return v;
  }
  return value_text(t);
}

// class_name, name, uuid, then the other properties by name.
Object object_json(const repo::ObjectRow& row) {
  Object o = Object::object();
  o["class_name"] = row.class_name;
  const repo::Test* name = row.find("name");
  if (name) o["name"] = value(*name);
  o["uuid"] = repo::uuid_text(row.uuid);
  for (const repo::Test& p : row.props)
    if (&p != name) o[p.property] = value(p);
  return o;
}

Object brief(const repo::Uuid& uuid, const std::optional<repo::ObjectRow>& row) {
  Object o = Object::object();
  o["uuid"] = repo::uuid_text(uuid);
  o["class_name"] = row ? Object(row->class_name) : Object(nullptr);
  o["name"] = row && row->find("name") ? value(*row->find("name")) : Object(nullptr);
  return o;
}

Object audit_json(const repo::AuditEntry& a) {
  return {{"time", a.time},     {"user", a.user},
          {"action", a.action}, {"uuid", a.uuid ? repo::uuid_text(*a.uuid) : std::string()},
          {"name", a.name},     {"from", a.from},
          {"to", a.to}};
}

Object cursor(const std::optional<int64_t>& next) {
  return next ? Object(std::to_string(*next)) : Object(nullptr);
}

std::string text(const Object& o) { return tng::json::line(o); }

}  // namespace

std::string classes(const std::vector<repo::ClassCount>& classes) {
  Object list = Object::array();
  for (const repo::ClassCount& c : classes) list.push_back({{"name", c.name}, {"count", c.count}});
  return text(list);
}

std::string objects(const Page<repo::ObjectRow>& page) {
  Object list = Object::array();
  for (const repo::ObjectRow& row : page.rows) list.push_back(object_json(row));
  return text({{"objects", std::move(list)}, {"next", cursor(page.next)}});
}

std::string object(const ObjectView& view) {
  Object o = object_json(view.object);
  Object history = Object::array();
  for (const repo::AuditEntry& a : view.history) history.push_back(audit_json(a));
  Object links = Object::array();
  for (const Link& link : view.links) {
    Object l = brief(link.other, link.other_row);
    l["role"] = link.other_is_child ? "child" : "parent";
    l["inclusion"] = repo::uuid_text(link.inclusion);
    links.push_back(std::move(l));
  }
  o["history"] = std::move(history);
  o["links"] = std::move(links);
  return text(o);
}

std::string audit(const Page<repo::AuditEntry>& page) {
  Object list = Object::array();
  for (const repo::AuditEntry& a : page.rows) list.push_back(audit_json(a));
  return text({{"records", std::move(list)}, {"next", cursor(page.next)}});
}

std::string links(const Page<LinkRow>& page) {
  Object list = Object::array();
  for (const LinkRow& row : page.rows) {
    Object l = Object::object();
    l["inclusion"] = repo::uuid_text(row.inclusion.uuid);
    l["parent"] = row.parent ? brief(*row.parent, row.parent_row) : Object(nullptr);
    l["child"] = row.child ? brief(*row.child, row.child_row) : Object(nullptr);
    list.push_back(std::move(l));
  }
  return text({{"links", std::move(list)}, {"next", cursor(page.next)}});
}

std::string moves(const Moves& moves) {
  Object days = Object::array();
  for (const std::string& day : moves.days) {
    Object to = Object::object();
    if (auto it = moves.counts.find(day); it != moves.counts.end())
      for (const auto& [cls, n] : it->second) to[cls] = n;
    days.push_back({{"day", day}, {"to", std::move(to)}});
  }
  return text({{"days", std::move(days)}});
}

std::string error(std::string_view message) { return text({{"error", std::string(message)}}); }

}  // namespace tng::web::api
