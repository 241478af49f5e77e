// The bridge object on real pseudo-terminals: start-up, the cutter, the FA/FB exchange,
// the ring of pending commands, routing, the watchdog and the configuration file.
#include "app/corvane_form.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/error_display.h"
#include "app/port_failures.h"
#include "cport/platform/device_opener.h"
#include "cport/platform/fake_device.h"
#include "rt/descriptor_watch.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/app/corvane_process.h"
#include "tests/app/recording_view.h"
#include "tests/app/tcp_client.h"
#include "tests/support/pty_pair.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;
using Label = TCorvaneView::Label;

// Runs the test inside a scratch directory: the bridge keeps its files in the current one.
class InScratchDir : public testing::Test {
 protected:
  InScratchDir() {
    old_dir_ = ::get_current_dir_name();
    EXPECT_EQ(::chdir(dir.path().c_str()), 0);
    MainThread::Instance().Attach();
  }
  ~InScratchDir() override {
    EXPECT_EQ(::chdir(old_dir_), 0);
    std::free(old_dir_);
  }
  std::string Trace() const { return ReadWholeFile(dir.File("Corvane.Log")); }

  ScratchDir dir;
  RecordingView view;

 private:
  char* old_dir_;
};

class BridgeOnPtys : public InScratchDir {
 protected:
  void SetUp() override {
    WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + a.slave_path() +
                                                "\nPORTB=" + b.slave_path() +
                                                "\nPORTO=" + out.slave_path() + "\nTRACE=YES\n");
    form = std::make_unique<TCorvaneForm>(view, std::vector<std::string>{});
    form->FormCreate(form.get());
  }

  // What the out port sent, once `expected` has arrived (or whatever came by the deadline).
  std::string SentToRig(const std::string& expected) {
    return out.master().ReceiveUntil(expected, In(2s));
  }
  // Serves the ports' events until the client has received `expected`.
  std::string Received(PtyPair& client, const std::string& expected) {
    std::string got;
    loop.RunUntil(
        [&] {
          got += client.master().ReceiveUntil(expected, In(5ms));
          return got.ends_with(expected);
        },
        3s);
    return got;
  }

  PtyPair a, b, out;
  EventLoop loop;
  std::unique_ptr<TCorvaneForm> form;
};

TEST_F(BridgeOnPtys, StartUpOpensTheThreePortsAndShowsThem) {
  EXPECT_TRUE(form->InPortA.Connected());
  EXPECT_TRUE(form->InPortB.Connected());
  EXPECT_TRUE(form->outPort.Connected());
  EXPECT_EQ(form->InPortA.BaudRate(), br38400);
  EXPECT_EQ(view.captions[Label::COMPortLabel], a.slave_path());
  EXPECT_EQ(view.captions[Label::RigNameLabel], b.slave_path());
  EXPECT_EQ(view.captions[Label::RigFreqLabel], out.slave_path());
  EXPECT_EQ(view.captions[Label::QueueRead], "0");
  EXPECT_TRUE(view.leds[TCorvaneView::Led::LEDOut]);
  EXPECT_TRUE(view.system_menu && view.tray_menu && view.shown);
  EXPECT_TRUE(form->hTimerEnabled);
  EXPECT_EQ(view.title, "Corvane");
  EXPECT_EQ(view.tray_tip.substr(0, 9), "Corvane (");
  EXPECT_NE(Trace().find("System Menu initialization"), std::string::npos);
}

TEST_F(BridgeOnPtys, ThreeCommandsInOneChunkAreForwardedAndStoredInOrder) {
  form->ProcessBuffer(0, "FA;FB;IF;");
  EXPECT_EQ(SentToRig("IF;"), "FA;FB;IF;");
  const char* cmds[] = {"FA;", "FB;", "IF;"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(form->Queue[i].Cmd, cmds[i]);
    EXPECT_EQ(form->Queue[i].Port, 0);
  }
  EXPECT_EQ(form->WritePointer, 3u);
  EXPECT_EQ(view.captions[Label::QueueWrite], "3");
  EXPECT_EQ(form->RxBuffer[0], "");
}

TEST_F(BridgeOnPtys, ACommandSplitOverChunksIsSentWhenItsSemicolonArrives) {
  form->ProcessBuffer(0, "F");
  EXPECT_EQ(form->RxBuffer[0], "F");
  EXPECT_EQ(form->WritePointer, 0u);
  form->ProcessBuffer(0, "A;I");
  EXPECT_EQ(SentToRig("FA;"), "FA;");
  EXPECT_EQ(form->RxBuffer[0], "I");
}

struct Exchange {
  uint8_t port;
  std::string sent, forwarded;
  bool stored;  // the transceiver answers it
};

void PrintTo(const Exchange& e, std::ostream* os) {
  *os << "port " << int(e.port) << " sends " << e.sent;
}

class PortBExchange : public BridgeOnPtys, public testing::WithParamInterface<Exchange> {};

TEST_P(PortBExchange, ForwardsTheRewrittenCommandAndStoresItWhenItIsAnswered) {
  const Exchange& e = GetParam();
  form->ProcessBuffer(e.port, e.sent);
  EXPECT_EQ(SentToRig(e.forwarded), e.forwarded);
  EXPECT_EQ(form->WritePointer, e.stored ? 1u : 0u);
  if (e.stored) {
    EXPECT_EQ(form->Queue[0].Cmd, e.forwarded);
    EXPECT_EQ(form->Queue[0].Port, e.port);
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, PortBExchange,
                         testing::Values(Exchange{1, "FA;", "FB;", true},
                                         Exchange{1, "FB12345678;", "FA12345678;", false},
                                         Exchange{1, "fa;", "fa;", true}, Exchange{1, "IF;", "IF;", true},
                                         Exchange{0, "FA;", "FA;", true}, Exchange{0, "FB;", "FB;", true},
                                         Exchange{0, "AB;", "AB;", false},
                                         Exchange{0, ";", ";", true}));

TEST_F(BridgeOnPtys, TheWritePointerWrapsAfterSlot127) {
  form->ReadPointer = form->WritePointer = 127;
  form->ProcessBuffer(0, "ID;");
  EXPECT_EQ(form->WritePointer, 0u);
  EXPECT_EQ(form->Queue[127].Cmd, "ID;");
}

TEST_F(BridgeOnPtys, AnswersGoToTheClientThatAskedWithPortBExchanged) {
  form->ProcessBuffer(0, "FA;");
  form->ProcessBuffer(1, "FA;");  // reaches the transceiver as FB;
  EXPECT_EQ(SentToRig("FB;"), "FA;FB;");
  out.master().Send("FA14070000;FB07000000;");
  EXPECT_EQ(Received(a, "FA14070000;"), "FA14070000;");
  EXPECT_EQ(Received(b, ";"), "FA07000000;");
  EXPECT_EQ(form->ReadPointer, form->WritePointer);
  EXPECT_EQ(view.captions[Label::QueueRead], "2");
}

TEST_F(BridgeOnPtys, AnAnswerSplitOverChunksIsRoutedOnce) {
  form->ProcessBuffer(0, "ID;");
  SentToRig("ID;");
  out.master().Send("ID02");
  loop.RunUntil([&] { return form->RxBuffer[2] == "ID02"; }, 3s);
  EXPECT_EQ(form->RxBuffer[2], "ID02");
  out.master().Send("51;");
  EXPECT_EQ(Received(a, ";"), "ID0251;");
}

TEST_F(BridgeOnPtys, AnAnswerNobodyWaitsForIsDroppedAloneAndTheWaitingCommandsStay) {
  form->ProcessBuffer(0, "FA;MD0;");
  SentToRig("MD0;");
  out.master().Send("IF00014070000+000000200000;FA14070000;");
  EXPECT_EQ(Received(a, "FA14070000;"), "FA14070000;");
  EXPECT_EQ(form->ReadPointer, 1u);
  EXPECT_EQ(view.captions[Label::QueueRead], "1");
  EXPECT_EQ(form->CatRouter.counters().unmatched, 1u);
}

TEST_F(BridgeOnPtys, ALaterAnswerGivesUpTheOlderReadsTheTransceiverSkipped) {
  form->ProcessBuffer(0, "FA;MD0;IF;");
  SentToRig("IF;");
  out.master().Send("IF00014070000+000000200000;");
  EXPECT_EQ(Received(a, ";"), "IF00014070000+000000200000;");
  EXPECT_EQ(form->ReadPointer, 3u);
  EXPECT_EQ(form->CatRouter.Waiting(), 0u);
}

TEST_F(BridgeOnPtys, ACommandTheTransceiversLineTakesOnlyPartOfIsAFailedWrite) {
  TComTimeouts timeouts;
  timeouts.SetWriteTotalMultiplier(0);
  timeouts.SetWriteTotalConstant(20);
  form->outPort.SetTimeouts(timeouts);
  ASSERT_GT(out.FillTowardsMaster(), 0u);
  form->ProcessBuffer(0, "FA;");
  EXPECT_EQ(form->WritePointer, 0u) << "stored as if the transceiver had it";
  EXPECT_FALSE(form->CatRouter.RigLineUp());
  EXPECT_FALSE(view.leds[TCorvaneView::Led::LEDOut]);
  EXPECT_TRUE(view.timer);
  EXPECT_NE(Trace().find("command (FA;) not sent"), std::string::npos) << Trace();
}

TEST_F(BridgeOnPtys, AClientThatNeverEndsACommandCannotGrowMemoryWithoutBound) {
  form->ProcessBuffer(0, std::string(TCorvaneForm::kRxBufferCap + 1, 'x'));
  EXPECT_EQ(form->RxBuffer[0], "");
  EXPECT_NE(Trace().find("buffer dropped"), std::string::npos);
  form->ProcessBuffer(0, "ID;");
  EXPECT_EQ(SentToRig("ID;"), "ID;");
}

TEST_F(BridgeOnPtys, AResetKeepsTheWaitingCommandsSoAnAnswerInFlightArrives) {
  form->ProcessBuffer(0, "ID;");
  SentToRig("ID;");
  form->ResetButtonClick(form.get());
  out.master().Send("ID0251;");
  EXPECT_EQ(Received(a, ";"), "ID0251;");
  EXPECT_TRUE(form->outPort.Connected());
}

TEST_F(BridgeOnPtys, FiftyResetsLoseAndRepeatNothingInEitherDirection) {
  // Each round: a command split by a reset, a reset with it still unread, a reset with its
  // answer on the way back. Every byte is counted once, on both sides; nothing is resent.
  constexpr int kRounds = 50;
  std::string to_rig, to_a;
  for (int round = 0; round < kRounds; ++round) {
    a.master().Send("I");
    form->ResetButtonClick(form.get());
    a.master().Send("D;");
    form->ResetButtonClick(form.get());
    loop.RunUntil([&] { return (to_rig += out.master().ReceiveUntil("ID;", In(2ms))).size() >=
                               3u * (round + 1); }, 3s);
    out.master().Send("ID0251;");
    form->ResetButtonClick(form.get());
    loop.RunUntil([&] { return (to_a += a.master().ReceiveUntil(";", In(2ms))).size() >=
                               7u * (round + 1); }, 3s);
  }
  std::string expected_rig, expected_a;
  for (int round = 0; round < kRounds; ++round) expected_rig += "ID;", expected_a += "ID0251;";
  EXPECT_EQ(to_rig, expected_rig);
  EXPECT_EQ(to_a, expected_a);
  EXPECT_EQ(out.master().ReceiveUntil(";", In(50ms)), "");
}

TEST_F(BridgeOnPtys, TheWatchdogTicksOnlyWhileACommandWaitsOrALineIsDown) {
  EXPECT_FALSE(view.timer) << "an idle bridge with its lines up has nothing to watch";
  a.master().Send("FA;");
  EXPECT_EQ(Received(out, "FA;"), "FA;");
  EXPECT_TRUE(view.timer);
  out.master().Send("FA14250000;");
  EXPECT_EQ(Received(a, "FA14250000;"), "FA14250000;");
  form->hTimerTimer(form.get());
  EXPECT_FALSE(view.timer);

  // A line that goes away while all is quiet is noticed and left to the watchdog.
  b.master().Close();
  loop.RunUntil([&] { return view.timer; }, 3s);
  EXPECT_TRUE(view.timer);
  EXPECT_FALSE(view.leds[TCorvaneView::Led::LEDPortB]);
  EXPECT_NE(Trace().find("<PortFailed> Serial port " + b.slave_path() + " lost"),
            std::string::npos)
      << Trace();
  EXPECT_THROW(form->hTimerTimer(form.get()), EComPort);
  EXPECT_TRUE(view.timer) << "the watchdog keeps trying while the line is down";
}

TEST_F(BridgeOnPtys, TheWatchdogReopensAPortWhoseMonitoringEnded) {
  form->InPortB.ClosePort();
  form->hTimerTimer(form.get());
  EXPECT_TRUE(form->InPortB.Connected());
  EXPECT_TRUE(form->InPortB.EventThreadRunning());
  b.master().Send("ID;");
  EXPECT_EQ(Received(out, "ID;"), "ID;");
}

// The bridge on scripted devices, for failures a pseudo-terminal cannot be made to show at a
// chosen moment.
class BridgeOnFakes : public InScratchDir {
 protected:
  void SetUp() override {
    platform::SetDeviceOpener(
        [this](const std::string& name, std::unique_ptr<platform::Device>& device) {
          return scripts.at(name)->Open(name, device);
        });
    // No configuration: the ports have their default names.
    form = std::make_unique<TCorvaneForm>(view, std::vector<std::string>{});
    form->FormCreate(form.get());
  }
  void TearDown() override {
    form.reset();
    platform::SetDeviceOpener(nullptr);
  }
  platform::FakeScript& Script(const std::string& name) { return *scripts.at(name); }

  std::map<std::string, std::shared_ptr<platform::FakeScript>> scripts = {
      {"COM11", std::make_shared<platform::FakeScript>()},
      {"COM13", std::make_shared<platform::FakeScript>()},
      {"COM4", std::make_shared<platform::FakeScript>()}};
  EventLoop loop;
  std::unique_ptr<TCorvaneForm> form;
};

TEST_F(BridgeOnFakes, AFailureInsideAReceiveHandlerLeavesTheLineToTheWatchdog) {
  using platform::FakeOp;
  struct Case {
    const char* what;
    const char* port;
    TCorvaneView::Led led;
    std::function<void()> cause;
  };
  const Case cases[] = {
      {"a read on port A fails", "COM11", TCorvaneView::Led::LEDPortA,
       [&] {
         Script("COM11").Fail(FakeOp::StartRead, EIO, 1);
         Script("COM11").Receive("FA;");
       }},
      {"a read on the out port fails", "COM4", TCorvaneView::Led::LEDOut,
       [&] {
         Script("COM4").Fail(FakeOp::StartRead, EIO, 1);
         Script("COM4").Receive("FA14070000;");
       }},
      {"port A's line is gone when its answer comes", "COM11", TCorvaneView::Led::LEDPortA,
       [&] {
         Script("COM11").Receive("ID;");
         loop.RunUntil([&] { return Script("COM4").Sent().ends_with("ID;"); }, 3s);
         Script("COM11").Fail(FakeOp::StartWrite, EIO, 1);
         Script("COM4").Receive("ID0251;");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(view.leds[c.led]);
    c.cause();
    loop.RunUntil([&] { return !view.leds[c.led]; }, 3s);
    EXPECT_FALSE(view.leds[c.led]);
    EXPECT_TRUE(view.timer) << "nothing would reopen the line of an idle bridge";
    EXPECT_NE(Trace().find(std::string("<PortFailed> Serial port ") + c.port + " lost"),
              std::string::npos)
        << Trace();
    const int opened = Script(c.port).Count(FakeOp::Open);
    form->hTimerTimer(form.get());
    EXPECT_EQ(Script(c.port).Count(FakeOp::Open), opened + 1);
    EXPECT_TRUE(view.leds[c.led]);
  }
}

TEST_F(BridgeOnPtys, WritingTheConfigurationKeepsOtherKeysAndSections) {
  WriteWholeFile(dir.File("Corvane.INI"),
                 "; station setup\n[SETTINGS]\nPORTA=old\nLOGFILE=Mine.LOG\n[OTHER]\nx=1\n");
  form->TraceOn = false;
  form->UpdateIniFile();
  const std::string ini = ReadWholeFile(dir.File("Corvane.INI"));
  EXPECT_NE(ini.find("; station setup\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTA=" + a.slave_path() + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LOGFILE=Mine.LOG\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[OTHER]\nx=1\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("TRACE=NOT\n"), std::string::npos) << ini;
}

// A pulled USB adapter fails its wait and then every purge; the watchdog must still let go
// of the dead device and open the line again, or the line never comes back.
TEST_F(InScratchDir, ALostLineWhosePurgesFailIsReleasedAndReopenedByTheWatchdog) {
  std::map<std::string, std::shared_ptr<platform::FakeScript>> scripts;
  platform::SetDeviceOpener([&](const std::string& name, std::unique_ptr<platform::Device>& d) {
    auto& script = scripts[name];
    if (!script) script = std::make_shared<platform::FakeScript>();
    return script->Open(name, d);
  });
  WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=LA\nPORTB=LB\nPORTO=LO\n");
  EventLoop loop;
  {
    TCorvaneForm form(view, {});
    form.FormCreate(&form);
    platform::FakeScript& rig = *scripts.at("LO");
    rig.Fail(platform::FakeOp::WaitCommEvent, 19, 1);
    rig.RaiseEvents(platform::EV_RING);  // ends the wait in progress; the next one fails
    loop.RunUntil([&] { return Trace().find("Serial port LO lost") != std::string::npos; }, 3s);
    ASSERT_NE(Trace().find("Serial port LO lost"), std::string::npos) << Trace();

    rig.Fail(platform::FakeOp::PurgeComm, 19);
    EXPECT_NO_THROW(form.hTimerTimer(&form));
    EXPECT_EQ(rig.Count(platform::FakeOp::Open), 2);
    EXPECT_EQ(rig.OpenDevices(), 1) << "the dead device was released";
    EXPECT_TRUE(form.outPort.EventThreadRunning());
    rig.ClearFailures();
  }
  platform::SetDeviceOpener(nullptr);
}

TEST(BridgeView, TheTrayTipIsCutTo63Characters) {
  RecordingView view;
  TCorvaneForm form(view, {});
  form.InPortA.SetPort(std::string(40, 'A'));
  EXPECT_EQ(form.TrayTip().size(), 63u);
  EXPECT_EQ(form.TrayTip(), ("Corvane (" + std::string(40, 'A') + ":COM13)<>(COM4)").substr(0, 63));
}

TEST_F(InScratchDir, AVirtualLineIsShownAsWritten) {
  PtyPair out;
  const std::string rig = "PORTO=" + out.slave_path() + "\n";
  WriteWholeFile(dir.File("Corvane.INI"),
                 "[SETTINGS]\nPORTA=pty:Client-A\nPORTB=PTY:client-b\n" + rig + "TRACE=no\n");
  TCorvaneForm form(view, {});
  form.FormCreate(&form);
  EXPECT_EQ(view.captions[Label::COMPortLabel], "pty:Client-A");
  EXPECT_EQ(view.captions[Label::RigNameLabel], "PTY:client-b");
  EXPECT_EQ(view.tray_tip, "Corvane (pty:Client-A:PTY:client-b)<>(" + out.slave_path() + ")");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("client-b")));
}

// Port A a TCP line on loopback, port B and the transceiver's line ptys.
class BridgeWithTcpLineA : public InScratchDir {
 protected:
  void SetUp() override {
    SetMainLoopWatcher(&loop);
    WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=tcp:127.0.0.1:" +
                                                std::to_string(port) + "\nPORTB=" + b.slave_path() +
                                                "\nPORTO=" + out.slave_path() + "\n");
    form = std::make_unique<TCorvaneForm>(view, std::vector<std::string>{});
    form->FormCreate(form.get());
  }

  PtyPair b, out;
  EventLoop loop;
  const uint16_t port = FreeTcpPort();
  std::unique_ptr<TCorvaneForm> form;
};

// The window is told which port's client keys the transmitter: the port's lamp and the
// client's name while keyed, nothing once it is unkeyed or its keying connection goes.
TEST_F(BridgeWithTcpLineA, TheViewShowsWhichClientKeysTheTransmitter) {
  using Led = TCorvaneView::Led;
  TtyPeer first = ConnectTcp(port), second = ConnectTcp(port);
  const auto shows = [&](std::optional<Led> led, const std::string& who) {
    loop.RunUntil([&] { return view.keying_led == led && view.keyed_by == who; }, 3s);
    EXPECT_EQ(view.keying_led, led) << who;
    EXPECT_EQ(view.keyed_by, who);
  };
  b.master().Send("TX1;");
  shows(Led::LEDPortB, "Port B");
  b.master().Send("TX0;");
  shows(std::nullopt, "");
  second.Send("TX1;");
  shows(Led::LEDPortA, "Port A#2");
  first.Send("TX0;");  // any client may unkey
  shows(std::nullopt, "");
  second.Send("TX2;");
  shows(Led::LEDPortA, "Port A#2");
  second.Close();
  shows(std::nullopt, "");
  EXPECT_EQ(out.master().ReceiveUntil("TX1;TX0;TX1;TX0;TX2;TX0;", In(2s)), "TX1;TX0;TX1;TX0;TX2;TX0;");
}

// Reopening the transceiver's line drops its partial answer, not a connection's partial
// command.
TEST_F(BridgeWithTcpLineA, AResetKeepsAConnectionsPartialCommand) {
  TtyPeer client = ConnectTcp(port);
  client.Send("FA");
  loop.RunUntil([&] { return form->RxBuffer.size() == 4 && form->RxBuffer[2] == "FA"; }, 3s);
  out.master().Send("FA1407");
  loop.RunUntil([&] { return form->RxBuffer.back() == "FA1407"; }, 3s);
  form->ResetButtonClick(form.get());
  EXPECT_EQ(form->RxBuffer.back(), "");
  client.Send(";");
  std::string sent;
  loop.RunUntil([&] { return (sent += out.master().ReceiveUntil("FA;", In(5ms))) == "FA;"; }, 3s);
  EXPECT_EQ(sent, "FA;");
}

struct ConfigCase {
  std::vector<std::string> args;
  std::string existing_file;  // created before start-up when not empty
  std::string expected_file;
  bool error_box;
};

void PrintTo(const ConfigCase& c, std::ostream* os) {
  *os << "args(";
  for (const auto& a : c.args) *os << a << " ";
  *os << ") file " << c.existing_file;
}

class ConfigurationFile : public InScratchDir, public testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigurationFile, IsChosenFromTheCommandLine) {
  const ConfigCase& c = GetParam();
  if (!c.existing_file.empty()) {
    WriteWholeFile(dir.File(c.existing_file), "[SETTINGS]\nTRACE=no\n");
  }
  TCorvaneForm form(view, c.args);
  // No line is attached under the default names: each is raised under its own key, and
  // none shows a name, since none was opened.
  std::vector<std::string> failed;
  try {
    form.FormCreate(&form);
  } catch (const PortFailures& failures) {
    for (const auto& failure : failures.failures()) failed.push_back(failure.line);
  }
  EXPECT_EQ(failed, (std::vector<std::string>{"PORTA", "PORTB", "PORTO"}));
  EXPECT_EQ(view.captions.count(Label::RigFreqLabel), 0u);
  EXPECT_EQ(form.ConfigFileName, dir.File(c.expected_file));
  EXPECT_EQ(view.messages.size(), c.error_box ? 1u : 0u);
  if (c.error_box) {
    EXPECT_EQ(view.messages[0], "Error!: ERROR: Configuration File does not exists");
  }
  // The start-up runs to its end, so the watchdog can pick the line up once it is there.
  EXPECT_TRUE(form.hTimerEnabled);
  EXPECT_TRUE(view.tray_menu);
}

INSTANTIATE_TEST_SUITE_P(Decisions, ConfigurationFile,
                         testing::Values(ConfigCase{{}, "", "Corvane.INI", false},
                                         ConfigCase{{}, "corvane.ini", "corvane.ini", false},
                                         ConfigCase{{"-f", "my.ini"}, "my.ini", "my.ini", false},
                                         ConfigCase{{"-F", "my.ini"}, "", "MY.INI", true},
                                         ConfigCase{{"-F"}, "", "Corvane.INI", false},
                                         ConfigCase{{"other", "x.ini"}, "", "Corvane.INI", false}));

TEST_F(InScratchDir, WithTracingOffTheLogHoldsOnlyTheParameterBlock) {
  WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nTRACE=no\nPORTA=com7\n");
  TCorvaneForm form(view, {});
  EXPECT_THROW(form.FormCreate(&form), EComPort);
  const std::string trace = Trace();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 11) << trace;  // with the access rules
  EXPECT_NE(trace.find(" TRACE=FALSE\n"), std::string::npos);
  EXPECT_NE(trace.find(" PORTA=com7\n"), std::string::npos);  // as written, on Linux
  EXPECT_EQ(trace.find("Serial port"), std::string::npos);
}

TEST_F(InScratchDir, WithTracingOnThePortLinesFollowTheBlock) {
  WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nTRACE=On\n");
  TCorvaneForm form(view, {});
  EXPECT_THROW(form.FormCreate(&form), EComPort);
  EXPECT_NE(Trace().find(" TRACE=TRUE\n"), std::string::npos);
  EXPECT_NE(Trace().find(" Serial port COM11 initialization\n"), std::string::npos);
}

TEST(ErrorDisplay, ShowsAnErrorOncePerOccurrenceAndNeverDropsAnother) {
  std::vector<std::string> shown;
  ErrorDisplay* errors = nullptr;
  ErrorDisplay display([&](const std::string& message) {
    shown.push_back(message);
    // While the message is on screen the ticks go on: the same error again, and another.
    if (shown.size() == 1) {
      errors->Report("outage");
      errors->Report("client gone");
    }
  });
  errors = &display;
  display.Report("outage");
  display.Report("client gone");  // still the condition last shown: counted
  EXPECT_EQ(display.Repeats(), 1u);
  display.Forget();  // the line is open again
  display.Report("outage");
  const std::vector<std::string> expected = {
      "outage", "(the previous error was repeated 1 more times)", "client gone", "outage"};
  EXPECT_EQ(shown, expected);
}

}  // namespace
}  // namespace corvane::test
