// Error codes, their texts, and how a port reports them.
#include "cport/com_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cport/cport.h"

namespace {

TEST(ComErrorTexts, EveryCodeHasItsText) {
  const char* expected[] = {
      "Unable to open com port",
      "WriteFile function failed",
      "ReadFile function failed",
      "Invalid Async parameter",
      "PurgeComm function failed",
      "Unable to get async status",
      "SetCommState function failed",
      "SetCommTimeouts failed",
      "SetupComm function failed",
      "ClearCommError function failed",
      "GetCommModemStatus function failed",
      "EscapeCommFunction function failed",
      "TransmitCommChar function failed",
      "Cannot set property while connected",
      "EnumPorts function failed",
      "Failed to store settings",
      "Failed to load settings",
      "Link (un)registration failed",
      "Cannot change led state if ComPort is selected",
      "Cannot wait for event if event thread is created",
      "WaitForEvent method failed",
      "A component is linked to OnRxBuf event",
      "Registry error",
      "Port Not Open",
  };
  static_assert(std::size(expected) == 24);
  for (int code = 1; code <= 24; ++code) {
    EXPECT_EQ(corvane::ComErrorText(code), expected[code - 1]) << code;
  }
  EXPECT_EQ(corvane::ComErrorText(0), "");
  EXPECT_EQ(corvane::ComErrorText(25), "");
  EXPECT_EQ(corvane::ComExceptionOf(1), CE_OpenFailed);
  EXPECT_EQ(corvane::ComExceptionOf(24), CEPortNotOpen);
}

TEST(EComPortMessage, PlatformCodeOnlyWhenThereIsOne) {
  const EComPort with(7, 5);
  EXPECT_STREQ(with.what(), "SetCommState function failed (Error: 5)");
  EXPECT_EQ(with.SystemError(), 5);
  EXPECT_EQ(with.ComErrorCode(), 7);

  const EComPort without(24);
  EXPECT_STREQ(without.what(), "Port Not Open");
  EXPECT_EQ(without.SystemError(), -1);
  EXPECT_EQ(without.ComErrorCode(), 24);
}

TEST(ReportPortError, RaisesWhenNoHandlerIsAssigned) {
  struct Case {
    uint16_t code;
    int64_t winError;
    const char* message;
    int32_t systemError;
  } cases[] = {
      {1, 2, "Unable to open com port (Error: 2)", 2},
      {7, 5, "SetCommState function failed (Error: 5)", 5},
      {24, -24, "Port Not Open", -1},  // a negative code is never shown
      {14, 0, "Cannot set property while connected", -1},
      // only the low 32 bits of a 64-bit code reach the message
      {10, (int64_t{1} << 32) | 13, "ClearCommError function failed (Error: 13)", 13},
  };
  TComPort port;
  for (const Case& c : cases) {
    try {
      port.ReportPortError(c.code, c.winError);
      ADD_FAILURE() << "no exception for " << c.code;
    } catch (const EComPort& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.ComErrorCode(), c.code);
      EXPECT_EQ(e.SystemError(), c.systemError);
    }
  }
}

struct Report {
  TObject* sender = nullptr;
  TComExceptions kind{};
  std::string comportMessage;
  int64_t winError = 0;
  std::string winMessage;
};

TEST(ReportPortError, AnAssignedHandlerGetsTheReportInstead) {
  TComPort port;
  std::vector<Report> reports;
  port.SetOnException(
      [&](TObject* s, TComExceptions k, const std::string& cm, int64_t we, const std::string& wm) {
        reports.push_back({s, k, cm, we, wm});
      });

  for (uint16_t code = 1; code <= 24; ++code) {
    EXPECT_NO_THROW(port.ReportPortError(code, code == 24 ? -24 : 0));
  }
  ASSERT_EQ(reports.size(), 24u);
  EXPECT_EQ(reports.front().kind, CE_OpenFailed);
  EXPECT_EQ(reports.back().kind, CEPortNotOpen);
  EXPECT_EQ(reports.back().winError, -24);
  for (const Report& r : reports) {
    EXPECT_EQ(r.sender, &port);
    EXPECT_EQ(r.comportMessage, corvane::ComErrorText(r.kind + 1));
    EXPECT_TRUE(r.winMessage.empty());
  }

  reports.clear();
  port.ReportPortError(1, 2);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].comportMessage, "Unable to open com port") << "no suffix here";
  EXPECT_EQ(reports[0].winError, 2);
  EXPECT_EQ(reports[0].winMessage, std::string("System Error.  Code: 2.\r\n") + std::strerror(2));
}

TEST(ReportPortError, TransferCallsGoOnAfterAReportTheHandlerTook) {
  struct Case {
    const char* name;
    std::function<int32_t(TComPort&, TComAsync*)> call;
    bool record;
    std::vector<int> codes;
    std::vector<int64_t> winErrors;
  };
  char buffer[4] = {};
  const std::vector<Case> cases = {
      {"a write without a record", [&](TComPort& p, TComAsync* a) { return p.StartWrite("FA;", 3, a); },
       false, {4}, {0}},
      {"a read without a record", [&](TComPort& p, TComAsync* a) { return p.StartRead(buffer, 4, a); },
       false, {4}, {0}},
      {"an await without a record", [](TComPort& p, TComAsync* a) { return p.AwaitAsync(a); }, false,
       {4}, {0}},
      // The transfer is tried on the missing device as well, and fails.
      {"a write on a closed port", [&](TComPort& p, TComAsync* a) { return p.StartWrite("FA;", 3, a); },
       true, {24, 2}, {-24, EBADF}},
      {"a read on a closed port", [&](TComPort& p, TComAsync* a) { return p.StartRead(buffer, 4, a); },
       true, {24, 3}, {-24, EBADF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port;
    std::vector<int> codes;
    std::vector<int64_t> winErrors;
    port.SetOnException(
        [&](TObject*, TComExceptions k, const std::string&, int64_t we, const std::string&) {
          codes.push_back(k + 1);
          winErrors.push_back(we);
        });
    PAsync async;
    if (c.record) AllocAsync(async);
    EXPECT_EQ(c.call(port, async.get()), 0);
    EXPECT_EQ(codes, c.codes);
    EXPECT_EQ(winErrors, c.winErrors);
    // Without the handler the first report raises.
    TComPort plain;
    try {
      c.call(plain, async.get());
      ADD_FAILURE() << "no exception";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.ComErrorCode(), c.codes.front());
    }
  }
}

TEST(ReportPortError, AnExceptionFromTheHandlerPropagates) {
  TComPort port;
  port.SetOnException([](TObject*, TComExceptions, const std::string&, int64_t,
                         const std::string&) { throw std::runtime_error("from handler"); });
  EXPECT_THROW(port.ReportPortError(3, 5), std::runtime_error);
}

TEST(ReportPortError, WithAHandlerAFailedOpenLeavesThePortClosed) {
  TComPort port;
  port.SetPort("/nonexistent/ttyNothing");
  int reports = 0;
  port.SetOnException(
      [&](TObject*, TComExceptions k, const std::string&, int64_t we, const std::string&) {
        EXPECT_EQ(k, CE_OpenFailed);
        EXPECT_EQ(we, 2);
        ++reports;
      });
  port.OpenPort();
  EXPECT_EQ(reports, 1) << "nothing is applied to a device that did not open";
  EXPECT_FALSE(port.Connected());
}

}  // namespace
