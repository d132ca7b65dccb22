// wvrepo's plan commands: `plan show` lists a plan that a preview run wrote
// (platform/preview.h), `plan apply` makes exactly its changes in one
// transaction, or none.
#pragma once
#include <string>

namespace tng::tools {

// Prints the plan grouped by kind and target class, with counts; with
// `evidence`, each change's evidence under it. The exit code.
int show_plan(const std::string& path, bool evidence);

struct ApplyRequest {
  std::string repository;
  std::string path;
  std::string user;
  bool skip_changed = false;
};

// Applies the plan: 0 when applied, 1 when refused (a plan that is not one,
// was changed, names another repository, or objects changed since the
// preview without --skip-changed), 2 for a wrong password.
int apply_plan(const ApplyRequest& request);

}  // namespace tng::tools
