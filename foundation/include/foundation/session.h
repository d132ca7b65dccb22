// The repository session: the framework's handles of one tool run, and the
// steps of a query over them.
#pragma once
#include <cstdint>
#include <string_view>

#include "foundation/answers.h"
#include "platform/wvapi.h"

namespace tng {

class RepositorySession {
 public:
  explicit RepositorySession(const char* application);
  ~RepositorySession();
  RepositorySession(const RepositorySession&) = delete;
  RepositorySession& operator=(const RepositorySession&) = delete;

  enum class Opened { Connected, KernelFailed, ConnectFailed };
  // Starts the kernel and connects to the answers' repository, printing
  // "Kernel Start Failed", the blank-password line break and "Repository
  // Connect Failed" as they happen.
  Opened open_by_name(const ToolAnswers& answers);

  enum class DialogStep {
    Connected,
    KernelFailed,
    Cancelled,
    SelectFailed,
    NameFailed,
    ConnectFailed
  };
  struct DialogResult {
    DialogStep step;
    WV_RC rc;  // the failing call's code (the kernel start's for KernelFailed)
  };
  // Starts the kernel, lets the administrator choose the repository and
  // connects. Prints nothing: each tool words its own failures.
  DialogResult open_by_dialog();

  const char* repository_name() const { return name_; }
  WV_KERNEL kernel() const { return kernel_; }
  WV_REPOSITORY repository() const { return repository_; }

  // The steps of a query, for tools that compose their own.
  WV_RC allocate_criteria(int32_t capacity);
  void add_text_criterion(const char* property, std::string_view value);
  void add_integer_criterion(const char* property, int32_t value);
  WV_CRITERIA criteria() const { return criteria_; }
  // Frees the previous result list, then queries.
  WV_RC query(std::string_view class_name, const char* properties, int32_t batch);

  enum class Query { Found, NoObjects, NoSuchClass, Failed, CriteriaFailed };
  struct QueryResult {
    Query outcome;
    WV_RC rc;
    uint32_t count;
  };
  // Ends the previous pass, allocates the criteria, adds class_name = class
  // and queries the class for the properties.
  QueryResult query_class(std::string_view class_name, const char* properties,
                          int32_t criteria_capacity = 20, int32_t batch = 10);
  uint32_t count() const { return count_; }

  enum class Fetch { Object, End, Failed };
  struct FetchResult {
    Fetch outcome;
    WV_RC rc;
  };
  FetchResult next_object();

  struct Property {
    WV_RC rc;
    int32_t type;
    const void* value;
    uint32_t length;
  };
  Property read_property(const char* name) const;

  // Frees the result list, then the criteria, each when held.
  void end_pass();
  // Frees the result list, the criteria, the connection and the kernel, in
  // that order, each when held.
  void close();

 private:
  const char* application_;
  WV_KERNEL kernel_ = nullptr;
  WV_REPOSITORY repository_ = nullptr;
  WV_CRITERIA criteria_ = nullptr;
  WV_OBJECT_LIST list_ = nullptr;
  WV_OBJECT object_ = nullptr;
  uint32_t count_ = 0;
  char name_[WV_REPOSITORY_NAME_FIELD] = {};
};

}  // namespace tng
