// The look-ahead walk with a fake tool over a real repository: whatever the
// window and the order in which answers come, each pass takes its objects
// in list order with their questions settled; no more devices have
// questions under way at once than the window, and no more are read ahead
// than the limit in flight; a device that ends the run stops the reading; a
// pass finished early leaves nothing behind for the next.
#include "foundation/lookahead_walk.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "repository.h"

namespace tng {
namespace {

namespace fs = std::filesystem;

struct FakeProbe;

// The devices' side: the questions under way, and the order they finish in.
struct FakeNetwork {
  bool newest_first = false;  // answers come last-asked first
  std::string ends_run_at;    // the device whose probe ends the run
  std::vector<FakeProbe*> in_flight;
  std::vector<std::string> asked;  // each device's first question, in order
  std::size_t live = 0;            // probes alive (asked, not yet dropped)
  std::size_t most_live = 0;
  std::size_t most_in_flight = 0;  // questions under way at once

  void ask(FakeProbe* probe) {
    in_flight.push_back(probe);
    most_in_flight = std::max(most_in_flight, in_flight.size());
  }

  const void* finish_one() {
    if (in_flight.empty()) return nullptr;
    auto next = newest_first ? in_flight.end() - 1 : in_flight.begin();
    const void* session = *next;
    in_flight.erase(next);
    return session;
  }
  void forget(FakeProbe* probe) { std::erase(in_flight, probe); }
};

FakeNetwork* network = nullptr;

// A device asked two questions, one after the other.
struct FakeProbe {
  std::string address;
  int questions_left = 2;

  explicit FakeProbe(std::string device) : address(std::move(device)) {
    network->asked.push_back(address);
    network->ask(this);
    network->most_live = std::max(network->most_live, ++network->live);
  }
  ~FakeProbe() {
    network->forget(this);
    --network->live;
  }
  const void* waiting_on() const { return settled() ? nullptr : this; }
  void answer_arrived() {
    if (--questions_left > 0) network->ask(this);
  }
  bool settled() const { return questions_left == 0; }
};

struct FakeTool {
  using Pass = std::string;
  using Probe = FakeProbe;
  using Session = const void*;

  std::string_view class_of(const std::string& pass) const { return pass; }
  std::unique_ptr<FakeProbe> ask(const std::string&, const AheadStep& step) const {
    return std::make_unique<FakeProbe>(step.address_text());
  }
  bool ends_run(const FakeProbe& probe) const { return probe.address == network->ends_run_at; }
  // Every question under way is fresh: no time passes here.
  static const void* wait_any(std::size_t fresh_below) {
    if (fresh_below > 0 && network->in_flight.size() < fresh_below) return nullptr;
    return network->finish_one();
  }
  static std::size_t fresh() { return network->in_flight.size(); }
};

using Walk = LookaheadWalk<FakeTool>;

class LookaheadWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lookahead_test.XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("TNG_HOME", root_.c_str(), 1);
    fs::create_directories(root_ / "repositories");
    repo::create_repository("R", std::nullopt);
    ToolAnswers answers;
    answers.repository = "R";
    ASSERT_EQ(session_.open_by_name(answers), RepositorySession::Opened::Connected);
    for (const char* name : {"l0", "l1", "l2"}) add("Linux", name);
    for (const char* name : {"w0", "w1", "w2", "w3"}) add("Windows2000_Server", name);
    network = &network_;
  }
  void TearDown() override {
    network = nullptr;
    session_.close();
    fs::remove_all(root_);
  }

  // An object whose address is its name.
  void add(const char* cls, const std::string& name) {
    WV_PROPERTY_LIST props = nullptr;
    ASSERT_EQ(TNGWV_ObjectPropertyList_Allocate(&props, 4), WV_OK);
    for (const char* property : {"name", "address"})
      ObjectPropertyListAddItem(props, property, WV_TYPE_TEXT, static_cast<uint32_t>(name.size()),
                                name.data(), 0);
    EXPECT_EQ(TNGWV_Object_Create(session_.repository(), cls, props), WV_OK);
    ObjectPropertyListFree(&props);
  }

  // Walks every pass to its end as a tool does; returns, per pass, its
  // query's outcome and the objects taken.
  std::vector<std::string> walk_all(Walk& walk) {
    std::vector<std::string> seen;
    for (std::size_t pass = 0; pass < walk.size(); ++pass) {
      const auto query = walk.begin(pass);
      std::string line = walk.pass(pass) + ":";
      if (query.outcome != RepositorySession::Query::Found) line += " none";
      for (uint32_t i = 0; query.outcome == RepositorySession::Query::Found && i < query.count;
           ++i) {
        walk.fill();
        Walk::Object object = walk.take(pass);
        if (object.kind != AheadStep::Kind::Object) break;
        EXPECT_TRUE(object.probe->settled()) << object.name.text;
        line += " " + object.name.text;
      }
      walk.finish(pass);
      seen.push_back(line);
    }
    return seen;
  }

  fs::path root_;
  RepositorySession session_{"TEST"};
  FakeNetwork network_;
};

const std::vector<std::string> kPasses = {"Linux", "Host", "Nothing", "Windows2000_Server"};

struct WindowCase {
  int window;
  std::size_t in_flight;  // devices read ahead at most
  bool newest_first;
};

constexpr WindowCase kWindows[] = {{1, 1, false},  {1, 1, true},  {2, 2, false},   {2, 2, true},
                                   {3, 3, true},   {7, 7, true},  {64, 64, false}, {64, 64, true},
                                   {2, 64, false}, {2, 64, true}, {3, 5, true}};

TEST_F(LookaheadWalkTest, EachPassTakesItsObjectsInListOrderWithinTheWindow) {
  const std::vector<std::string> in_order = {"Linux: l0 l1 l2", "Host: none", "Nothing: none",
                                             "Windows2000_Server: w0 w1 w2 w3"};
  for (const WindowCase& c : kWindows) {
    network_ = FakeNetwork{};
    network_.newest_first = c.newest_first;
    Walk walk(FakeTool{}, session_, c.window, c.in_flight, kPasses);
    EXPECT_EQ(walk_all(walk), in_order) << "window " << c.window;
    // Every device asked once, in list order, across the passes.
    EXPECT_EQ(network_.asked, (std::vector<std::string>{"l0", "l1", "l2", "w0", "w1", "w2", "w3"}))
        << "window " << c.window;
    EXPECT_LE(network_.most_in_flight, static_cast<std::size_t>(c.window)) << "window " << c.window;
    EXPECT_LE(network_.most_live, c.in_flight) << "window " << c.window;
    EXPECT_EQ(network_.live, 0u);
  }
}

TEST_F(LookaheadWalkTest, ADeviceThatEndsTheRunStopsTheReadingAtIt) {
  network_.ends_run_at = "l1";
  Walk walk(FakeTool{}, session_, 64, 64, kPasses);
  ASSERT_EQ(walk.begin(0).count, 3u);
  walk.fill();
  EXPECT_EQ(walk.take(0).name.text, "l0");
  walk.fill();
  EXPECT_EQ(walk.take(0).name.text, "l1");
  EXPECT_EQ(network_.asked, (std::vector<std::string>{"l0", "l1"}));
}

TEST_F(LookaheadWalkTest, APassFinishedEarlyLeavesTheNextPassWhole) {
  Walk walk(FakeTool{}, session_, 64, 64, kPasses);
  ASSERT_EQ(walk.begin(0).count, 3u);
  walk.fill();
  EXPECT_EQ(walk.take(0).name.text, "l0");
  // l1 and l2 were asked, and are dropped unanswered; the next pass's
  // devices, asked ahead across the end of the pass, stay under way.
  walk.finish(0);
  EXPECT_EQ(network_.live, 4u);
  for (const FakeProbe* probe : network_.in_flight) EXPECT_EQ(probe->address[0], 'w');
  std::vector<std::string> rest;
  ASSERT_EQ(walk.begin(3).count, 4u);
  for (int i = 0; i < 4; ++i) {
    walk.fill();
    rest.push_back(walk.take(3).name.text);
  }
  EXPECT_EQ(rest, (std::vector<std::string>{"w0", "w1", "w2", "w3"}));
}

}  // namespace
}  // namespace tng
