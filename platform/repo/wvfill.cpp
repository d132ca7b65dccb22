// wvfill REPO CLASS COUNT [127.B [AGENTS [EVERY]]]
//
// Creates COUNT objects in CLASS through the WorldView API, each with a
// name, an address and a status number: the fixture of the benchmarks.
// Without a block, objects "objN" (N from 1) get addresses in 10.0.0.0/8,
// which nothing ever asks. With a loopback block 127.B, objects "devI" (I
// from 0) get the I-th address of the block, counted 250 to a /24 from
// 127.B.0.1 and going on below the block (127.B-1) after 62,500. With
// AGENTS, the objects whose I is a multiple of EVERY (1 unless given: all)
// share the first AGENTS addresses, object I at address (I / EVERY) modulo
// AGENTS, and every other object has an address of its own after them (at
// AGENTS + I): the answering devices and the silent ones of a bench, with
// few agent sockets (the kernel looks through every socket bound to a port
// for each datagram to that port that finds none).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/wvapi.h"

namespace {

struct Naming {
  std::optional<long> block;  // the B of 127.B
  long agents = 0;            // the shared addresses, 0: one per object
  long every = 1;
};

std::string address_of(const Naming& naming, long i) {
  if (!naming.block)
    return "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256);
  const long j = naming.agents == 0      ? i
                 : i % naming.every == 0 ? i / naming.every % naming.agents
                                         : naming.agents + i;
  return "127." + std::to_string(*naming.block - j / 62500) + "." + std::to_string(j / 250 % 250) +
         "." + std::to_string(j % 250 + 1);
}

WV_RC create_one(WV_REPOSITORY repository, const char* class_name, const Naming& naming, long i) {
  WV_PROPERTY_LIST props = nullptr;
  WV_RC rc = TNGWV_ObjectPropertyList_Allocate(&props, 20);
  if (rc != WV_OK) return rc;
  std::string name = (naming.block ? "dev" : "obj") + std::to_string(i);
  std::string address = address_of(naming, i);
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

// A whole number from lo to hi, or nothing.
std::optional<long> number(const char* text, long lo, long hi) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < lo || value > hi) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 7) {
    std::fprintf(stderr, "usage: wvfill REPO CLASS COUNT [127.B [AGENTS [EVERY]]]\n");
    return 2;
  }
  const auto count = number(argv[3], 0, 10'000'000);
  Naming naming;
  if (argc >= 5) {
    const std::string prefix = argv[4];
    naming.block = prefix.starts_with("127.") ? number(prefix.c_str() + 4, 1, 255) : std::nullopt;
    if (argc >= 6) naming.agents = number(argv[5], 1, 10'000'000).value_or(0);
    if (argc == 7) naming.every = number(argv[6], 1, 1000).value_or(0);
  }
  if (!count || (argc >= 5 && !naming.block) || (argc >= 6 && naming.agents == 0) ||
      naming.every == 0) {
    std::fprintf(stderr, "wvfill: COUNT, 127.B, AGENTS or EVERY out of range\n");
    return 2;
  }
  // Every address must stay in the block's loopback range.
  const long used = naming.agents + *count;
  if (naming.block && used > 0 && *naming.block - (used - 1) / 62500 < 1) {
    std::fprintf(stderr, "wvfill: %ld addresses do not fit below 127.%ld\n", used, *naming.block);
    return 2;
  }
  WV_KERNEL kernel = nullptr;
  WV_REPOSITORY repository = nullptr;
  int status = 1;
  TNGWV_Kernel_Start("WVFILL", &kernel, 0);
  if (kernel && TNGWV_Repository_Connect(kernel, argv[1], &repository) == WV_OK) {
    status = 0;
    const long first = naming.block ? 0 : 1;
    for (long i = first; i < first + *count && status == 0; ++i) {
      if (WV_RC rc = create_one(repository, argv[2], naming, i); rc != WV_OK) {
        std::fprintf(stderr, "wvfill: object %ld: rc = %d\n", i, rc);
        status = 1;
      }
    }
  }
  if (repository) RepositoryDisconnect(&repository);
  if (kernel) KernelStop(&kernel);
  return status;
}
