// The JSON API under /api/: the same data as the pages, as JSON documents.
// Objects look as `wvrepo object list --json` writes them; audit records as
// `wvrepo audit --json`. Texts that are not UTF-8 are written with U+FFFD
// (tng::json).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "view.h"

namespace tng::web::api {

std::string classes(const std::vector<repo::ClassCount>& classes);
std::string objects(const Page<repo::ObjectRow>& page);
std::string object(const ObjectView& view);
std::string audit(const Page<repo::AuditEntry>& page);
std::string links(const Page<LinkRow>& page);
std::string moves(const Moves& moves);
std::string error(std::string_view message);

}  // namespace tng::web::api
