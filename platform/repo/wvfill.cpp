// wvfill REPO CLASS COUNT
//
// Creates COUNT objects in CLASS through the WorldView API, each with a
// name ("objN"), an address and a status number: the fixture of the
// repository benchmark.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/wvapi.h"

namespace {

WV_RC create_one(WV_REPOSITORY repository, const char* class_name, long i) {
  WV_PROPERTY_LIST props = nullptr;
  WV_RC rc = TNGWV_ObjectPropertyList_Allocate(&props, 20);
  if (rc != WV_OK) return rc;
  std::string name = "obj" + std::to_string(i);
  std::string address = "10." + std::to_string(i / 65536 % 256) + "." +
                        std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
  int32_t status = static_cast<int32_t>(i % 6 + 1);
  ObjectPropertyListAddItem(props, "name", WV_TYPE_TEXT, static_cast<uint32_t>(name.size()),
                            name.data(), 0);
  ObjectPropertyListAddItem(props, "address", WV_TYPE_TEXT, static_cast<uint32_t>(address.size()),
                            address.data(), 0);
  ObjectPropertyListAddItem(props, "status_no", WV_TYPE_INTEGER, 4, &status, 0);
  rc = TNGWV_Object_Create(repository, class_name, props);
  ObjectPropertyListFree(&props);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wvfill REPO CLASS COUNT\n");
    return 2;
  }
  long count = std::strtol(argv[3], nullptr, 10);
  WV_KERNEL kernel = nullptr;
  WV_REPOSITORY repository = nullptr;
  int status = 1;
  TNGWV_Kernel_Start("WVFILL", &kernel, 0);
  if (kernel && TNGWV_Repository_Connect(kernel, argv[1], &repository) == WV_OK) {
    status = 0;
    for (long i = 1; i <= count && status == 0; ++i) {
      if (WV_RC rc = create_one(repository, argv[2], i); rc != WV_OK) {
        std::fprintf(stderr, "wvfill: object %ld: rc = %d\n", i, rc);
        status = 1;
      }
    }
  }
  if (repository) RepositoryDisconnect(&repository);
  if (kernel) KernelStop(&kernel);
  return status;
}
