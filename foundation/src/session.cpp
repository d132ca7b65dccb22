#include <cstdio>
#include <cstring>

#include "foundation/result_list.h"

namespace tng {

RepositorySession::RepositorySession(const char* application) : application_(application) {}

RepositorySession::~RepositorySession() { close(); }

RepositorySession::Opened RepositorySession::open_by_name(const ToolAnswers& answers) {
  TNGWV_Kernel_Start(application_, &kernel_, 0);
  if (kernel_ == nullptr) {
    std::fputs("Kernel Start Failed\n", stdout);
    close();
    return Opened::KernelFailed;
  }
  // The front end has refused names that do not fit the field.
  std::snprintf(name_, sizeof name_, "%s", answers.repository.c_str());
  const WV_RC rc = TNGWV_Repository_Connect(kernel_, name_, &repository_);
  if (answers.blank_password) std::fputs("\n", stdout);
  if (rc != WV_OK) {
    std::fputs("Repository Connect Failed\n", stdout);
    close();
    return Opened::ConnectFailed;
  }
  return Opened::Connected;
}

RepositorySession::DialogResult RepositorySession::open_by_dialog() {
  const WV_RC started = TNGWV_Kernel_Start(application_, &kernel_, 0);
  if (kernel_ == nullptr) return {DialogStep::KernelFailed, started};
  WV_RC rc = TNGWV_RepositoryName_DisplaySelectDialog(kernel_, 1);
  if (rc == WV_DIALOG_CANCELLED) return {DialogStep::Cancelled, rc};
  if (rc != WV_OK) return {DialogStep::SelectFailed, rc};
  rc = TNGWV_RepositoryName_GetFirst(kernel_, name_);
  if (rc != WV_OK) return {DialogStep::NameFailed, rc};
  rc = TNGWV_Repository_Connect(kernel_, name_, &repository_);
  if (rc != WV_OK) return {DialogStep::ConnectFailed, rc};
  return {DialogStep::Connected, WV_OK};
}

WV_RC RepositorySession::allocate_criteria(int32_t capacity) {
  if (criteria_ != nullptr) ObjectCriteriaFree(&criteria_);
  return TNGWV_ObjectCriteria_Allocate(&criteria_, capacity);
}

void RepositorySession::add_text_criterion(const char* property, std::string_view value) {
  ObjectCriteriaAddItem(criteria_, property, WV_TYPE_TEXT, static_cast<uint32_t>(value.size()),
                        value.data(), 0, 1);
}

void RepositorySession::add_integer_criterion(const char* property, int32_t value) {
  ObjectCriteriaAddItem(criteria_, property, WV_TYPE_INTEGER, sizeof value, &value, 0, 1);
}

WV_RC RepositorySession::query(std::string_view class_name, const char* properties, int32_t batch) {
  if (list_ != nullptr) ObjectListFree(&list_);
  object_ = nullptr;
  count_ = 0;
  const std::string name(class_name);
  void* spare = nullptr;
  return GetRepositoryObject(repository_, name.c_str(), criteria_, properties, batch, &list_,
                             &count_, 0, &spare);
}

RepositorySession::QueryResult RepositorySession::query_class(std::string_view class_name,
                                                              const char* properties,
                                                              int32_t criteria_capacity,
                                                              int32_t batch) {
  end_pass();
  const QueryResult result = query_class_into(repository_, class_name, properties, criteria_, list_,
                                              criteria_capacity, batch);
  count_ = result.count;
  return result;
}

RepositorySession::QueryResult query_class_into(WV_REPOSITORY repository,
                                                std::string_view class_name, const char* properties,
                                                WV_CRITERIA& criteria, WV_OBJECT_LIST& list,
                                                int32_t criteria_capacity, int32_t batch) {
  using Query = RepositorySession::Query;
  if (WV_RC rc = TNGWV_ObjectCriteria_Allocate(&criteria, criteria_capacity); rc != WV_OK)
    return {Query::CriteriaFailed, rc, 0};
  const std::string name(class_name);
  ObjectCriteriaAddItem(criteria, "class_name", WV_TYPE_TEXT, static_cast<uint32_t>(name.size()),
                        name.data(), 0, 1);
  uint32_t count = 0;
  void* spare = nullptr;
  const WV_RC rc = GetRepositoryObject(repository, name.c_str(), criteria, properties, batch, &list,
                                       &count, 0, &spare);
  if (rc == WV_NO_SUCH_CLASS) return {Query::NoSuchClass, rc, 0};
  if (rc != WV_OK) return {Query::Failed, rc, 0};
  if (count == 0) return {Query::NoObjects, rc, 0};
  return {Query::Found, rc, count};
}

RepositorySession::FetchResult RepositorySession::next_object() {
  const WV_RC rc = TNGWV_Object_GetNext(list_, &object_, 0);
  if (rc == WV_OK || rc == WV_BATCH_END) return {Fetch::Object, rc};
  object_ = nullptr;
  if (rc == WV_LIST_END) return {Fetch::End, rc};
  return {Fetch::Failed, rc};
}

RepositorySession::Property RepositorySession::read_property(const char* name) const {
  Property p{};
  uint8_t flag = 0;
  p.rc = ObjectPropertyGet(object_, name, &p.type, &p.length, &p.value, &flag);
  return p;
}

void RepositorySession::end_pass() {
  if (list_ != nullptr) ObjectListFree(&list_);
  if (criteria_ != nullptr) ObjectCriteriaFree(&criteria_);
  object_ = nullptr;
}

void RepositorySession::close() {
  end_pass();
  if (repository_ != nullptr) RepositoryDisconnect(&repository_);
  if (kernel_ != nullptr) KernelStop(&kernel_);
}

std::string property_text(const RepositorySession::Property& property, const char* name) {
  switch (property.type) {
    case WV_TYPE_TEXT:
      return static_cast<const char*>(property.value);
    case WV_TYPE_INTEGER:
      std::printf("  %s = %d\n", name, *static_cast<const int32_t*>(property.value));
      return {};
    default:
      std::printf("  %s has data type not handled\n", name);
      return {};
  }
}

}  // namespace tng
