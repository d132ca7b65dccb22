// The repository side of a preview run (platform/preview.h): which
// repository a connection opens, and the changes the WorldView API makes on
// the copy, taken into the plan in the order they are made.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan.h"
#include "repository.h"

namespace tng::preview::run {

// The repository a connection to `name` opens: `name` itself outside a
// preview; in a preview, the run's copy, made at the first connection.
// Throws repo::Error: TNG_PREVIEW set for a program that cannot preview, a
// second repository, a plan file that cannot be written, or the failure of
// the copy (a repository that does not exist, ...).
std::string repository_to_open(std::string_view name, std::string_view program);

// Whether the changes made through the API are to be taken into a plan.
bool recording();

// The change that made the object `uuid`, read inside the transaction that
// made it.
repo::plan::Change link(repo::Store& store, const repo::Uuid& uuid);
// The change that removes `row`, selected by `tests`.
repo::plan::Change removal(const repo::ObjectRow& row, const std::vector<repo::Test>& tests);
// Takes changes made (and committed) into the plan, with the evidence
// decided for them.
void record(std::vector<repo::plan::Change> changes);

// For reclass: the copy a preview run opened for `name` (TNG_PREVIEW_COPY),
// when there is one.
std::optional<std::string> copy_named_for(std::string_view name);

}  // namespace tng::preview::run
