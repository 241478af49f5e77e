// The values a port may be given for a TCP line, and what is said about bad ones.
#include "app/net/tcp_address.h"

#include <gtest/gtest.h>

#include "app/net/tcp_line.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {
namespace {

TEST(TcpAddress, GoodValuesGiveHostAndPort) {
  const struct {
    const char* value;
    const char* host;
    uint16_t port;
  } cases[] = {
      {"tcp:127.0.0.1:4532", "127.0.0.1", 4532},
      {"TCP:127.0.0.1:1", "127.0.0.1", 1},
      {"tcp:[::1]:4532", "::1", 4532},
      {"tcp:[fe80::1%eth0]:65535", "fe80::1%eth0", 65535},
      {"tcp:0.0.0.0:4532", "0.0.0.0", 4532},
      {"tcp:*:4532", "", 4532},
      {"tcp:localhost:4532", "localhost", 4532},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_TRUE(IsTcpLineName(c.value));
    const TcpAddress a = ParseTcpAddress(c.value);
    EXPECT_EQ(a.host, c.host);
    EXPECT_EQ(a.port, c.port);
  }
  EXPECT_FALSE(IsTcpLineName("pty:/tmp/a"));
  EXPECT_FALSE(IsTcpLineName("/dev/tcp"));
}

TEST(TcpAddress, BadValuesSayWhatIsWrong) {
  const struct {
    const char* value;
    const char* says;
  } cases[] = {
      {"tcp:127.0.0.1", "no port after the address"},
      {"tcp:127.0.0.1:", "the port is not a number from 1 to 65535"},
      {"tcp:127.0.0.1:0", "the port is not a number from 1 to 65535"},
      {"tcp:127.0.0.1:65536", "the port is not a number from 1 to 65535"},
      {"tcp:127.0.0.1:45x", "the port is not a number from 1 to 65535"},
      {"tcp:127.0.0.1:-1", "the port is not a number from 1 to 65535"},
      {"tcp::4532", "the address is empty"},
      {"tcp:::1:4532", "an IPv6 address goes in brackets"},
      {"tcp:[::1:4532", "no closing \"]\""},
      {"tcp:[::1]4532", "no port after the address"},
      {"tcp:[]:4532", "the address is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    try {
      ParseTcpAddress(c.value);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(std::string("\"") + c.value + "\""), std::string::npos) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << what;
    }
  }
}

// An address that is not this machine's, or no address at all, cannot be listened on; the
// error carries the system's code for the operator.
TEST(TcpLine, AnAddressThatCannotBeBoundRaisesWithTheSystemsCode) {
  MainThread::Instance().Attach();
  EventLoop loop;
  const struct {
    const char* value;
    int code;
  } cases[] = {
      {"tcp:192.0.2.1:4532", EADDRNOTAVAIL},  // a documentation address, never local
      {"tcp:[2001:db8::1]:4532", EADDRNOTAVAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    TcpLine line(c.value, 8, {});
    try {
      line.Listen(&loop);
      ADD_FAILURE() << "listening";
    } catch (const TcpLineError& e) {
      EXPECT_EQ(e.SystemError(), c.code) << e.what();
    }
    EXPECT_FALSE(line.Listening());
  }
}

}  // namespace
}  // namespace corvane
