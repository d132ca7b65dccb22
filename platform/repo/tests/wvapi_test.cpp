// The WorldView API driven directly: query semantics, criteria, deletes,
// class removal, the selection dialog's name field. Every case runs on the
// embedded repository, and once more on a server repository when
// TNG_TEST_PG_CONNINFO names a database to make it in.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "admin.h"
#include "platform/wvapi.h"
#include "repository.h"

namespace fs = std::filesystem;
namespace repo = tng::repo;

namespace {

enum class Backend { kEmbedded, kServer };

class Api : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    const char* server = std::getenv("TNG_TEST_PG_CONNINFO");
    if (GetParam() == Backend::kServer && (!server || !*server))
      GTEST_SKIP() << "TNG_TEST_PG_CONNINFO names no server database";
    char pattern[] = "/tmp/wvapi_test.XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("TNG_HOME", root_.c_str(), 1);
    unsetenv("WV_REPOSITORY");
    fs::create_directories(root_ / "repositories");
    std::optional<std::string> conninfo;
    if (GetParam() == Backend::kServer) conninfo = server;
    repo::create_repository("R", conninfo);
    ASSERT_EQ(TNGWV_Kernel_Start("TEST", &kernel_, 0), WV_OK);
    ASSERT_EQ(TNGWV_Repository_Connect(kernel_, "R", &repository_), WV_OK);
  }
  void TearDown() override {
    if (root_.empty()) return;
    ObjectListFree(&list_);
    ObjectCriteriaFree(&criteria_);
    RepositoryDisconnect(&repository_);
    KernelStop(&kernel_);
    repo::remove_repository("R");
    fs::remove_all(root_);
  }
  bool embedded() const { return GetParam() == Backend::kEmbedded; }

  // Adds an object through the API: name (text), address (text), n (int).
  void add(const char* cls, const std::string& name, const std::string& address, int32_t n) {
    WV_PROPERTY_LIST props = nullptr;
    ASSERT_EQ(TNGWV_ObjectPropertyList_Allocate(&props, 20), WV_OK);
    ObjectPropertyListAddItem(props, "name", WV_TYPE_TEXT, static_cast<uint32_t>(name.size()),
                              name.data(), 0);
    ObjectPropertyListAddItem(props, "address", WV_TYPE_TEXT, static_cast<uint32_t>(address.size()),
                              address.data(), 0);
    ObjectPropertyListAddItem(props, "n", WV_TYPE_INTEGER, 4, &n, 0);
    EXPECT_EQ(TNGWV_Object_Create(repository_, cls, props), WV_OK);
    ObjectPropertyListFree(&props);
  }

  WV_RC query(const char* cls, const char* properties, int32_t batch = 10) {
    ObjectListFree(&list_);
    return GetRepositoryObject(repository_, cls, criteria_, properties, batch, &list_, &count_, 0,
                               nullptr);
  }

  void criterion(const char* property, const std::string& text) {
    if (!criteria_) {
      ASSERT_EQ(TNGWV_ObjectCriteria_Allocate(&criteria_, 20), WV_OK);
    }
    ASSERT_EQ(ObjectCriteriaAddItem(criteria_, property, WV_TYPE_TEXT,
                                    static_cast<uint32_t>(text.size()), text.data(), 0, 1),
              WV_OK);
  }
  void criterion(const char* property, int32_t n) {
    if (!criteria_) {
      ASSERT_EQ(TNGWV_ObjectCriteria_Allocate(&criteria_, 20), WV_OK);
    }
    ASSERT_EQ(ObjectCriteriaAddItem(criteria_, property, WV_TYPE_INTEGER, 4, &n, 0, 1), WV_OK);
  }

  // Walks the list; the names read, and the fetch codes.
  std::vector<std::string> walk(std::vector<WV_RC>* codes = nullptr) {
    std::vector<std::string> names;
    for (;;) {
      WV_OBJECT object = nullptr;
      WV_RC rc = TNGWV_Object_GetNext(list_, &object, 0);
      if (codes) codes->push_back(rc);
      if (rc != WV_OK && rc != WV_BATCH_END) break;
      int32_t type = -1;
      uint32_t length = 0;
      const void* value = nullptr;
      uint8_t flag = 0;
      if (ObjectPropertyGet(object, "name", &type, &length, &value, &flag) == WV_OK &&
          type == WV_TYPE_TEXT)
        names.emplace_back(static_cast<const char*>(value));
    }
    return names;
  }

  fs::path root_;
  WV_KERNEL kernel_ = nullptr;
  WV_REPOSITORY repository_ = nullptr;
  WV_CRITERIA criteria_ = nullptr;
  WV_OBJECT_LIST list_ = nullptr;
  uint32_t count_ = 0;
};

TEST_P(Api, QueryOfMissingClassAnswers10AndHoldsNoList) {
  EXPECT_EQ(query("NoSuchClass", "name"), WV_NO_SUCH_CLASS);
  EXPECT_EQ(list_, nullptr);
}

TEST_P(Api, FetchCodesMarkTheEndOfEveryBatchAndTheEndOfTheList) {
  for (int i = 0; i < 7; ++i) add("Linux", "l" + std::to_string(i), "a", i);
  ASSERT_EQ(query("Linux", "name", 3), WV_OK);
  EXPECT_EQ(count_, 7u);
  std::vector<WV_RC> codes;
  walk(&codes);
  EXPECT_EQ(codes, (std::vector<WV_RC>{
                       0,
                       0,
                       14,
                       0,
                       0,
                       14,
                       14,
                       15,
                   }));
  WV_OBJECT object = nullptr;
  EXPECT_EQ(TNGWV_Object_GetNext(list_, &object, 0), WV_LIST_END);  // stays at the end
}

TEST_P(Api, ListIsFixedAtTheQueryAndHoldsNoTransactionWhileWalked) {
  for (int i = 0; i < 5; ++i) add("Linux", "l" + std::to_string(i), "old", i);
  ASSERT_EQ(query("Linux", "name,address"), WV_OK);

  // Another connection moves, deletes and adds objects.
  {
    std::unique_ptr<repo::Store> other = repo::open_store("R");
    other->move_object("u", "Linux", "l0", "Host", "2026-01-01T00:00:00Z");
    repo::StoreTransaction t(*other, repo::Store::kWrite);
    EXPECT_EQ(other->delete_objects("Linux", {{"name", WV_TYPE_TEXT, "l1"}}), 1u);
    t.commit();
    add("Linux", "late", "x", 9);
  }
  // On the embedded file, values change under the list too, and the whole
  // log can be checkpointed: no reader holds a snapshot.
  if (embedded()) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open((root_ / "repositories" / "R.db").c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw, "UPDATE props SET value = 'new' WHERE name = 'address'", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    int log = -1, copied = -1;
    EXPECT_EQ(sqlite3_wal_checkpoint_v2(raw, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &copied),
              SQLITE_OK)
        << "the checkpoint was blocked by a reader";
    sqlite3_close(raw);
  }
  std::vector<std::string> addresses;
  WV_OBJECT object = nullptr;
  std::vector<std::string> names;
  while (TNGWV_Object_GetNext(list_, &object, 0) != WV_LIST_END) {
    int32_t type;
    uint32_t length;
    const void* value;
    uint8_t flag;
    ASSERT_EQ(ObjectPropertyGet(object, "name", &type, &length, &value, &flag), WV_OK);
    names.emplace_back(static_cast<const char*>(value));
    ASSERT_EQ(ObjectPropertyGet(object, "address", &type, &length, &value, &flag), WV_OK);
    addresses.emplace_back(static_cast<const char*>(value));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"l0", "l1", "l2", "l3", "l4"}));
  EXPECT_EQ(addresses, std::vector<std::string>(5, "old"));
}

// A result that outgrows the part kept in memory moves to a file while it is
// written; a record may straddle the move, and every object still comes back
// whole and in order.
TEST_P(Api, ALargeListReadsBackWholeAcrossTheMoveToAFile) {
  const std::string address(50, 'a');
  const int objects = static_cast<int>(3 * repo::ResultFile::kInMemory / 100);
  {
    std::unique_ptr<repo::Store> store = repo::open_store("R");
    repo::StoreTransaction t(*store, repo::Store::kWrite);
    for (int i = 0; i < objects; ++i)
      store->create_object("Linux", {{"name", WV_TYPE_TEXT, "l" + std::to_string(i)},
                                     {"address", WV_TYPE_TEXT, address + std::to_string(i)}});
    t.commit();
  }
  ASSERT_EQ(query("Linux", "name,address", 1000), WV_OK);
  ASSERT_EQ(count_, static_cast<uint32_t>(objects));
  WV_OBJECT object = nullptr;
  int i = 0;
  for (WV_RC rc; (rc = TNGWV_Object_GetNext(list_, &object, 0)) != WV_LIST_END; ++i) {
    ASSERT_TRUE(rc == WV_OK || rc == WV_BATCH_END) << "rc " << rc << " at object " << i;
    int32_t type;
    uint32_t length;
    const void* value;
    uint8_t flag;
    ASSERT_EQ(ObjectPropertyGet(object, "name", &type, &length, &value, &flag), WV_OK);
    ASSERT_EQ(std::string(static_cast<const char*>(value)), "l" + std::to_string(i));
    ASSERT_EQ(ObjectPropertyGet(object, "address", &type, &length, &value, &flag), WV_OK);
    ASSERT_EQ(std::string(static_cast<const char*>(value)), address + std::to_string(i));
  }
  EXPECT_EQ(i, objects);
}

TEST_P(Api, PropertyReadsGiveTypedValuesAndFailForWhatWasNotAskedOrIsMissing) {
  add("Linux", "alpha", "10.0.0.1", -7);
  WV_PROPERTY_LIST props = nullptr;
  ASSERT_EQ(TNGWV_ObjectPropertyList_Allocate(&props, 2), WV_OK);
  ObjectPropertyListAddItem(props, "name", WV_TYPE_TEXT, 4, "bare", 0);
  ASSERT_EQ(TNGWV_Object_Create(repository_, "Linux", props), WV_OK);
  ObjectPropertyListFree(&props);

  ASSERT_EQ(query("Linux", " name , n,uuid, class_name"), WV_OK);
  WV_OBJECT object = nullptr;
  int32_t type;
  uint32_t length;
  const void* value;
  uint8_t flag;
  ASSERT_EQ(TNGWV_Object_GetNext(list_, &object, 0), WV_OK);
  ASSERT_EQ(ObjectPropertyGet(object, "n", &type, &length, &value, &flag), WV_OK);
  EXPECT_EQ(type, WV_TYPE_INTEGER);
  EXPECT_EQ(*static_cast<const int32_t*>(value), -7);
  ASSERT_EQ(ObjectPropertyGet(object, "uuid", &type, &length, &value, &flag), WV_OK);
  EXPECT_EQ(type, WV_TYPE_UUID);
  EXPECT_EQ(length, 16u);
  ASSERT_EQ(ObjectPropertyGet(object, "class_name", &type, &length, &value, &flag), WV_OK);
  EXPECT_STREQ(static_cast<const char*>(value), "Linux");
  EXPECT_NE(ObjectPropertyGet(object, "address", &type, &length, &value, &flag), WV_OK)
      << "address was not asked for";
  ASSERT_EQ(TNGWV_Object_GetNext(list_, &object, 0), WV_BATCH_END);
  EXPECT_NE(ObjectPropertyGet(object, "n", &type, &length, &value, &flag), WV_OK)
      << "the second object has no n";
}

TEST_P(Api, CriteriaMustAllHoldAndCompareTypes) {
  add("Linux", "a", "x", 1);
  add("Linux", "b", "x", 2);
  add("Linux", "c", "y", 2);
  add("Host", "d", "x", 2);
  criterion("class_name", std::string("Linux"));
  criterion("address", std::string("x"));
  criterion("n", 2);
  ASSERT_EQ(query("Linux", "name"), WV_OK);
  EXPECT_EQ(walk(), std::vector<std::string>{"b"});

  ObjectCriteriaFree(&criteria_);
  criterion("n", std::string("2"));  // a text never equals an integer
  ASSERT_EQ(query("Linux", "name"), WV_OK);
  EXPECT_EQ(count_, 0u);
}

TEST_P(Api, CriteriaAndPropertyListsRefuseItemsBeyondTheirCapacityOrOfBadShape) {
  ASSERT_EQ(TNGWV_ObjectCriteria_Allocate(&criteria_, 2), WV_OK);
  int32_t n = 1;
  EXPECT_EQ(ObjectCriteriaAddItem(criteria_, "a", WV_TYPE_INTEGER, 4, &n, 0, 1), WV_OK);
  EXPECT_EQ(ObjectCriteriaAddItem(criteria_, "b", WV_TYPE_INTEGER, 3, &n, 0, 1),
            repo::kBadArgument);
  EXPECT_EQ(ObjectCriteriaAddItem(criteria_, "b", 7, 4, &n, 0, 1), repo::kBadArgument);
  EXPECT_EQ(ObjectCriteriaAddItem(criteria_, "b", WV_TYPE_INTEGER, 4, &n, 0, 1), WV_OK);
  EXPECT_EQ(ObjectCriteriaAddItem(criteria_, "c", WV_TYPE_INTEGER, 4, &n, 0, 1), repo::kCapacity);

  WV_PROPERTY_LIST props = nullptr;
  ASSERT_EQ(TNGWV_ObjectPropertyList_Allocate(&props, 1), WV_OK);
  EXPECT_EQ(ObjectPropertyListAddItem(props, "n", WV_TYPE_INTEGER, 4, &n, 0), WV_OK);
  EXPECT_EQ(ObjectPropertyListAddItem(props, "m", WV_TYPE_INTEGER, 4, &n, 0), repo::kCapacity);
  ObjectPropertyListFree(&props);
  EXPECT_EQ(props, nullptr);
}

TEST_P(Api, DeleteRemovesWhatMeetsTheCriteriaInItsClassOnly) {
  for (int32_t status : {4, 1, 4}) add("VistrelManager", "v", "a", status);
  add("Host", "h", "a", 4);
  int32_t absent = 0;
  ASSERT_EQ(StatusNameToNumber(repository_, "ANY:ABSENT", &absent, 0), WV_OK);
  EXPECT_NE(absent, 0);
  EXPECT_NE(StatusNameToNumber(repository_, "NO:SUCH", &absent, 0), WV_OK);
  criterion("n", int32_t{4});
  uint32_t deleted = 99;
  ASSERT_EQ(TNGWV_Object_Delete(repository_, "VistrelManager", criteria_, &deleted), WV_OK);
  EXPECT_EQ(deleted, 2u);
  ASSERT_EQ(TNGWV_Object_Delete(repository_, "VistrelManager", criteria_, &deleted), WV_OK);
  EXPECT_EQ(deleted, 0u);
  EXPECT_EQ(TNGWV_Object_Delete(repository_, "Nothing", criteria_, &deleted), WV_NO_SUCH_CLASS);
  ObjectCriteriaFree(&criteria_);
  ASSERT_EQ(query("Host", "name"), WV_OK);
  EXPECT_EQ(count_, 1u);
}

TEST_P(Api, ClassDeleteRefusesAClassInUse) {
  add("VistrelManager", "v", "a", 1);
  EXPECT_EQ(DeleteRepositoryClass(repository_, "VistrelManager"), repo::kInUse);
  EXPECT_EQ(DeleteRepositoryClass(repository_, "Agent"), repo::kInUse);  // has a subclass
  uint32_t deleted = 0;
  ASSERT_EQ(TNGWV_Object_Delete(repository_, "VistrelManager", nullptr, &deleted), WV_OK);
  EXPECT_EQ(DeleteRepositoryClass(repository_, "VistrelManager"), WV_OK);
  EXPECT_EQ(DeleteRepositoryClass(repository_, "VistrelManager"), WV_NO_SUCH_CLASS);
  EXPECT_EQ(query("VistrelManager", "name"), WV_NO_SUCH_CLASS);
}

TEST_P(Api, CreateKeepsAGivenUuidAndRefusesAClassNameOfAnotherClass) {
  uint8_t uuid[16];
  for (int i = 0; i < 16; ++i) uuid[i] = static_cast<uint8_t>(i + 1);
  WV_PROPERTY_LIST props = nullptr;
  ASSERT_EQ(TNGWV_ObjectPropertyList_Allocate(&props, 20), WV_OK);
  ObjectPropertyListAddItem(props, "uuid", WV_TYPE_UUID, 16, uuid, 0);
  ObjectPropertyListAddItem(props, "class_name", WV_TYPE_TEXT, 9, "Inclusion", 0);
  EXPECT_EQ(TNGWV_Object_Create(repository_, "Inclusion", props), WV_OK);
  EXPECT_EQ(TNGWV_Object_Create(repository_, "Inclusion", props), repo::kExists);
  EXPECT_EQ(TNGWV_Object_Create(repository_, "Unispace", props), repo::kBadArgument);
  EXPECT_EQ(TNGWV_Object_Create(repository_, "Nothing", props), WV_NO_SUCH_CLASS);
  ObjectPropertyListFree(&props);

  ASSERT_EQ(query("Inclusion", "uuid"), WV_OK);
  WV_OBJECT object = nullptr;
  ASSERT_EQ(TNGWV_Object_GetNext(list_, &object, 0), WV_BATCH_END);
  int32_t type;
  uint32_t length;
  const void* value;
  uint8_t flag;
  ASSERT_EQ(ObjectPropertyGet(object, "uuid", &type, &length, &value, &flag), WV_OK);
  uint8_t back[16];
  ASSERT_EQ(UuidValueToBinary(value, back), WV_OK);
  EXPECT_EQ(std::memcmp(back, uuid, 16), 0);
}

TEST_P(Api, SelectedNameMustFitTheField) {
  char field[WV_REPOSITORY_NAME_FIELD];
  EXPECT_NE(TNGWV_RepositoryName_GetFirst(kernel_, field), WV_OK) << "nothing chosen yet";
  setenv("WV_REPOSITORY", std::string(31, 'r').c_str(), 1);
  ASSERT_EQ(TNGWV_RepositoryName_DisplaySelectDialog(kernel_, 1), WV_OK);
  ASSERT_EQ(TNGWV_RepositoryName_GetFirst(kernel_, field), WV_OK);
  EXPECT_EQ(std::string(field), std::string(31, 'r'));
  setenv("WV_REPOSITORY", std::string(32, 'r').c_str(), 1);
  ASSERT_EQ(TNGWV_RepositoryName_DisplaySelectDialog(kernel_, 1), WV_OK);
  EXPECT_EQ(TNGWV_RepositoryName_GetFirst(kernel_, field), repo::kTooLong);
  unsetenv("WV_REPOSITORY");
}

TEST_P(Api, ConnectNeverCreatesARepositoryAndHandlesAreChecked) {
  WV_REPOSITORY other = nullptr;
  EXPECT_NE(TNGWV_Repository_Connect(kernel_, "Missing", &other), WV_OK);
  EXPECT_EQ(other, nullptr);
  EXPECT_FALSE(fs::exists(root_ / "repositories" / "Missing.db"));
  EXPECT_NE(TNGWV_Repository_Connect(kernel_, "../R", &other), WV_OK);
  WV_KERNEL stopped = kernel_;
  ASSERT_EQ(KernelStop(&kernel_), WV_OK);
  EXPECT_EQ(kernel_, nullptr);
  EXPECT_NE(TNGWV_Repository_Connect(stopped, "R", &other), WV_OK) << "a freed kernel";
}

TEST_P(Api, AnObjectOfAFreedListIsRefusedNotRead) {
  add("Linux", "a", "x", 1);
  ASSERT_EQ(query("Linux", "name"), WV_OK);
  WV_OBJECT object = nullptr;
  ASSERT_EQ(TNGWV_Object_GetNext(list_, &object, 0), WV_BATCH_END);
  ASSERT_EQ(ObjectListFree(&list_), WV_OK);
  EXPECT_EQ(list_, nullptr);
  int32_t type;
  uint32_t length;
  const void* value;
  uint8_t flag;
  EXPECT_EQ(ObjectPropertyGet(object, "name", &type, &length, &value, &flag), repo::kBadArgument);
  EXPECT_EQ(TNGWV_Object_GetNext(list_, &object, 0), repo::kBadArgument);
  EXPECT_EQ(object, nullptr);
}

// ---- The store's reads and writes below the API ----

std::string name_of(const repo::ObjectRow& row) {
  const repo::Test* t = row.find("name");
  return t ? t->value : "";
}

// Pages of a class read by keyset (the last id of a page starts the next)
// hold every object once, in creation order, whatever the page size; the
// filter keeps those whose name or address holds the text.
TEST_P(Api, PagesHoldEveryObjectOnceAndTheFilterLooksAtNameAndAddress) {
  for (int i = 0; i < 25; ++i)
    add("Linux", "l" + std::to_string(i), i % 5 == 0 ? "10.0.0." + std::to_string(i) : "x", i);
  add("Host", "h", "10.0.0.99", 0);
  std::unique_ptr<repo::Store> store = repo::open_store("R");
  repo::StoreTransaction t(*store, repo::Store::kRead);
  for (size_t size : {1u, 7u, 25u, 100u}) {
    std::vector<std::string> seen;
    repo::ObjectFilter filter;
    filter.class_name = "Linux";
    filter.limit = size;
    for (;;) {
      size_t rows = 0;
      store->list_objects(filter, [&](const repo::ObjectRow& row) {
        seen.push_back(name_of(row));
        filter.after = row.id;
        ++rows;
      });
      if (rows < size) break;
    }
    ASSERT_EQ(seen.size(), 25u) << "page size " << size;
    for (int i = 0; i < 25; ++i) EXPECT_EQ(seen[i], "l" + std::to_string(i));
  }
  std::vector<std::string> found;
  repo::ObjectFilter filter;
  filter.class_name = "Linux";
  filter.contains = "10.0.0.";
  store->list_objects(filter, [&](const repo::ObjectRow& row) { found.push_back(name_of(row)); });
  EXPECT_EQ(found, (std::vector<std::string>{"l0", "l5", "l10", "l15", "l20"}));
  found.clear();
  filter.contains = "l2";
  store->list_objects(filter, [&](const repo::ObjectRow& row) { found.push_back(name_of(row)); });
  EXPECT_EQ(found, (std::vector<std::string>{"l2", "l20", "l21", "l22", "l23", "l24"}));
  int64_t linux_count = -1, host_count = -1;
  store->count_by_class([&](const repo::ClassCount& c) {
    if (c.name == "Linux") linux_count = c.count;
    if (c.name == "Host") host_count = c.count;
  });
  EXPECT_EQ(linux_count, 25);
  EXPECT_EQ(host_count, 1);
}

// A move by uuid happens only while the object is where the mover saw it,
// and leaves an audit record that filtered reads find.
TEST_P(Api, AMoveByUuidChecksTheSourceAndIsFoundInTheAuditTrail) {
  add("Linux", "a", "x", 1);
  std::unique_ptr<repo::Store> store = repo::open_store("R");
  repo::Uuid uuid{};
  {
    repo::StoreTransaction t(*store, repo::Store::kRead);
    store->list_objects("Linux", {}, [&](const repo::ObjectRow& row) { uuid = row.uuid; });
  }
  repo::AuditEntry audit;
  audit.time = "2026-01-02T03:04:05Z";
  audit.user = "planner";
  audit.action = "plan";
  {
    repo::StoreTransaction t(*store, repo::Store::kWrite);
    store->move_object(uuid, "Linux", "Host", "a", audit);
    t.commit();
  }
  {
    repo::StoreTransaction t(*store, repo::Store::kWrite);
    try {
      store->move_object(uuid, "Linux", "Host", "a", audit);
      ADD_FAILURE() << "a second move from where the object no longer is succeeded";
    } catch (const repo::Error& e) {
      EXPECT_EQ(e.code(), repo::kChanged);
    }
    try {
      store->move_object(uuid, "Host", "NoSuchClass", "a", audit);
      ADD_FAILURE() << "a move to a missing class succeeded";
    } catch (const repo::Error& e) {
      EXPECT_EQ(e.code(), WV_NO_SUCH_CLASS);
    }
  }
  store->move_object("someone", "Host", "a", "Linux", "2026-02-01T00:00:00Z");
  repo::StoreTransaction t(*store, repo::Store::kRead);
  std::optional<repo::ObjectRow> found = store->find_object(uuid);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->class_name, "Linux");
  EXPECT_EQ(name_of(*found), "a");
  EXPECT_FALSE(store->find_object(repo::new_uuid()));

  // (filter, the users of the records it must find, oldest first)
  struct Case {
    repo::AuditFilter filter;
    std::vector<std::string> users;
  };
  repo::AuditFilter by_user, by_class, by_period, by_uuid, newest;
  by_user.user = "planner";
  by_class.class_name = "Host";
  by_period.since = "2026-02-01";
  by_uuid.uuid = uuid;
  newest.newest_first = true;
  newest.limit = 1;
  for (const Case& c : std::vector<Case>{{by_user, {"planner"}},
                                         {by_class, {"planner", "someone"}},
                                         {by_period, {"someone"}},
                                         {by_uuid, {"planner", "someone"}},
                                         {newest, {"someone"}}}) {
    std::vector<std::string> users;
    store->list_audit(c.filter, [&](const repo::AuditEntry& e) {
      users.push_back(e.user);
      EXPECT_EQ(e.uuid, uuid);
      EXPECT_EQ(e.name, "a");
    });
    EXPECT_EQ(users, c.users);
  }
}

// A copy holds what the repository held at the copy, ids and audit trail
// included, and goes its own way after; removed, it is gone.
TEST_P(Api, ACopyIsWholeAndIndependentAndRemovedWithItsRegistration) {
  for (int i = 0; i < 3; ++i) add("Linux", "l" + std::to_string(i), "x", i);
  {
    std::unique_ptr<repo::Store> store = repo::open_store("R");
    store->move_object("u", "Linux", "l0", "Host", "2026-01-01T00:00:00Z");
  }
  repo::copy_repository("R", "C");
  auto dump = [](std::string_view name) {
    std::vector<std::string> lines;
    std::unique_ptr<repo::Store> store = repo::open_store(name);
    repo::StoreTransaction t(*store, repo::Store::kRead);
    store->list_objects(std::nullopt, {}, [&](const repo::ObjectRow& row) {
      lines.push_back(std::to_string(row.id) + " " + row.class_name + " " +
                      repo::uuid_text(row.uuid) + " " + name_of(row));
    });
    store->list_audit([&](const repo::AuditEntry& e) {
      lines.push_back(std::to_string(e.id) + " " + e.user + " " + e.name + " " + e.to);
    });
    return lines;
  };
  std::vector<std::string> before = dump("R");
  EXPECT_EQ(dump("C"), before);
  EXPECT_THROW(repo::copy_repository("R", "C"), repo::Error);
  {
    std::unique_ptr<repo::Store> copy = repo::open_store("C");
    copy->move_object("u", "Linux", "l1", "Host", "2026-01-01T00:00:01Z");
    repo::StoreTransaction t(*copy, repo::Store::kWrite);
    copy->create_object("Linux", {{"name", WV_TYPE_TEXT, "new"}});
    t.commit();
  }
  EXPECT_EQ(dump("R"), before);
  std::vector<std::string> after = dump("C");
  ASSERT_EQ(after.size(), before.size() + 2);
  repo::remove_repository("C");
  EXPECT_THROW(repo::open_store("C"), repo::Error);
  EXPECT_EQ(repo::repository_names(), std::vector<std::string>{"R"});
}

INSTANTIATE_TEST_SUITE_P(Backends, Api, ::testing::Values(Backend::kEmbedded, Backend::kServer),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::kEmbedded ? "Embedded" : "Server";
                         });

TEST(KernelStart, FailsWithoutAnInstall) {
  setenv("TNG_HOME", "/nonexistent/tng-home", 1);
  WV_KERNEL kernel = nullptr;
  EXPECT_NE(TNGWV_Kernel_Start("TEST", &kernel, 0), WV_OK);
  EXPECT_EQ(kernel, nullptr);
}

}  // namespace
