#include <cstdio>

#include "foundation/progress.h"
#include "foundation/reclass.h"
#include "platform/diag.h"
#include "platform/preview.h"
#include "platform/process.h"

namespace tng {
namespace {

constexpr const char* kReclassProgram = "reclass";

// Whether prefix + value fits a field of `capacity` bytes with its terminator.
bool fits(std::string_view prefix, std::string_view value, std::size_t capacity) {
  return prefix.size() + value.size() + 1 <= capacity;
}

bool refuse(const char* what, std::size_t length, std::size_t longest) {
  tng::diag::say("the %s is %zu characters long; at most %zu fit. Nothing was done.\n", what,
                 length, longest);
  return false;
}

}  // namespace

ReclassCommand::ReclassCommand(const ToolAnswers& answers, const ReclassFieldCapacities& fields)
    : repository_("/R=" + answers.repository),
      user_("/U=" + answers.user),
      object_capacity_(fields.object) {
  if (!answers.blank_password) password_ = "/W=" + answers.password;
}

bool ReclassCommand::answers_fit(const ToolAnswers& answers, const ReclassFieldCapacities& fields) {
  if (!fits("/R=", answers.repository, fields.repository))
    return refuse("repository name", answers.repository.size(), fields.repository - 4);
  if (!fits("/U=", answers.user, fields.user))
    return refuse("user name", answers.user.size(), fields.user - 4);
  if (!answers.blank_password && !fits("/W=", answers.password, fields.password))
    return refuse("password", answers.password.size(), fields.password - 4);
  return true;
}

bool ReclassCommand::run(std::string_view source_class, std::string_view object_name,
                         std::string_view target_class) const {
  if (!fits("/O=", object_name, object_capacity_)) {
    tng::diag::say_plain(
        "reclass not run: the object name is %zu characters long; at most %zu fit: %.*s\n",
        object_name.size(), object_capacity_ - 4, static_cast<int>(object_name.size()),
        object_name.data());
    return false;
  }
  std::vector<std::string> argv{kReclassProgram, repository_, user_};
  if (password_) argv.push_back(*password_);
  argv.push_back("/C=" + std::string(source_class));
  argv.push_back("/O=" + std::string(object_name));
  argv.push_back("/T=" + std::string(target_class));
  // Neither a failing reclass nor one that cannot be started stops the pass;
  // the exit status counts in the run's summary only.
  progress::reclass_starting();
  progress::reclass_ended(tng::process::spawn_and_wait(argv));
  // A preview takes the run's move into its plan.
  preview::settle();
  return true;
}

}  // namespace tng
