#include <cstdio>

#include "foundation/foundation.h"
#include "platform/process.h"

namespace tng {
namespace {

constexpr const char* kReclassProgram = "reclass";

// Whether prefix + value fits a field of `capacity` bytes with its terminator.
bool fits(std::string_view prefix, std::string_view value, std::size_t capacity) {
  return prefix.size() + value.size() + 1 <= capacity;
}

bool refuse(std::string_view program, const char* what, std::size_t length, std::size_t longest) {
  std::fprintf(stderr, "%.*s: the %s is %zu characters long; at most %zu fit. Nothing was done.\n",
               static_cast<int>(program.size()), program.data(), what, length, longest);
  return false;
}

}  // namespace

ReclassCommand::ReclassCommand(const ToolAnswers& answers, const ReclassFieldCapacities& fields)
    : repository_("/R=" + answers.repository),
      user_("/U=" + answers.user),
      object_capacity_(fields.object) {
  if (!answers.blank_password) password_ = "/W=" + answers.password;
}

bool ReclassCommand::answers_fit(const ToolAnswers& answers, const ReclassFieldCapacities& fields,
                                 std::string_view program) {
  if (!fits("/R=", answers.repository, fields.repository))
    return refuse(program, "repository name", answers.repository.size(), fields.repository - 4);
  if (!fits("/U=", answers.user, fields.user))
    return refuse(program, "user name", answers.user.size(), fields.user - 4);
  if (!answers.blank_password && !fits("/W=", answers.password, fields.password))
    return refuse(program, "password", answers.password.size(), fields.password - 4);
  return true;
}

bool ReclassCommand::run(std::string_view source_class, std::string_view object_name,
                         std::string_view target_class) const {
  if (!fits("/O=", object_name, object_capacity_)) {
    std::fflush(stdout);
    std::fprintf(stderr,
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
  // Neither a failing reclass nor one that cannot be started stops the pass.
  (void)tng::process::spawn_and_wait(argv);
  return true;
}

PassOutcome ClassPass(RepositorySession& session, const ReclassCommand& reclass,
                      const ReclassRule& rule) {
  const int source_length = static_cast<int>(rule.source.size());
  const char* source = rule.source.data();
  const auto query = session.query_class(rule.source, "name,label");
  switch (query.outcome) {
    case RepositorySession::Query::CriteriaFailed:
      std::fputs("Allocating Repository Object Criteria Failed\n", stdout);
      session.end_pass();
      return PassOutcome::NotCompleted;
    case RepositorySession::Query::NoSuchClass:
      std::printf("Class %.*s does not exist\n", source_length, source);
      session.end_pass();
      return PassOutcome::NotCompleted;
    case RepositorySession::Query::Failed:
      std::printf("Get Repository Object Failed - rc = %d\n", query.rc);
      session.end_pass();
      return PassOutcome::NotCompleted;
    case RepositorySession::Query::NoObjects:
      std::printf("Objects of class %.*s do not exist!\n", source_length, source);
      session.end_pass();
      return PassOutcome::NotCompleted;
    case RepositorySession::Query::Found:
      break;
  }
  std::printf("\nThere were %u %.*s objects found:\n", query.count, source_length, source);

  PassOutcome outcome = PassOutcome::Completed;
  for (uint32_t index = 0; index < query.count; ++index) {
    const auto fetch = session.next_object();
    if (fetch.outcome == RepositorySession::Fetch::End) break;
    if (fetch.outcome == RepositorySession::Fetch::Failed) {
      std::printf("Object GetNext Failed - rc = %d\n", fetch.rc);
      outcome = PassOutcome::NotCompleted;
      break;
    }
    const auto name = session.read_property("name");
    if (name.rc != WV_OK) break;
    std::string object_name;
    if (name.type == WV_TYPE_TEXT) {
      object_name = static_cast<const char*>(name.value);
      std::printf("Device being reclassified as %.*s: %s...\n", static_cast<int>(rule.label.size()),
                  rule.label.data(), object_name.c_str());
    } else {
      object_name = property_text(name, "name");
    }
    reclass.run(rule.source, object_name, rule.target);
  }
  session.end_pass();
  return outcome;
}

}  // namespace tng
