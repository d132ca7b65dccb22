#include "pages.h"

#include <algorithm>

#include "html.h"
#include "platform/wvapi.h"

namespace tng::web {

namespace {

std::string frame(const Viewer& viewer, std::string_view title, const std::string& body) {
  return page(Frame{viewer.repository, viewer.user, title}, body);
}

void class_link(std::string& out, std::string_view name) {
  html(out, "<a href=\"/classes/{}\">{}</a>", UrlPart{name}, name);
}

// A link to an object, shown by its name (its uuid when it has none).
void object_link(std::string& out, const repo::Uuid& uuid, std::string_view name) {
  const std::string text = repo::uuid_text(uuid);
  if (name.empty())
    html(out, "<a class=\"uuid\" href=\"/objects/{}\">{}</a>", UrlPart{text}, text);
  else
    html(out, "<a href=\"/objects/{}\">{}</a>", UrlPart{text}, name);
}

// Audit records as a table; `with_object` adds the object's column.
void audit_table(std::string& out, const std::vector<repo::AuditEntry>& records, bool with_object) {
  if (records.empty()) {
    out += "<p class=\"note\">No records.</p>\n";
    return;
  }
  html(out,
       "<table class=\"audit\">\n<tr><th>Time (UTC)</th><th>User</th><th>Action</th>{}"
       "<th>From</th><th>To</th></tr>\n",
       Markup{with_object ? "<th>Object</th>" : ""});
  for (const repo::AuditEntry& a : records) {
    html(out, "<tr><td class=\"time\">{}</td><td>{}</td><td>{}</td>", a.time, a.user, a.action);
    if (with_object) {
      out += "<td>";
      if (a.uuid)
        object_link(out, *a.uuid, a.name);
      else
        html(out, "{}", a.name);
      out += "</td>";
    }
    out += "<td>";
    if (!a.from.empty()) class_link(out, a.from);
    out += "</td><td>";
    if (!a.to.empty()) class_link(out, a.to);
    out += "</td></tr>\n";
  }
  out += "</table>\n";
}

void class_table(std::string& out, std::string_view heading,
                 const std::vector<const repo::ClassCount*>& rows) {
  int64_t total = 0;
  for (const repo::ClassCount* c : rows) total += c->count;
  html(out,
       "<section><h2>{}</h2>\n<table class=\"classes\">\n<tr><th>Class</th><th>Objects</th></tr>\n",
       heading);
  for (const repo::ClassCount* c : rows) {
    out += "<tr><td>";
    class_link(out, c->name);
    html(out, "</td><td class=\"n\">{}</td></tr>\n", c->count);
  }
  html(out, "<tr><th>{} classes</th><th class=\"n\">{}</th></tr>\n</table></section>\n",
       static_cast<int64_t>(rows.size()), total);
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string login_page(std::string_view repository, std::string_view next,
                       std::string_view user_typed, std::string_view message) {
  std::string body;
  if (!message.empty()) html(body, "<p class=\"error\">{}</p>\n", message);
  html(body,
       "<form class=\"login\" method=\"post\" action=\"/login\">\n"
       "<input type=\"hidden\" name=\"next\" value=\"{}\">\n"
       "<label>User <input name=\"user\" value=\"{}\" autocomplete=\"username\" required "
       "autofocus></label>\n"
       "<label>Password <input name=\"password\" type=\"password\" "
       "autocomplete=\"current-password\"></label>\n"
       "<button type=\"submit\">Log in</button>\n</form>\n",
       next, user_typed);
  return page(Frame{repository, "", "Log in"}, body);
}

std::string overview_page(const Viewer& viewer, const std::vector<repo::ClassCount>& classes,
                          const std::vector<repo::AuditEntry>& latest) {
  std::vector<const repo::ClassCount*> orvex, pellion, other;
  for (const repo::ClassCount& c : classes)
    (starts_with(c.name, kOrvexPrefix)     ? orvex
     : starts_with(c.name, kPellionPrefix) ? pellion
                                           : other)
        .push_back(&c);
  std::string body = "<div class=\"columns\">\n";
  class_table(body, "Orvex classes", orvex);
  class_table(body, "Pellion classes", pellion);
  class_table(body, "Other classes", other);
  body += "</div>\n<h2>Latest changes</h2>\n";
  audit_table(body, latest, true);
  body += "<p><a href=\"/audit\">The whole audit trail</a></p>\n";
  return frame(viewer, "Overview", body);
}

std::string class_page(const Viewer& viewer, std::string_view class_name,
                       const Page<repo::ObjectRow>& objects,
                       const std::optional<std::string>& filter, int64_t after) {
  std::string body;
  html(body,
       "<form class=\"filter\" method=\"get\" action=\"/classes/{}\">\n"
       "<label>Name or address contains <input name=\"q\" value=\"{}\"></label>\n"
       "<button type=\"submit\">Filter</button></form>\n",
       UrlPart{class_name}, filter.value_or(""));
  if (filter) {
    html(body,
         "<p class=\"note\">Objects whose name or address contains \xE2\x80\x9C{}\xE2\x80\x9D. "
         "<a href=\"/classes/{}\">All objects</a></p>\n",
         *filter, UrlPart{class_name});
  }
  if (objects.rows.empty()) {
    body += objects.next ? "<p class=\"note\">None among the objects searched so far.</p>\n"
                         : "<p class=\"note\">No objects.</p>\n";
  } else {
    body +=
        "<table class=\"objects\">\n<tr><th>Name</th><th>Address</th><th>UUID</th>"
        "<th>Other properties</th></tr>\n";
    for (const repo::ObjectRow& row : objects.rows) {
      body += "<tr><td>";
      object_link(body, row.uuid, text_property(row, "name"));
      html(body, "</td><td>{}</td><td class=\"uuid\">{}</td><td>", text_property(row, "address"),
           repo::uuid_text(row.uuid));
      bool first = true;
      for (const repo::Test& p : row.props) {
        if (p.property == "name" || p.property == "address") continue;
        html(body, "{}{}={}", first ? "" : ", ", p.property, value_text(p));
        first = false;
      }
      body += "</td></tr>\n";
    }
    body += "</table>\n";
  }
  body += "<div class=\"pager\">";
  const std::string query = filter ? "q=" + url_encode(*filter) + "&" : std::string();
  if (after > 0)
    html(body, "<a href=\"/classes/{}{}\">First page</a>", UrlPart{class_name},
         filter ? "?" + query.substr(0, query.size() - 1) : std::string());
  if (objects.next && filter && objects.rows.size() < kPageRows)
    html(body, "<a rel=\"next\" href=\"/classes/{}?{}after={}\">Search further \xE2\x86\x92</a>",
         UrlPart{class_name}, query, *objects.next);
  else if (objects.next)
    html(body, "<a rel=\"next\" href=\"/classes/{}?{}after={}\">Next {} \xE2\x86\x92</a>",
         UrlPart{class_name}, query, *objects.next, static_cast<int64_t>(objects.rows.size()));
  body += "</div>\n";
  return frame(viewer, "Class " + std::string(class_name), body);
}

std::string object_page(const Viewer& viewer, const ObjectView& view) {
  const repo::ObjectRow& o = view.object;
  std::string body;
  body += "<table class=\"properties\">\n<tr><th>Class</th><td>";
  class_link(body, o.class_name);
  html(body, "</td></tr>\n<tr><th>UUID</th><td class=\"uuid\">{}</td></tr>\n",
       repo::uuid_text(o.uuid));
  for (const repo::Test& p : o.props) {
    html(body, "<tr><th>{}</th><td>", p.property);
    if (p.type == WV_TYPE_UUID && p.value.size() == 16) {
      repo::Uuid u{};
      std::copy(p.value.begin(), p.value.end(), u.begin());
      object_link(body, u, "");
    } else {
      html(body, "{}", value_text(p));
    }
    body += "</td></tr>\n";
  }
  body += "</table>\n<h2>Inclusion links</h2>\n";
  if (view.links.empty()) {
    body += "<p class=\"note\">No links.</p>\n";
  } else {
    body +=
        "<table class=\"links\">\n<tr><th>This object</th><th>Other object</th><th>Its "
        "class</th></tr>\n";
    for (const Link& link : view.links) {
      html(body, "<tr><td>{}</td><td>", link.other_is_child ? "carries" : "is carried by");
      object_link(body, link.other, link.other_row ? text_property(*link.other_row, "name") : "");
      body += "</td><td>";
      if (link.other_row)
        class_link(body, link.other_row->class_name);
      else
        body += "<span class=\"note\">(no such object)</span>";
      body += "</td></tr>\n";
    }
    body += "</table>\n";
    if (view.more_links)
      html(body, "<p class=\"note\">Only the first {} links of each direction are shown.</p>\n",
           kMaxLimit);
  }
  body += "<h2>Class history</h2>\n";
  audit_table(body, view.history, false);
  if (view.more_history)
    html(body, "<p class=\"note\">Only the latest {} records are shown.</p>\n", kMaxLimit);
  std::string_view name = text_property(o, "name");
  return frame(viewer,
               name.empty() ? "Object " + repo::uuid_text(o.uuid) : "Object " + std::string(name),
               body);
}

std::string links_html(const Viewer& viewer, const Page<LinkRow>& links, int64_t after) {
  std::string body =
      "<p class=\"note\">Every server with the boards it carries (the <code>Inclusion</code> "
      "objects).</p>\n";
  if (links.rows.empty()) {
    body += "<p class=\"note\">No links.</p>\n";
  } else {
    body +=
        "<table class=\"links\">\n<tr><th>Server</th><th>Its class</th><th>Board</th><th>Its "
        "class</th></tr>\n";
    // Consecutive links of one server share its cell.
    for (size_t i = 0; i < links.rows.size();) {
      size_t end = i + 1;
      while (end < links.rows.size() && links.rows[end].parent == links.rows[i].parent) ++end;
      const LinkRow& first = links.rows[i];
      for (size_t k = i; k < end; ++k) {
        const LinkRow& row = links.rows[k];
        body += "<tr>";
        if (k == i) {
          html(body, "<td rowspan=\"{}\">", static_cast<int64_t>(end - i));
          if (first.parent)
            object_link(body, *first.parent,
                        first.parent_row ? text_property(*first.parent_row, "name") : "");
          html(body, "</td><td rowspan=\"{}\">", static_cast<int64_t>(end - i));
          if (first.parent_row) class_link(body, first.parent_row->class_name);
          body += "</td>";
        }
        body += "<td>";
        if (row.child)
          object_link(body, *row.child, row.child_row ? text_property(*row.child_row, "name") : "");
        body += "</td><td>";
        if (row.child_row) class_link(body, row.child_row->class_name);
        body += "</td></tr>\n";
      }
      i = end;
    }
    body += "</table>\n";
  }
  body += "<div class=\"pager\">";
  if (after > 0) body += "<a href=\"/links\">First page</a>";
  if (links.next)
    html(body, "<a rel=\"next\" href=\"/links?after={}\">Next page \xE2\x86\x92</a>", *links.next);
  body += "</div>\n";
  return frame(viewer, "Lights-out links", body);
}

std::string audit_html(const Viewer& viewer, const AuditQuery& query,
                       const Page<repo::AuditEntry>& records) {
  std::string body;
  html(body,
       "<form class=\"filter\" method=\"get\" action=\"/audit\">\n"
       "<label>User <input name=\"user\" value=\"{}\"></label>\n"
       "<label>Class (from or to) <input name=\"class\" value=\"{}\"></label>\n"
       "<label>From day <input name=\"since\" type=\"date\" value=\"{}\"></label>\n"
       "<label>To day <input name=\"until\" type=\"date\" value=\"{}\"></label>\n"
       "<button type=\"submit\">Filter</button> <a href=\"/audit\">All records</a>\n</form>\n",
       query.user.value_or(""), query.class_name.value_or(""), query.since.value_or(""),
       query.until.value_or(""));
  audit_table(body, records.rows, true);
  body += "<div class=\"pager\">";
  std::string keep;
  auto add = [&](const char* name, const std::optional<std::string>& value) {
    if (value && !value->empty()) keep += std::string(name) + "=" + url_encode(*value) + "&";
  };
  add("user", query.user);
  add("class", query.class_name);
  add("since", query.since);
  add("until", query.until);
  if (query.before) html(body, "<a href=\"/audit?{}\">Newest</a>", keep);
  if (records.next)
    html(body, "<a rel=\"next\" href=\"/audit?{}before={}\">Older \xE2\x86\x92</a>", keep,
         *records.next);
  body += "</div>\n";
  return frame(viewer, "Audit trail", body);
}

std::string chart_page(const Viewer& viewer, const Moves& moves, int days) {
  std::string body;
  html(body,
       "<p class=\"note\">Objects moved per day in the last {} days (UTC), by the class they "
       "were moved to. <a href=\"/chart?days=7\">7 days</a> "
       "<a href=\"/chart?days=30\">30 days</a> <a href=\"/chart?days=90\">90 days</a></p>\n",
       days);
  body += moves_svg(moves, false);
  body += "<h2>The figures</h2>\n";
  if (moves.classes.empty()) {
    body += "<p class=\"note\">No moves in this period.</p>\n";
  } else {
    body += "<table class=\"moves\">\n<tr><th>Day</th>";
    for (const std::string& c : moves.classes) {
      body += "<th>";
      class_link(body, c);
      body += "</th>";
    }
    body += "</tr>\n";
    for (const std::string& day : moves.days) {
      auto it = moves.counts.find(day);
      if (it == moves.counts.end()) continue;
      html(body, "<tr><td class=\"time\">{}</td>", day);
      for (const std::string& c : moves.classes) {
        auto n = it->second.find(c);
        html(body, "<td class=\"n\">{}</td>", n == it->second.end() ? int64_t{0} : n->second);
      }
      body += "</tr>\n";
    }
    body += "</table>\n";
  }
  return frame(viewer, "Moves per day", body);
}

std::string error_page(const Viewer& viewer, std::string_view title, std::string_view message) {
  std::string body;
  html(body, "<p class=\"error\">{}</p>\n<p><a href=\"/\">Overview</a></p>\n", message);
  return frame(viewer, title, body);
}

}  // namespace tng::web
