// The registry and UUID stand-ins, through their C operations, the
// framework home that the registry and the repositories share, a run's
// temporary files and our own messages on stderr.
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/home.h"
#include "platform/registry.h"
#include "platform/rpc_uuid.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = ::testing::TempDir() + "registry-test.ini";
    std::ofstream(file_) << "; comment\r\n"
                            "[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]\r\n"
                            "InstallPath = /opt/tng/install \r\n"
                            "Empty=\n"
                            "[software\\computerassociates\\ca-unicenter/tng\\agent technologies]\n"
                            "InstallPath=/opt/tng/agents\n";
    setenv("TNG_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TNG_REGISTRY");
    std::remove(file_.c_str());
  }
  std::string file_;
};

TEST_F(Registry, KeysMatchWithoutRegardToCaseAndKeepTheirForwardSlash) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies", 0,
                          KEY_QUERY_VALUE, &key),
            ERROR_SUCCESS);
  char data[80] = {};
  uint32_t length = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "installpath", nullptr, nullptr, reinterpret_cast<uint8_t*>(data),
                             &length),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "/opt/tng/agents");
  EXPECT_EQ(length, sizeof "/opt/tng/agents");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ComputerAssociates\\CA-Unicenter\\TNG", 0,
                          KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(Registry, LengthCountsTheTerminatorAndShortBuffersGetMoreData) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion", 0,
                          KEY_QUERY_VALUE, &key),
            ERROR_SUCCESS);
  const std::string value = "/opt/tng/install";
  uint32_t type = 0, length = 0;
  EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, &type, nullptr, &length), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
  EXPECT_EQ(length, value.size() + 1);

  char small[8] = {};
  length = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, nullptr,
                             reinterpret_cast<uint8_t*>(small), &length),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, value.size() + 1);
  EXPECT_EQ(small[0], '\0');  // nothing copied

  char exact[17] = {};
  length = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, nullptr,
                             reinterpret_cast<uint8_t*>(exact), &length),
            ERROR_SUCCESS);
  EXPECT_EQ(value, exact);

  length = sizeof exact;
  EXPECT_EQ(
      RegQueryValueExA(key, "Empty", nullptr, nullptr, reinterpret_cast<uint8_t*>(exact), &length),
      ERROR_SUCCESS);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &length),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(Registry, MissingFileIsAKeyThatCannotBeOpened) {
  setenv("TNG_REGISTRY", (file_ + ".absent").c_str(), 1);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion", 0,
                          KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

// Sets or unsets environment variables for one test and puts them back.
class Environment {
 public:
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(FrameworkHome, TngHomeThenHomeThenThePasswordDatabase) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string from_database =
      std::string(user->pw_dir) == "/" ? "/.tng" : std::string(user->pw_dir) + "/.tng";
  struct Case {
    const char* tng_home;
    const char* home;
    std::string want;
  } cases[] = {
      {"/srv/tng", "/home/u", "/srv/tng"}, {nullptr, "/home/u", "/home/u/.tng"},
      {"", "/home/u/", "/home/u/.tng"},    {nullptr, "/", "/.tng"},
      {nullptr, nullptr, from_database},   {"", "", from_database},
  };
  for (const Case& c : cases) {
    Environment env;
    env.set("TNG_HOME", c.tng_home);
    env.set("HOME", c.home);
    EXPECT_EQ(tng::home::framework_home().value_or("(none)"), c.want)
        << (c.tng_home ? c.tng_home : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

TEST(Uuid, TextFormRoundTripsInLowerCase) {
  UUID a{}, b{};
  ASSERT_EQ(UuidCreate(&a), RPC_S_OK);
  char* text = nullptr;
  ASSERT_EQ(UuidToStringA(&a, &text), RPC_S_OK);
  std::string s = text;
  RpcStringFreeA(&text);
  EXPECT_EQ(text, nullptr);
  ASSERT_EQ(s.size(), 36u);
  EXPECT_EQ(s.find_first_not_of("0123456789abcdef-"), std::string::npos);
  ASSERT_EQ(UuidFromStringA(s.c_str(), &b), RPC_S_OK);
  EXPECT_EQ(0, std::memcmp(a.bytes, b.bytes, 16));

  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(UuidFromStringA(s.c_str(), &b), RPC_S_OK);
  EXPECT_EQ(0, std::memcmp(a.bytes, b.bytes, 16));
}

TEST(Uuid, MalformedTextIsRefused) {
  UUID u{};
  for (const char* bad :
       {"", "6ba7b810-9dad-11d1-80b4-00c04fd430c", "6ba7b810-9dad-11d1-80b4-00c04fd430c8 ",
        "{6ba7b810-9dad-11d1-80b4-00c04fd430c8}", "6ba7b8109dad-11d1-80b4-00c04fd430c8-",
        "6ba7b810-9dad-11d1-80b4-00c04fd430cg"})
    EXPECT_EQ(UuidFromStringA(bad, &u), RPC_S_INVALID_STRING_UUID) << bad;
}

// A temporary file is removed only when this run made it: a file of that
// name that was there before is emptied and used, but left in place.
TEST(TempFile, RemovesOnlyWhatThisRunCreated) {
  const std::string made = ::testing::TempDir() + "tempfile-made.log";
  const std::string found = ::testing::TempDir() + "tempfile-found.log";
  std::remove(made.c_str());
  std::ofstream(found) << "someone else's\n";
  {
    tng::files::TempFile ours(made), theirs(found);
    ASSERT_TRUE(ours.create());
    ASSERT_TRUE(theirs.create());
    theirs.write("%s\n", "written");
    theirs.flush();
    std::ifstream in(found);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "written\n") << "emptied and used";
    ASSERT_TRUE(ours.create()) << "created again: still this run's";
  }
  EXPECT_NE(access(made.c_str(), F_OK), 0) << "this run's file is removed";
  EXPECT_EQ(access(found.c_str(), F_OK), 0) << "the file that was there stays";
  std::remove(found.c_str());
}

// A message goes after what standard output holds so far, and is led by
// the program's name.
TEST(Diag, FollowsWhatStandardOutputHoldsAndNamesTheProgram) {
  EXPECT_EQ(tng::diag::program(), "tng_os_stand_ins_test");
  const std::string both = ::testing::TempDir() + "diag-test.out";
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_out = dup(STDOUT_FILENO);
  const int saved_err = dup(STDERR_FILENO);
  const int fd = open(both.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  dup2(fd, STDOUT_FILENO);
  dup2(fd, STDERR_FILENO);
  close(fd);
  std::fputs("output so far, ", stdout);  // no line end: still buffered
  tng::diag::say("the %s\n", "message");
  tng::diag::say_plain("SNMPv3: %d\n", 3);
  std::fflush(stdout);
  dup2(saved_out, STDOUT_FILENO);
  dup2(saved_err, STDERR_FILENO);
  close(saved_out);
  close(saved_err);
  std::ifstream in(both);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "output so far, tng_os_stand_ins_test: the message\nSNMPv3: 3\n");
  std::remove(both.c_str());
}

}  // namespace
