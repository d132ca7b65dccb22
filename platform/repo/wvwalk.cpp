// wvwalk REPO CLASS PROPERTIES BATCH [--pause] [--quiet]
//
// Walks one class through the WorldView API the way the suite's tools do and
// shows what the API answers: the query's code and count, then per fetch its
// code and the properties read. A diagnostic and benchmark aid for the
// repository; it honours TNG_FAULTS like every program of the suite.
// REPO "?" picks the repository in the selection dialog.
//   --pause  after the query, wait for one line on standard input before
//            walking (lets a test change the repository in between);
//   --quiet  print only the totals.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wvapi.h"

namespace {

// Prints one property as the walk read it.
void show(WV_OBJECT object, const std::string& name) {
  int32_t type = 0;
  uint32_t length = 0;
  const void* value = nullptr;
  uint8_t flag = 0;
  WV_RC rc = ObjectPropertyGet(object, name.c_str(), &type, &length, &value, &flag);
  if (rc != WV_OK) {
    std::printf(" %s:rc=%d", name.c_str(), rc);
  } else if (type == WV_TYPE_TEXT) {
    std::printf(" %s=%s", name.c_str(), static_cast<const char*>(value));
  } else if (type == WV_TYPE_INTEGER) {
    int32_t v = 0;
    std::memcpy(&v, value, 4);
    std::printf(" %s=%d", name.c_str(), v);
  } else {
    uint8_t bytes[16];
    UuidValueToBinary(value, bytes);
    std::printf(" %s=", name.c_str());
    for (uint8_t b : bytes) std::printf("%02x", b);
  }
}

std::vector<std::string> split(const char* list) {
  std::vector<std::string> names;
  std::string item;
  for (const char* p = list;; ++p) {
    if (*p == ',' || *p == '\0') {
      size_t a = item.find_first_not_of(' '), b = item.find_last_not_of(' ');
      if (a != std::string::npos) names.push_back(item.substr(a, b - a + 1));
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: wvwalk REPO CLASS PROPERTIES BATCH [--pause] [--quiet]\n");
    return 2;
  }
  const char* repository_name = argv[1];
  const char* class_name = argv[2];
  const char* properties = argv[3];
  int32_t batch = std::atoi(argv[4]);
  bool pause = false, quiet = false;
  for (int i = 5; i < argc; ++i) {
    pause = pause || std::string_view(argv[i]) == "--pause";
    quiet = quiet || std::string_view(argv[i]) == "--quiet";
  }

  WV_KERNEL kernel = nullptr;
  WV_REPOSITORY repository = nullptr;
  WV_CRITERIA criteria = nullptr;
  WV_OBJECT_LIST list = nullptr;
  int status = 1;
  uint32_t count = 0, delivered = 0;
  char chosen[WV_REPOSITORY_NAME_FIELD] = {};
  WV_RC rc = TNGWV_Kernel_Start("WVWALK", &kernel, 0);
  if (!kernel) {
    std::printf("kernel start rc=%d\n", rc);
    goto close;
  }
  if (std::string_view(repository_name) == "?") {
    rc = TNGWV_RepositoryName_DisplaySelectDialog(kernel, 1);
    std::printf("dialog rc=%d\n", rc);
    if (rc != WV_OK) goto close;
    if ((rc = TNGWV_RepositoryName_GetFirst(kernel, chosen)) != WV_OK) {
      std::printf("name rc=%d\n", rc);
      goto close;
    }
    std::printf("chosen %s\n", chosen);
    repository_name = chosen;
  }
  if ((rc = TNGWV_Repository_Connect(kernel, repository_name, &repository)) != WV_OK) {
    std::printf("connect rc=%d\n", rc);
    goto close;
  }
  if ((rc = TNGWV_ObjectCriteria_Allocate(&criteria, 20)) != WV_OK) {
    std::printf("criteria rc=%d\n", rc);
    goto close;
  }
  ObjectCriteriaAddItem(criteria, "class_name", WV_TYPE_TEXT,
                        static_cast<uint32_t>(std::strlen(class_name)), class_name, 0, 1);
  rc = GetRepositoryObject(repository, class_name, criteria, properties, batch, &list, &count, 0,
                           nullptr);
  std::printf("query rc=%d count=%" PRIu32 "\n", rc, count);
  std::fflush(stdout);
  if (rc != WV_OK) goto close;
  if (pause) {
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) goto close;
  }
  for (;;) {
    WV_OBJECT object = nullptr;
    rc = TNGWV_Object_GetNext(list, &object, 0);
    if (rc != WV_OK && rc != WV_BATCH_END) break;
    ++delivered;
    if (quiet) continue;
    std::printf("rc=%d", rc);
    for (const std::string& name : split(properties)) show(object, name);
    std::printf("\n");
  }
  std::printf("end rc=%d delivered=%" PRIu32 "\n", rc, delivered);
  status = 0;
close:
  if (list) ObjectListFree(&list);
  if (criteria) ObjectCriteriaFree(&criteria);
  if (repository) RepositoryDisconnect(&repository);
  if (kernel) KernelStop(&kernel);
  return status;
}
