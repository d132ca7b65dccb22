// The HTML pages of the web view, made from what view.h reads. Every text
// from the repository goes through html() or escape() (html.h).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "view.h"

namespace tng::web {

// Who looks at a page: the repository and the logged-in user.
struct Viewer {
  std::string_view repository;
  std::string_view user;
};

std::string login_page(std::string_view repository, std::string_view next,
                       std::string_view user_typed, std::string_view message);
std::string overview_page(const Viewer& viewer, const std::vector<repo::ClassCount>& classes,
                          const std::vector<repo::AuditEntry>& latest);
std::string class_page(const Viewer& viewer, std::string_view class_name,
                       const Page<repo::ObjectRow>& objects,
                       const std::optional<std::string>& filter, int64_t after);
std::string object_page(const Viewer& viewer, const ObjectView& view);
std::string links_html(const Viewer& viewer, const Page<LinkRow>& links, int64_t after);
std::string audit_html(const Viewer& viewer, const AuditQuery& query,
                       const Page<repo::AuditEntry>& records);
std::string chart_page(const Viewer& viewer, const Moves& moves, int days);
std::string error_page(const Viewer& viewer, std::string_view title, std::string_view message);

// Moves per day by target class as an SVG picture: stacked bars, one a
// day, and a legend. `standalone` makes a document of its own (with the
// XML namespace); without, it is an element to put in a page.
std::string moves_svg(const Moves& moves, bool standalone);

}  // namespace tng::web
