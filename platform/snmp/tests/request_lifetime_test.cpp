// A request sent on a session is released when that session ends, unless it
// was sent on another session since; nothing here waits for an answer (the
// port has no agent, and none is needed to send).
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/tng_snmp.h"

namespace {

constexpr uint32_t kSysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
constexpr uint16_t kNoAgentPort = 9;

TNG_SNMP_SESSION open_session() {
  return TngSnmp_OpenSession("public", "127.0.0.1", 2, 8, 0, kNoAgentPort, nullptr, 0);
}

TNG_SNMP_REQUEST new_request() {
  TNG_SNMP_REQUEST request = TngSnmp_CreateRequest(TNG_SNMP_GET_REQUEST);
  EXPECT_NE(request, nullptr);
  EXPECT_EQ(TngSnmp_AddBinding(request, kSysDescr, 9), 1);
  return request;
}

// Whether the handle still names a request.
bool alive(TNG_SNMP_REQUEST request) { return TngSnmp_AddBinding(request, kSysDescr, 9) == 1; }

TEST(RequestLifetime, EndsWithTheSessionItWasLastSentOn) {
  TNG_SNMP_SESSION first = open_session();
  TNG_SNMP_SESSION second = open_session();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  TNG_SNMP_REQUEST moved = new_request();
  TNG_SNMP_REQUEST stays = new_request();
  TNG_SNMP_REQUEST never_sent = new_request();
  ASSERT_EQ(TngSnmp_Send(first, moved), 1);
  ASSERT_EQ(TngSnmp_Send(second, moved), 1);
  ASSERT_EQ(TngSnmp_EndSession(first), 1);
  EXPECT_TRUE(alive(moved)) << "sent on the second session since";
  EXPECT_EQ(TngSnmp_EndSession(first), 0) << "a stale session handle names nothing";

  TNG_SNMP_SESSION third = open_session();
  ASSERT_NE(third, nullptr);
  ASSERT_EQ(TngSnmp_Send(third, stays), 1);
  ASSERT_EQ(TngSnmp_EndSession(second), 1);
  EXPECT_FALSE(alive(moved));
  EXPECT_TRUE(alive(stays));
  EXPECT_TRUE(alive(never_sent));
  ASSERT_EQ(TngSnmp_EndSession(third), 1);
  EXPECT_FALSE(alive(stays));
  TngSnmp_ReleaseRequest(stays);  // harmless: released with its session
  TngSnmp_ReleaseRequest(never_sent);
  EXPECT_FALSE(alive(never_sent));
}

}  // namespace
