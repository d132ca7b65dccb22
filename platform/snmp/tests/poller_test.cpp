// The poller: exchanges settle in the order their answers came, an answer
// that came while the caller was busy counts even when its time-out has
// passed meanwhile, an answer that comes twice settles its exchange once,
// a late answer to an ended session reaches nobody, and a synchronous
// request keeps the exchanges that settle while it waits for a later call.
// The agent is a local socket that answers each question with its own
// message turned into a response (the same bindings, without values), when
// and in the order the test says.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"
#include "snmp_core.h"

namespace {

using tng::snmp::Oid;
using tng::snmp::Session;

constexpr uint8_t kGetRequest = 0xA0;
constexpr uint8_t kGetResponse = 0xA2;
const Oid kSysDescr = {1, 3, 6, 1, 2, 1, 1, 1, 0};
const Oid kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kSysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};

// A question as the agent received it, and where it came from.
struct Question {
  std::vector<uint8_t> message;
  sockaddr_in from{};
};

// Where the PDU starts in a v1/v2c message (SEQUENCE { version, community,
// PDU }); 0 when the message is not one.
std::size_t pdu_offset(const std::vector<uint8_t>& m) {
  std::size_t at = 0;
  // Skips a tag and its length; with `into`, stays inside the value.
  const auto skip = [&m, &at](bool into) {
    if (at + 2 > m.size()) return false;
    ++at;
    std::size_t length = m[at++];
    if (length & 0x80) {
      const std::size_t octets = length & 0x7F;
      length = 0;
      for (std::size_t i = 0; i < octets && at < m.size(); ++i) length = length << 8 | m[at++];
    }
    if (!into) at += length;
    return at <= m.size();
  };
  if (m.empty() || m[0] != 0x30 || !skip(true) || !skip(false) || !skip(false)) return 0;
  return at < m.size() ? at : 0;
}

class Agent {
 public:
  Agent() = default;
  ~Agent() { stop(); }
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  std::string address() const { return socket_.address(); }

  // Waits (a second at most) until `count` questions have come.
  std::vector<Question> receive(std::size_t count) {
    std::vector<Question> questions;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (questions.size() < count && std::chrono::steady_clock::now() < until) {
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, 10) <= 0) continue;
      Question q;
      q.message.resize(2048);
      socklen_t size = sizeof q.from;
      const ssize_t n = ::recvfrom(fd_, q.message.data(), q.message.size(), 0,
                                   reinterpret_cast<sockaddr*>(&q.from), &size);
      if (n <= 0) continue;
      q.message.resize(static_cast<std::size_t>(n));
      questions.push_back(std::move(q));
    }
    EXPECT_EQ(questions.size(), count) << "questions that reached the agent";
    return questions;
  }

  // Answers a question: its own message as a response.
  void answer(const Question& q) {
    std::vector<uint8_t> response = q.message;
    const std::size_t at = pdu_offset(response);
    ASSERT_NE(at, 0u) << "not a v1/v2c message";
    ASSERT_EQ(response[at], kGetRequest);
    response[at] = kGetResponse;
    ASSERT_EQ(::sendto(fd_, response.data(), response.size(), 0,
                       reinterpret_cast<const sockaddr*>(&q.from), sizeof q.from),
              static_cast<ssize_t>(response.size()));
  }

  // From now on answers every question at once, on a thread of its own,
  // while the test waits in the poller.
  void answer_everything() {
    running_ = true;
    thread_ = std::thread([this] {
      while (running_) {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, 10) <= 0) continue;
        Question q;
        q.message.resize(2048);
        socklen_t size = sizeof q.from;
        const ssize_t n = ::recvfrom(fd_, q.message.data(), q.message.size(), 0,
                                     reinterpret_cast<sockaddr*>(&q.from), &size);
        if (n <= 0) continue;
        q.message.resize(static_cast<std::size_t>(n));
        answer(q);
      }
    });
  }

  void stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }

 private:
  LoopbackSocket socket_;
  int fd_ = socket_.fd();
  std::atomic<bool> running_{false};
  std::thread thread_;
};

std::unique_ptr<Session> open(const Agent& agent, int32_t timeout_ms, int32_t retries) {
  tng::snmp::OpenError error{};
  auto session = Session::open(agent.address(), 161, "public", {timeout_ms, retries}, error);
  EXPECT_NE(session, nullptr);
  return session;
}

// The name of the one binding the session's answer carries.
std::optional<Oid> answered_name(const Session& session) {
  if (!session.reply() || session.reply()->bindings.size() != 1) return std::nullopt;
  return session.reply()->bindings.front().name;
}

TEST(Poller, ExchangesSettleInTheOrderTheirAnswersCame) {
  Agent agent;
  auto first = open(agent, 2000, 0);
  auto second = open(agent, 2000, 0);
  auto third = open(agent, 2000, 0);
  ASSERT_TRUE(first->send(kGetRequest, {kSysDescr}));
  ASSERT_TRUE(second->send(kGetRequest, {kSysUpTime}));
  ASSERT_TRUE(third->send(kGetRequest, {kSysName}));
  const std::vector<Question> questions = agent.receive(3);
  ASSERT_EQ(questions.size(), 3u);
  agent.answer(questions[2]);
  agent.answer(questions[0]);
  agent.answer(questions[1]);

  EXPECT_EQ(tng::snmp::wait_any(), third.get());
  EXPECT_EQ(tng::snmp::wait_any(), first.get());
  EXPECT_EQ(tng::snmp::wait_any(), second.get());
  EXPECT_EQ(tng::snmp::wait_any(), nullptr) << "nothing is under way";
  EXPECT_EQ(answered_name(*first), kSysDescr);
  EXPECT_EQ(answered_name(*second), kSysUpTime);
  EXPECT_EQ(answered_name(*third), kSysName);
}

TEST(Poller, AnAnswerThatCameWhileTheCallerWasBusyCountsAfterItsTimeOut) {
  Agent agent;
  auto session = open(agent, 30, 0);  // one try of 30 ms
  ASSERT_TRUE(session->send(kGetRequest, {kSysDescr}));
  const std::vector<Question> questions = agent.receive(1);
  ASSERT_EQ(questions.size(), 1u);
  agent.answer(questions[0]);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // busy past the time-out

  EXPECT_EQ(tng::snmp::wait_any(), session.get());
  EXPECT_EQ(answered_name(*session), kSysDescr) << "read before the time-out gives it up";
}

TEST(Poller, AnAnswerThatComesTwiceSettlesItsExchangeOnce) {
  Agent agent;
  auto session = open(agent, 2000, 0);
  ASSERT_TRUE(session->send(kGetRequest, {kSysDescr}));
  const std::vector<Question> questions = agent.receive(1);
  ASSERT_EQ(questions.size(), 1u);
  agent.answer(questions[0]);
  agent.answer(questions[0]);

  EXPECT_EQ(tng::snmp::wait_any(), session.get());
  EXPECT_EQ(tng::snmp::wait_any(), nullptr);
  // The session asks again; the copy of the first answer answers nothing.
  ASSERT_TRUE(session->send(kGetRequest, {kSysUpTime}));
  const std::vector<Question> again = agent.receive(1);
  ASSERT_EQ(again.size(), 1u);
  agent.answer(again[0]);
  EXPECT_EQ(tng::snmp::wait_any(), session.get());
  EXPECT_EQ(answered_name(*session), kSysUpTime);
}

TEST(Poller, ALateAnswerToAnEndedSessionReachesNobody) {
  Agent agent;
  auto ended = open(agent, 2000, 0);
  ASSERT_TRUE(ended->send(kGetRequest, {kSysDescr}));
  const std::vector<Question> questions = agent.receive(1);
  ASSERT_EQ(questions.size(), 1u);
  ended.reset();
  agent.answer(questions[0]);

  auto other = open(agent, 2000, 0);  // on the same socket
  ASSERT_TRUE(other->send(kGetRequest, {kSysUpTime}));
  const std::vector<Question> asked = agent.receive(1);
  ASSERT_EQ(asked.size(), 1u);
  agent.answer(asked[0]);
  EXPECT_EQ(tng::snmp::wait_any(), other.get());
  EXPECT_EQ(answered_name(*other), kSysUpTime);
  EXPECT_EQ(tng::snmp::wait_any(), nullptr);
}

TEST(Poller, ASynchronousRequestKeepsWhatSettlesMeanwhileForALaterWait) {
  Agent agent;
  agent.answer_everything();
  auto earlier = open(agent, 1000, 0);
  auto waited = open(agent, 1000, 0);
  ASSERT_TRUE(earlier->send(kGetRequest, {kSysDescr}));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its answer is there first
  const std::optional<tng::snmp::Reply> reply = waited->request(kGetRequest, {kSysUpTime});
  ASSERT_TRUE(reply.has_value());
  ASSERT_EQ(reply->bindings.size(), 1u);
  EXPECT_EQ(reply->bindings.front().name, kSysUpTime);
  EXPECT_EQ(tng::snmp::wait_any(), earlier.get()) << "settled while the request waited";
  EXPECT_EQ(answered_name(*earlier), kSysDescr);
  EXPECT_EQ(tng::snmp::wait_any(), nullptr);
  agent.stop();
}

}  // namespace
