// The WorldView API over the repository store.
//
// Every operation first counts itself with the fault injector; an injected
// failure code replaces the call, an injected success code (0, or 14 for a
// fetch) is returned after the real work. Internal failures arrive as
// exceptions and leave each operation as a return code, with one line on
// standard error for the unexpected ones.
#include "platform/wvapi.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/console.h"
#include "platform/faults.h"
#include "preview_run.h"
#include "repository.h"

namespace repo = tng::repo;
namespace fs = std::filesystem;

// Every handle the API gives out is registered, so that a handle that was
// never issued (or was freed) is refused instead of followed, and so that
// whatever a program leaves unreleased is reclaimed at its end.
struct Handle {
  Handle();
  virtual ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

namespace {

struct Registry {
  std::unordered_set<Handle*> live;
  bool closing = false;
  ~Registry() {
    closing = true;
    std::vector<Handle*> rest(live.begin(), live.end());
    for (Handle* h : rest) delete h;
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

Handle::Handle() { registry().live.insert(this); }
Handle::~Handle() {
  if (!registry().closing) registry().live.erase(this);
}

struct wv_kernel : Handle {
  std::string application;
  std::optional<std::string> chosen;  // set by the selection dialog
};

struct wv_repository : Handle {
  explicit wv_repository(std::unique_ptr<repo::Store> s) : store(std::move(s)) {}
  std::unique_ptr<repo::Store> store;
};

struct wv_criteria : Handle {
  size_t capacity = 0;
  std::vector<repo::Test> tests;
};

struct wv_property_list : Handle {
  size_t capacity = 0;
  std::vector<repo::Test> items;
};

struct wv_object {
  repo::Record record;
};

struct wv_object_list : Handle {
  explicit wv_object_list(repo::ResultFile f) : file(std::move(f)) {}
  repo::ResultFile file;
  uint32_t delivered = 0;
  uint32_t batch = 1;
  wv_object current;
};

namespace {

template <typename T>
bool issued(T* handle) {
  return handle && registry().live.contains(static_cast<Handle*>(handle));
}

// Frees a handle given by address and clears it.
template <typename T>
WV_RC release(T** handle) {
  if (!handle) return repo::kBadArgument;
  if (*handle == nullptr) return WV_OK;
  if (!issued(*handle)) return repo::kBadArgument;
  delete *handle;
  *handle = nullptr;
  return WV_OK;
}

// An object handle is the current object of a list that is still held.
bool issued(WV_OBJECT object) {
  if (!object) return false;
  for (Handle* h : registry().live)
    if (auto* list = dynamic_cast<wv_object_list*>(h); list && &list->current == object)
      return true;
  return false;
}

bool succeeds(int32_t rc, bool fetch) { return rc == WV_OK || (fetch && rc == WV_BATCH_END); }

// Runs one operation with fault injection and exception handling.
template <typename Body>
WV_RC operation(const char* name, Body&& body, bool fetch = false) {
  std::optional<int32_t> injected = tng::faults::hit(name);
  if (injected && !succeeds(*injected, fetch)) return *injected;
  WV_RC rc;
  try {
    rc = body();
  } catch (const repo::Error& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return e.code();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return repo::kFailed;
  }
  if (injected && succeeds(rc, fetch)) return *injected;
  return rc;
}

// The value of a criteria item or property, checked against its type.
WV_RC make_test(const char* property, int32_t type, uint32_t length, const void* value,
                repo::Test& out) {
  if (!property || !*property || !value) return repo::kBadArgument;
  switch (type) {
    case WV_TYPE_TEXT:
      if (std::memchr(value, '\0', length)) return repo::kBadArgument;
      break;
    case WV_TYPE_INTEGER:
      if (length != 4) return repo::kBadArgument;
      break;
    case WV_TYPE_UUID:
      if (length != 16) return repo::kBadArgument;
      break;
    default:
      return repo::kBadArgument;
  }
  out.property = property;
  out.type = type;
  out.value.assign(static_cast<const char*>(value), length);
  return WV_OK;
}

}  // namespace

extern "C" {

WV_RC TNGWV_Kernel_Start(const char* application, WV_KERNEL* kernel, int32_t) {
  return operation("TNGWV_Kernel_Start", [&]() -> WV_RC {
    if (!kernel) return repo::kBadArgument;
    *kernel = nullptr;
    std::error_code ec;
    fs::path dir = repo::repositories_dir();
    if (!fs::is_directory(dir, ec)) {
      std::fprintf(stderr,
                   "TNGWV_Kernel_Start: no framework install at %s (no repositories folder; run "
                   "'wvrepo setup')\n",
                   repo::home().c_str());
      return repo::kFailed;
    }
    auto* k = new wv_kernel;
    k->application = application ? application : "";
    *kernel = k;
    return WV_OK;
  });
}

WV_RC KernelStop(WV_KERNEL* kernel) {
  return operation("KernelStop", [&] { return release(kernel); });
}

WV_RC TNGWV_Repository_Connect(WV_KERNEL kernel, const char* name, WV_REPOSITORY* repository) {
  return operation("TNGWV_Repository_Connect", [&]() -> WV_RC {
    if (!repository) return repo::kBadArgument;
    *repository = nullptr;
    if (!issued(kernel) || !name) return repo::kBadArgument;
    try {
      // A preview run opens its copy of the repository instead.
      *repository = new wv_repository(
          repo::open_store(tng::preview::run::repository_to_open(name, kernel->application)));
    } catch (const repo::Error& e) {
      std::fprintf(stderr, "TNGWV_Repository_Connect: %s\n", e.what());
      return e.code();
    }
    return WV_OK;
  });
}

WV_RC RepositoryDisconnect(WV_REPOSITORY* repository) {
  return operation("RepositoryDisconnect", [&] { return release(repository); });
}

WV_RC TNGWV_RepositoryName_DisplaySelectDialog(WV_KERNEL kernel, int32_t) {
  return operation("TNGWV_RepositoryName_DisplaySelectDialog", [&]() -> WV_RC {
    if (!issued(kernel)) return repo::kBadArgument;
    kernel->chosen.reset();
    if (const char* preset = std::getenv("WV_REPOSITORY")) {
      kernel->chosen = preset;
      return WV_OK;
    }
    std::vector<std::string> names = repo::repository_names();
    if (names.empty()) {
      std::fprintf(stderr, "There are no repositories in %s.\n", repo::repositories_dir().c_str());
      return repo::kNotFound;
    }
    std::fprintf(stderr, "Repositories:\n");
    for (size_t i = 0; i < names.size(); ++i)
      std::fprintf(stderr, "  %zu. %s\n", i + 1, names[i].c_str());
    for (;;) {
      std::fprintf(stderr, "Select a repository (1-%zu, Enter to cancel): ", names.size());
      std::fflush(stderr);
      std::optional<std::string> answer = tng::console::read_line();
      if (!answer || answer->empty()) return WV_DIALOG_CANCELLED;
      char* end = nullptr;
      unsigned long n = std::strtoul(answer->c_str(), &end, 10);
      if (*end == '\0' && n >= 1 && n <= names.size()) {
        kernel->chosen = names[n - 1];
        return WV_OK;
      }
      std::fprintf(stderr, "'%s' is not a number from the list.\n", answer->c_str());
    }
  });
}

WV_RC TNGWV_RepositoryName_GetFirst(WV_KERNEL kernel, char name[WV_REPOSITORY_NAME_FIELD]) {
  return operation("TNGWV_RepositoryName_GetFirst", [&]() -> WV_RC {
    if (!issued(kernel) || !name) return repo::kBadArgument;
    if (!kernel->chosen) return repo::kNotFound;
    const std::string& chosen = *kernel->chosen;
    if (chosen.size() >= WV_REPOSITORY_NAME_FIELD) {
      std::fprintf(stderr,
                   "TNGWV_RepositoryName_GetFirst: repository name '%s' is longer than %d "
                   "characters\n",
                   chosen.c_str(), WV_REPOSITORY_NAME_FIELD - 1);
      return repo::kTooLong;
    }
    std::memset(name, 0, WV_REPOSITORY_NAME_FIELD);
    chosen.copy(name, chosen.size());  // the zeroed field ends it
    return WV_OK;
  });
}

WV_RC DeleteRepositoryClass(WV_REPOSITORY repository, const char* class_name) {
  return operation("DeleteRepositoryClass", [&]() -> WV_RC {
    if (!issued(repository) || !class_name) return repo::kBadArgument;
    if (tng::preview::run::recording())
      throw repo::Error(repo::kFailed,
                        "a plan cannot hold the removal of a class; nothing was done");
    repo::StoreTransaction t(*repository->store, repo::Store::kWrite);
    repository->store->drop_class(class_name);
    t.commit();
    return WV_OK;
  });
}

WV_RC TNGWV_ObjectPropertyList_Allocate(WV_PROPERTY_LIST* list, int32_t capacity) {
  return operation("TNGWV_ObjectPropertyList_Allocate", [&]() -> WV_RC {
    if (!list) return repo::kBadArgument;
    *list = nullptr;
    if (capacity <= 0) return repo::kBadArgument;
    auto* l = new wv_property_list;
    l->capacity = static_cast<size_t>(capacity);
    *list = l;
    return WV_OK;
  });
}

WV_RC ObjectPropertyListAddItem(WV_PROPERTY_LIST list, const char* property, int32_t type,
                                uint32_t length, const void* value, int32_t) {
  return operation("ObjectPropertyListAddItem", [&]() -> WV_RC {
    if (!issued(list)) return repo::kBadArgument;
    if (list->items.size() >= list->capacity) return repo::kCapacity;
    repo::Test item;
    if (WV_RC rc = make_test(property, type, length, value, item)) return rc;
    for (const repo::Test& other : list->items)
      if (other.property == item.property) return repo::kBadArgument;
    list->items.push_back(std::move(item));
    return WV_OK;
  });
}

WV_RC ObjectPropertyListFree(WV_PROPERTY_LIST* list) {
  try {
    return release(list);
  } catch (...) {
    return repo::kFailed;
  }
}

WV_RC TNGWV_Object_Create(WV_REPOSITORY repository, const char* class_name, WV_PROPERTY_LIST list) {
  return operation("TNGWV_Object_Create", [&]() -> WV_RC {
    if (!issued(repository) || !class_name || !issued(list)) return repo::kBadArgument;
    repo::StoreTransaction t(*repository->store, repo::Store::kWrite);
    const repo::Uuid made = repository->store->create_object(class_name, list->items);
    std::vector<repo::plan::Change> changes;
    if (tng::preview::run::recording())
      changes.push_back(tng::preview::run::link(*repository->store, made));
    t.commit();
    if (!changes.empty()) tng::preview::run::record(std::move(changes));
    return WV_OK;
  });
}

WV_RC TNGWV_ObjectCriteria_Allocate(WV_CRITERIA* criteria, int32_t capacity) {
  return operation("TNGWV_ObjectCriteria_Allocate", [&]() -> WV_RC {
    if (!criteria) return repo::kBadArgument;
    *criteria = nullptr;
    if (capacity <= 0) return repo::kBadArgument;
    auto* c = new wv_criteria;
    c->capacity = static_cast<size_t>(capacity);
    *criteria = c;
    return WV_OK;
  });
}

WV_RC ObjectCriteriaAddItem(WV_CRITERIA criteria, const char* property, int32_t type,
                            uint32_t length, const void* value, int32_t, int32_t op) {
  return operation("ObjectCriteriaAddItem", [&]() -> WV_RC {
    if (!issued(criteria) || op != 1) return repo::kBadArgument;
    if (criteria->tests.size() >= criteria->capacity) return repo::kCapacity;
    repo::Test test;
    if (WV_RC rc = make_test(property, type, length, value, test)) return rc;
    criteria->tests.push_back(std::move(test));
    return WV_OK;
  });
}

WV_RC ObjectCriteriaFree(WV_CRITERIA* criteria) {
  return operation("ObjectCriteriaFree", [&] { return release(criteria); });
}

WV_RC TNGWV_Object_Delete(WV_REPOSITORY repository, const char* class_name, WV_CRITERIA criteria,
                          uint32_t* deleted) {
  return operation("TNGWV_Object_Delete", [&]() -> WV_RC {
    if (!issued(repository) || !class_name || !deleted) return repo::kBadArgument;
    if (criteria && !issued(criteria)) return repo::kBadArgument;
    static const std::vector<repo::Test> none;
    const std::vector<repo::Test>& tests = criteria ? criteria->tests : none;
    repo::StoreTransaction t(*repository->store, repo::Store::kWrite);
    if (!repository->store->class_exists(class_name)) return WV_NO_SUCH_CLASS;
    // A preview takes each object deleted into its plan.
    std::vector<repo::plan::Change> changes;
    if (tng::preview::run::recording())
      repository->store->list_objects(class_name, tests, [&](const repo::ObjectRow& row) {
        changes.push_back(tng::preview::run::removal(row, tests));
      });
    uint32_t n = repository->store->delete_objects(class_name, tests);
    t.commit();
    if (tng::preview::run::recording()) tng::preview::run::record(std::move(changes));
    *deleted = n;
    return WV_OK;
  });
}

WV_RC GetRepositoryObject(WV_REPOSITORY repository, const char* class_name, WV_CRITERIA criteria,
                          const char* properties, int32_t batch, WV_OBJECT_LIST* list,
                          uint32_t* count, int32_t, void** spare) {
  return operation("GetRepositoryObject", [&]() -> WV_RC {
    if (!list || !count) return repo::kBadArgument;
    if (spare) *spare = nullptr;
    if (!issued(repository) || !class_name || batch <= 0) return repo::kBadArgument;
    if (criteria && !issued(criteria)) return repo::kBadArgument;
    static const std::vector<repo::Test> none;
    std::optional<repo::ResultFile> result;
    {
      repo::StoreTransaction t(*repository->store, repo::Store::kRead);
      if (!repository->store->class_exists(class_name)) return WV_NO_SUCH_CLASS;
      result = repository->store->run_query(class_name, criteria ? criteria->tests : none,
                                            properties ? properties : "");
      t.commit();
    }
    auto* l = new wv_object_list(std::move(*result));
    l->batch = static_cast<uint32_t>(batch);
    *list = l;
    uint32_t real = l->file.count();
    *count = tng::faults::reported_count().value_or(real);
    return WV_OK;
  });
}

WV_RC ObjectListFree(WV_OBJECT_LIST* list) {
  return operation("ObjectListFree", [&] { return release(list); });
}

WV_RC TNGWV_Object_GetNext(WV_OBJECT_LIST list, WV_OBJECT* object, int32_t) {
  return operation(
      "TNGWV_Object_GetNext",
      [&]() -> WV_RC {
        if (!object) return repo::kBadArgument;
        *object = nullptr;
        if (!issued(list)) return repo::kBadArgument;
        if (list->delivered >= list->file.count()) return WV_LIST_END;
        list->file.read(list->current.record);
        ++list->delivered;
        *object = &list->current;
        bool batch_full = list->delivered % list->batch == 0;
        bool last = list->delivered == list->file.count();
        return batch_full || last ? WV_BATCH_END : WV_OK;
      },
      /*fetch=*/true);
}

WV_RC ObjectPropertyGet(WV_OBJECT object, const char* property, int32_t* type, uint32_t* length,
                        const void** value, uint8_t* flag) {
  // Both names count: the read in general and the read of this property.
  std::optional<int32_t> general = tng::faults::hit("ObjectPropertyGet");
  std::optional<int32_t> named;
  if (property) named = tng::faults::hit(std::string("ObjectPropertyGet/") + property);
  std::optional<int32_t> injected = named ? named : general;
  if (injected && *injected != WV_OK) return *injected;
  if (!issued(object) || !property || !type || !value) return repo::kBadArgument;
  const repo::Value* v = object->record.find(property);
  if (!v) return repo::kNoProperty;
  *type = v->type;
  *value = v->data;
  if (length) *length = v->length;
  if (flag) *flag = 0;
  return WV_OK;
}

WV_RC UuidValueToBinary(const void* value, uint8_t binary[16]) {
  return operation("UuidValueToBinary", [&]() -> WV_RC {
    if (!value || !binary) return repo::kBadArgument;
    std::memcpy(binary, value, 16);
    return WV_OK;
  });
}

WV_RC StatusNameToNumber(WV_REPOSITORY repository, const char* status, int32_t* number, int32_t) {
  return operation("StatusNameToNumber", [&]() -> WV_RC {
    if (!issued(repository) || !status || !number) return repo::kBadArgument;
    std::optional<int32_t> found = repository->store->status_number(status);
    if (!found) return repo::kNotFound;
    *number = *found;
    return WV_OK;
  });
}

}  // extern "C"
