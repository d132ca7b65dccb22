// Exchanges that share a socket: each request and each of its resends goes
// to its own agent, and exchanges whose sessions ended are never asked
// again. The "agents" are local sockets that never answer and count what
// reaches them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "loopback_socket.h"
#include "snmp_core.h"

namespace {

using tng::snmp::Session;

const tng::snmp::Oid kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};

// A UDP socket on a free loopback port that never answers.
class SilentAgent {
 public:
  SilentAgent() = default;
  SilentAgent(const SilentAgent&) = delete;
  SilentAgent& operator=(const SilentAgent&) = delete;

  std::string address() const { return socket_.address(); }

  // The datagrams received so far.
  int questions() {
    char buffer[2048];
    while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) ++seen_;
    return seen_;
  }

 private:
  LoopbackSocket socket_;
  int fd_ = socket_.fd();
  int seen_ = 0;
};

std::unique_ptr<Session> open(const SilentAgent& agent, int retries) {
  tng::snmp::OpenError error{};
  auto session = Session::open(agent.address(), 161, "public", {40, retries}, error);
  EXPECT_NE(session, nullptr);
  return session;
}

TEST(Carrier, EveryResendGoesToItsOwnAgent) {
  SilentAgent first, second;
  auto a = open(first, 2);  // the same settings: one socket carries both
  auto b = open(second, 2);
  ASSERT_TRUE(a->send(0xA0, {kSysUpTime}));
  ASSERT_TRUE(b->request(0xA0, {kSysUpTime}) == std::nullopt);
  while (tng::snmp::wait_any() != nullptr) {
  }
  EXPECT_FALSE(a->under_way());
  EXPECT_EQ(first.questions(), 3) << "the question and its two retries";
  EXPECT_EQ(second.questions(), 3) << "the question and its two retries";
}

TEST(Carrier, ExchangesOfEndedSessionsAreNeverAskedAgain) {
  SilentAgent dropped, waited;
  {
    std::vector<std::unique_ptr<Session>> ending;
    for (int i = 0; i < 100; ++i) {  // more than one socket carries
      ending.push_back(open(dropped, 3));
      ASSERT_TRUE(ending.back()->send(0xA0, {kSysUpTime}));
    }
  }  // every session ends with its question under way
  auto other = open(waited, 3);
  EXPECT_TRUE(other->request(0xA0, {kSysUpTime}) == std::nullopt);
  EXPECT_EQ(dropped.questions(), 100) << "asked once each, never again";
  EXPECT_EQ(waited.questions(), 4);
}

TEST(Carrier, AnUnansweredExchangeStopsBeingFreshLongBeforeItsTimeOut) {
  SilentAgent agent;
  tng::snmp::OpenError error{};
  auto session = Session::open(agent.address(), 161, "public", {400, 0}, error);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(session->send(0xA0, {kSysUpTime}));
  EXPECT_EQ(tng::snmp::fresh(), 1u);
  // Room for one more fresh exchange comes before the answer or time-out.
  EXPECT_EQ(tng::snmp::wait_any(1), nullptr);
  EXPECT_TRUE(session->under_way());
  EXPECT_EQ(tng::snmp::fresh(), 0u);
  EXPECT_EQ(tng::snmp::wait_any(), session.get()) << "then the time-out settles it";
  EXPECT_FALSE(session->reply().has_value());
  EXPECT_EQ(agent.questions(), 1);
}

}  // namespace
