#include "app/corvane_form.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>

#include "app/bridge_constants.h"
#include "app/error_display.h"
#include "app/port_failures.h"
#include "cport/com_error.h"
#include "cport/platform/device_trace.h"
#include "cport/platform/virtual_line.h"
#include "cport/port_list.h"
#include "rt/current_dir.h"
#include "rt/file_io.h"
#include "rt/find_file.h"
#include "rt/main_thread.h"
#include "widgets/about_texts.h"

const char* const kCorvaneVersionLine = "Corvane Ver.2.0 Build 000-0010";

namespace {

std::string UpperCase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// A virtual line's and a TCP line's value is used exactly as written: a client opens the
// one by its path and connects to the other by its address.
std::string ConfiguredPortName(const std::string& written) {
  if (corvane::platform::IsVirtualLineName(written) || corvane::IsTcpLineName(written))
    return written;
  return corvane::PortNameAsUsed(written);
}

// What the window shows for a port: its value as written.
std::string ShownName(const std::string& port) {
  return port;
}

constexpr const char* kSection = "SETTINGS";
// The configuration keys of port A, port B and the out port, in the order of Ports().
constexpr const char* kPortKeys[] = {"PORTA", "PORTB", "PORTO"};
constexpr const char* kAccessKeys[] = {"ACCESSA", "ACCESSB"};

// A port's error with the port named in front; its codes and its type stay those of the
// port's error.
class NamedPortError : public EComPort {
 public:
  NamedPortError(const EComPort& error, const std::string& name, const std::string& detail = "")
      : EComPort(error), message_(name + ": " + error.what() + detail) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace

namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TCorvaneForm::TCorvaneForm(TCorvaneView& view, std::vector<std::string> args,
                           corvane::Router::Clock clock)
    : CatRouter({{"A", false}, {"B", true}}, *this,
                clock ? std::move(clock) : corvane::Router::Clock(SteadyMs),
                {[this](uint8_t level) { return Tracing(level); },
                 [this](uint8_t level, const std::string& text) { Trace(level, text); },
                 [this](const char* kind, size_t client, corvane::RouterTrace::Text text) {
                   if (Tracing(1)) repeated_lines_.Add(kind, client, std::move(text));
                 }},
                corvane::kWatchdogInterval.count()),
      view_(view),
      args_(std::move(args)),
      repeated_lines_(clock ? clock : corvane::Router::Clock(SteadyMs),
                      [this](const std::string& line) { Trace(1, line); }) {
  ApplyDesignSettings(InPortA, "COM11");
  ApplyDesignSettings(InPortB, "COM13");
  ApplyDesignSettings(outPort, "COM4");
  // An answer to a client is offered, never waited for: a client that stops reading must
  // not hold up the other one. What the line does not take at once is held by the router.
  for (TComPort* client : {&InPortA, &InPortB}) {
    TComTimeouts timeouts;
    timeouts.SetWriteTotalMultiplier(0);
    timeouts.SetWriteTotalConstant(1);
    client->SetTimeouts(timeouts);
  }
  InPortA.SetOnRxChar([this](TObject* s, int32_t n) { InPortARxChar(s, n); });
  InPortB.SetOnRxChar([this](TObject* s, int32_t n) { InPortBRxChar(s, n); });
  outPort.SetOnRxChar([this](TObject* s, int32_t n) { outPortRxChar(s, n); });
  for (TComPort* port : {&InPortA, &InPortB, &outPort}) {
    port->SetOnException([this, port](TObject*, TComExceptions kind, const std::string&,
                                      int64_t system_error, const std::string&) {
      PortFailed(*port, kind, system_error);
    });
  }
  // What a line's driver cannot do, and what that costs, goes to the trace.
  corvane::platform::SetDeviceTrace([this](const std::string& line) {
    corvane::MainThread& main = corvane::MainThread::Instance();
    if (main.IsMainThread()) {
      Trace(1, line);
    } else {
      // The destructor closes the ports, serving such calls, before the form goes.
      main.Send([this, line] { Trace(1, line); });
    }
  });
}

TCorvaneForm::~TCorvaneForm() {
  // The handlers capture this object; a port closing during destruction must not reach them.
  for (TComPort* port : {&InPortA, &InPortB, &outPort}) {
    port->SetOnRxChar(nullptr);
    port->SetOnTxEmpty(nullptr);
  }
  // The ports close while the form is whole: a line's failure reported by its event thread
  // is served by the close and must find the trace still there.
  hTimerEnabled = false;
  closing_ = true;
  for (TComPort* port : {&InPortA, &InPortB, &outPort}) {
    try {
      port->ClosePort();
    } catch (...) {
    }
    port->SetOnException(nullptr);
  }
  corvane::platform::SetDeviceTrace(nullptr);
  repeated_lines_.FlushAll();
}

void TCorvaneForm::ApplyDesignSettings(TComPort& port, const std::string& name) {
  port.SetPort(name);
  port.SetBaudRate(br38400);
  TComParity parity;
  parity.SetBits(prNone);
  port.SetParity(parity);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbEight);
  port.SetEvents(TComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError,
                            evRLSD, evRx80Full});
  TComFlowControl flow;
  flow.SetOutCTSFlow(false);
  flow.SetOutDSRFlow(false);
  flow.SetControlDTR(dtrDisable);
  flow.SetControlRTS(rtsDisable);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  port.SetFlowControl(flow);
  port.SetStoredProps(TStoredProps{spBasic});
  port.SetTriggersOnRxChar(true);
  // What has arrived survives a close and reopen: a reset must not lose commands or answers.
  port.SetDiscardOnClose(false);
}

bool TCorvaneForm::Tracing(uint8_t level) const {
  return TraceLog.Active() && level <= TraceLog.Level();
}

void TCorvaneForm::Trace(uint8_t level, const std::string& text) {
  TraceLog.WriteLine(level, text);
}

void TCorvaneForm::ShowQueueCaptions() {
  if (ReadPointer != shown_read_) {
    shown_read_ = ReadPointer;
    view_.SetLabelCaption(TCorvaneView::Label::QueueRead, std::to_string(ReadPointer));
  }
  if (WritePointer != shown_write_) {
    shown_write_ = WritePointer;
    view_.SetLabelCaption(TCorvaneView::Label::QueueWrite, std::to_string(WritePointer));
  }
  // Keying and unkeying are commands and ticks like the ones that move the ring.
  ShowTransmitter();
  FollowHeldAnswers();
}

void TCorvaneForm::FollowHeldAnswers() {
  // A client's line that has sent what it had may take what is held for it now, not only at
  // the watchdog's next tick. Its drained output is listened for only while answers are
  // held: each report costs the loop a wake-up after every answer written.
  const bool held = CatRouter.HoldsAnswers();
  if (held == drains_followed_) return;
  drains_followed_ = held;
  for (TComPort* client : {&InPortA, &InPortB}) {
    if (!held) {
      client->SetOnTxEmpty(nullptr);
      continue;
    }
    client->SetOnTxEmpty([this](TObject*) {
      if (CatRouter.HoldsAnswers()) CatRouter.OfferHeldAnswers();
    });
  }
}

void TCorvaneForm::ShowTransmitter() {
  const int owner = CatRouter.TransmitterOwner();
  std::optional<TCorvaneView::Led> led;
  std::string who;
  if (owner == 0 || owner == 1) {
    led = Ports(owner).led;
    who = owner == 0 ? "Port A" : "Port B";
  }
  for (int i = 0; i < 2 && owner > 1; ++i) {
    if (tcp_[i] && tcp_[i]->Owns(static_cast<size_t>(owner))) {
      led = Ports(i).led;
      who = tcp_[i]->ClientName(static_cast<size_t>(owner));
    }
  }
  if (who == shown_keyer_) return;
  shown_keyer_ = who;
  view_.ShowTransmitter(led, who);
}

TCorvaneForm::PortView TCorvaneForm::Ports(int index) {
  switch (index) {
    case 0:
      return {InPortA, TCorvaneView::Led::LEDPortA, TCorvaneView::Label::COMPortLabel};
    case 1:
      return {InPortB, TCorvaneView::Led::LEDPortB, TCorvaneView::Label::RigNameLabel};
    default:
      return {outPort, TCorvaneView::Led::LEDOut, TCorvaneView::Label::RigFreqLabel};
  }
}

std::string TCorvaneForm::NameAsWritten(int index) {
  const std::string& port = Ports(index).port.Port();
  const std::string& written = written_names_[index];
  return corvane::SamePortName(written, port) ? written : port;
}

void TCorvaneForm::ReadClientRules() {
  for (int i = 0; i < 2; ++i) {
    access_text_[i] = IniFile->ReadString(kSection, kAccessKeys[i], "FULL");
    const std::optional<corvane::Access> access = corvane::AccessFromText(access_text_[i]);
    if (access) CatRouter.SetAccess(static_cast<size_t>(i), *access);
    // A port whose rules cannot be read stays closed: opened with a guess, it might let a
    // client key the transmitter that the operator meant to keep from it.
    bad_access_[i] = !access;
  }
  tx_limit_s_ = std::max(0, IniFile->ReadInteger(kSection, "TXLIMIT", 0));
  CatRouter.SetTransmitLimit(int64_t{tx_limit_s_} * 1000);
  CatRouter.SetOperatorNotice([this](const std::string& text) {
    tx_notice_ = std::make_exception_ptr(std::runtime_error(text));
  });
}

void TCorvaneForm::OpenAndShow(int index) {
  const PortView p = Ports(index);
  if (index < 2 && bad_access_[index]) {
    throw std::runtime_error(std::string(kAccessKeys[index]) + "=" + access_text_[index] +
                             " is not FULL, NOTX or READ: the port stays closed");
  }
  if (corvane::IsTcpLineName(p.port.Port())) return ListenAndShow(index);
  if (index < 2 && tcp_[index]) DropTcpLine(index);
  // The transceiver's buffer comes after every client's, TCP connections included.
  if (&p.port == &outPort && !RxBuffer.back().empty()) {
    // A closed line loses what its driver held, so the rest of this answer is gone: kept, it
    // would lead the next answer and make it unreadable.
    Trace(1, "<OpenPort> Serial port " + outPort.Port() + " reopened, partial answer (" +
                 RxBuffer.back() + ") dropped");
    RxBuffer.back().clear();
  }
  try {
    p.port.OpenPort();
  } catch (const EComPort& error) {
    // The operator looks for the port under the name written in the configuration, not
    // under the upper-cased one the bridge uses.
    throw NamedPortError(error,
                         "Serial port \"" + NameAsWritten(index) + "\" (" + kPortKeys[index] + ")");
  }
  view_.SetLabelCaption(p.label, ShownName(p.port.Port()));
  view_.SetLedOn(p.led, true);
  lost_[index] = false;
  if (&p.port == &outPort) CatRouter.SetRigLineUp(true);
}

void TCorvaneForm::FormCreate(TObject*) {
  // The main loop watches the lines itself where it can: no thread between a byte and its
  // handler.
  for (TComPort* port : {&InPortA, &InPortB, &outPort}) port->SetLoopDelivery(LoopDelivery);
  for (auto& b : RxBuffer) b.clear();
  ReadPointer = WritePointer = 0;
  ShowQueueCaptions();

  std::string dir = corvane::CurrentDirWithSlash();

  TraceLog.SetFileName(dir + "Corvane" + ".Log");
  TraceLog.SetLevel(1);
  // The new trace starts empty; the previous run's, which may explain why the program was
  // restarted, is kept beside it.
  TraceLog.BackUpFile();

  std::string name;
  if (!args_.empty() && UpperCase(args_[0]) == "-F") {
    name = args_.size() > 1 ? UpperCase(args_[1]) : std::string();
  }
  if (name.empty()) {
    ConfigFileName = corvane::FindFileIgnoringCase(dir + "Corvane" + ".INI");
  } else {
    ConfigFileName = corvane::FindFileIgnoringCase(dir + name);
    if (!corvane::FileExists(ConfigFileName)) {
      int answer = view_.MessageBox("ERROR: Configuration File does not exists", "Error!",
                                    TCorvaneView::Buttons::OK);
      if (answer != TCorvaneView::idOK) return;
    }
  }

  IniFile = std::make_unique<TIniFile>(ConfigFileName);

  const char* const fallbacks[] = {"COM11", "COM13", "COM4"};
  for (int i = 0; i < 3; ++i) {
    TComPort& port = Ports(i).port;
    written_names_[i] = IniFile->ReadString(kSection, kPortKeys[i], fallbacks[i]);
    port.SetPort(ConfiguredPortName(written_names_[i]));
    port.SetBaudRate(br38400);
  }

  max_clients_ = std::clamp<int>(IniFile->ReadInteger(kSection, "MAXCLIENTS", kDefaultMaxClients),
                                 1, kMostMaxClients);
  ReadClientRules();

  std::string trace = UpperCase(IniFile->ReadString(kSection, "TRACE", "YES"));
  TraceOn = trace == "TRUE" || trace == "YES" || trace == "ON";
  TraceLog.SetActive(TraceOn);
  // Read for compatibility; the trace always goes to Corvane.Log in the current directory.
  UpperCase(IniFile->ReadString(kSection, "LOGFILE", "Corvane.LOG"));

  TraceLog.SetActive(true);
  TraceLog.SetLevel(1);
  Trace(1, kCorvaneVersionLine);
  Trace(1, "--------------Parameters ----------------");
  Trace(1, "Configuration File " + ConfigFileName);
  Trace(1, "MODEL=");
  Trace(1, std::string("TRACE=") + (TraceOn ? "TRUE" : "FALSE"));
  Trace(1, "PORTA=" + InPortA.Port());
  Trace(1, "PORTB=" + InPortB.Port());
  Trace(1, "PORTO=" + outPort.Port());
  for (int i = 0; i < 2; ++i) Trace(1, std::string(kAccessKeys[i]) + "=" + access_text_[i]);
  Trace(1, "TXLIMIT=" + std::to_string(tx_limit_s_));
  if (!TraceOn) TraceLog.SetActive(false);

  // A line that is missing now may be plugged in later: every port gets its turn, the rest
  // of the start-up (the watchdog among it) runs, and every failure is raised at the end for
  // the operator. The watchdog keeps trying the missing lines.
  corvane::FailureList failures;
  for (int i = 0; i < 3; ++i) {
    const PortView p = Ports(i);
    Trace(1, "Serial port " + p.port.Port() + " initialization");
    if (p.port.Connected()) continue;
    failures.Attempt(kPortKeys[i], [&] {
      try {
        OpenAndShow(i);
      } catch (...) {
        // Said in the trace only for a transceiver's line that is missing: one that opens
        // is the usual start.
        if (&p.port == &outPort) CatRouter.SetRigLineUp(false);
        throw;
      }
    });
  }

  Trace(1, "System Menu initialization");
  view_.BuildSystemMenu();
  view_.BuildTrayMenu();

  view_.SetApplicationTitle("Corvane");
  view_.AddTrayIcon(TrayTip());

  view_.PrepareAboutDialog({corvane::kAboutTitle, corvane::kAboutProductName,
                            corvane::kAboutCopyRight, corvane::kAboutProgrammer,
                            corvane::kAboutWebSite});

  view_.ShowWindow();
  hTimerEnabled = true;
  ArmWatchdog();
  failures.RaiseIfAny();
}

std::string TCorvaneForm::TrayTip() const {
  std::string tip = "Corvane (" + ShownName(InPortA.Port()) + ":" + ShownName(InPortB.Port()) +
                    ")<>(" + ShownName(outPort.Port()) + ")";
  if (tip.size() > 63) tip.resize(63);
  return tip;
}

int32_t TCorvaneForm::getQueue(const std::string& token) {
  return CatRouter.getQueue(token);
}

std::string TCorvaneForm::swapAB(const std::string& Command) {
  return CatRouter.swapAB(Command);
}

template <class Body>
void TCorvaneForm::RunReceiveHandler(int index, Body&& body) {
  try {
    body();
  } catch (...) {
    // Without this the error would end the port's monitoring unseen, and an idle bridge
    // would never reopen the line.
    MarkLost(index, corvane::MessageOf(std::current_exception()));
    throw;
  }
  ArmWatchdog();
}

void TCorvaneForm::InPortARxChar(TObject*, int32_t Count) {
  RunReceiveHandler(0, [&] {
    Trace(2, "------");
    std::string text;
    InPortA.ReadText(text, Count);
    if (Tracing(2)) {
      Trace(2, "<InPortARxChar> (Port A) CAT Command Received (" + text + ") Len(" +
                   std::to_string(Count) + ")");
    }
    ProcessBuffer(0, text);
  });
}

void TCorvaneForm::InPortBRxChar(TObject*, int32_t Count) {
  RunReceiveHandler(1, [&] {
    Trace(2, "------");
    std::string text;
    InPortB.ReadText(text, Count);
    if (Tracing(2)) {
      Trace(2, "<InPortBRxChar> (PortB) CAT Command Received (" + text + ") Len(" +
                   std::to_string(Count) + ")");
    }
    ProcessBuffer(1, text);
  });
}

void TCorvaneForm::ProcessBuffer(uint8_t PortNo, const std::string& Data) {
  CatRouter.ProcessBuffer(PortNo, Data);
  ShowQueueCaptions();
}

void TCorvaneForm::outPortRxChar(TObject*, int32_t Count) {
  RunReceiveHandler(2, [&] {
    Trace(2, "------");
    std::string text;
    outPort.ReadText(text, Count);
    CatRouter.ProcessAnswers(text);
    ShowQueueCaptions();
  });
}

void TCorvaneForm::WriteToRig(const std::string& command) {
  try {
    const int32_t sent = outPort.WriteText(command);
    if (sent < static_cast<int32_t>(command.size())) {
      // The write timed out with part of the command on the line: the transceiver got a
      // fragment and will not answer the command.
      throw NamedPortError(EComPort(CE_WriteFailed + 1),
                           "Serial port \"" + NameAsWritten(2) + "\" (" + kPortKeys[2] + ")",
                           ", " + std::to_string(std::max(sent, 0)) + " of " +
                               std::to_string(command.size()) + " bytes sent before the timeout");
    }
  } catch (...) {
    // The line is gone: the router drops the clients' commands until the watchdog has it
    // open again, and the operator hears of it from the watchdog's tick (a message shown from
    // inside this handler would let other handlers run in the middle of the routing).
    view_.SetLedOn(TCorvaneView::Led::LEDOut, false);
    if (!rig_failure_) rig_failure_ = std::current_exception();
    ArmWatchdog();
    throw;
  }
}

size_t TCorvaneForm::OfferToClient(size_t client, const std::string& bytes) {
  if (client > 1) return OfferToTcpClient(client, bytes);
  const int index = static_cast<int>(client);
  TComPort& port = Ports(index).port;
  if (resetting_ && !port.Connected()) return 0;
  try {
    return static_cast<size_t>(std::max(port.WriteText(bytes), 0));
  } catch (...) {
    // The client's line is gone; the router drops the answer, the watchdog reopens the line.
    MarkLost(index, corvane::MessageOf(std::current_exception()));
    throw;
  }
}

void TCorvaneForm::WMSysCommand(uint32_t command) {
  if (command == corvane::kCmdAbout) AboutMenuClick(this);
  if (command == corvane::kCmdSettingsA) ShowPortSettings(InPortA, false);
  if (command == corvane::kCmdSettingsB) ShowPortSettings(InPortB, false);
  if (command == corvane::kCmdSettingsOut) ShowPortSettings(outPort, false);
  if (command == corvane::kCmdResetSync) ResetButtonClick(this);
}

void TCorvaneForm::ShowPortSettings(TComPort& port, bool writeIni) {
  const std::string before = port.Port();
  view_.ShowSettingsDialog(port);
  ArmWatchdog();
  // The device lookup ignores letter case, so the same port spelled otherwise shows no
  // change. A port the new name did not open shows none until the watchdog opens it.
  if (!corvane::SamePortName(before, port.Port())) {
    for (int i = 0; i < 3; ++i) {
      if (&Ports(i).port != &port) continue;
      view_.SetLabelCaption(Ports(i).label, port.Connected() ? ShownName(port.Port()) : "---");
    }
  }
  if (writeIni) UpdateIniFile();
}

void TCorvaneForm::PortFailed(TComPort& port, TComExceptions kind, int64_t system_error) {
  const uint16_t code = static_cast<uint16_t>(kind) + 1;
  const EComPort error = system_error > 0 ? EComPort(code, static_cast<int32_t>(system_error))
                                          : EComPort(code);
  if (closing_) {
    Trace(1, "<PortFailed> Serial port " + port.Port() + " closing: " + error.what());
    return;
  }
  if (kind != CE_WaitFailed) throw error;
  // Its event thread is still ending as this runs: the port is marked for the watchdog
  // rather than judged by the thread.
  for (int i = 0; i < 3; ++i) {
    if (&Ports(i).port == &port) MarkLost(i, error.what());
  }
}

void TCorvaneForm::MarkLost(int index, const std::string& why) {
  if (lost_[index]) return;
  const PortView p = Ports(index);
  Trace(1, "<PortFailed> Serial port " + p.port.Port() + " lost (" + why + ")");
  lost_[index] = true;
  view_.SetLedOn(p.led, false);
  if (&p.port == &outPort) CatRouter.SetRigLineUp(false);
  if (index < 2) CatRouter.ReleaseTransmitter(static_cast<size_t>(index), "its line was lost");
  ShowTransmitter();
  ArmWatchdog();
}

void TCorvaneForm::ComSettingsButtonClickA(TObject*) {
  ShowPortSettings(InPortA, true);
}
void TCorvaneForm::ComSettingsButtonClickB(TObject*) {
  ShowPortSettings(InPortB, true);
}
void TCorvaneForm::ComSettingsButtonClickOUT(TObject*) {
  ShowPortSettings(outPort, true);
}

void TCorvaneForm::ResetButtonClick(TObject*) {
  Trace(2, "<ResetButtonClick> Reset COM ports");
  // One line that cannot be closed or reopened (a client's adapter unplugged) must not cut
  // the other client off from the transceiver: every port gets its turn, and the failures
  // are raised once all have had it.
  corvane::FailureList failures;
  // The ring is kept: what arrives on a reopened port still finds the command it answers,
  // and commands that will never be answered are given up by their age.
  // Closing the out port serves the answers that arrived meanwhile, after the clients'
  // ports are already closed: those answers are held and offered once the clients' lines
  // are open again.
  resetting_ = true;
  for (size_t client = 0; client < 2; ++client) CatRouter.ReleaseTransmitter(client, "its line was reset");
  ShowTransmitter();
  for (int i = 0; i < 3; ++i) failures.Attempt(kPortKeys[i], [&] { Ports(i).port.ClosePort(); });
  for (int i = 0; i < 3; ++i) failures.Attempt(kPortKeys[i], [&] { OpenAndShow(i); });
  resetting_ = false;
  CatRouter.OfferHeldAnswers();
  ArmWatchdog();
  failures.RaiseIfAny();
}

void TCorvaneForm::AboutMenuClick(TObject*) {
  view_.ShowAbout();
}

void TCorvaneForm::ExitMenuClick(TObject*) {
  if (view_.MessageBox("Do you really want to exit?", "Warning!",
                       TCorvaneView::Buttons::OKCancel) != TCorvaneView::idOK) {
    return;
  }
  view_.RemoveTrayIcon();
  view_.ProcessMessages();
  UpdateIniFile();
  view_.ProcessMessages();
  view_.CloseWindow();
}

void TCorvaneForm::ReopenFailedPorts(corvane::FailureList& failures) {
  for (int i = 0; i < 3; ++i) {
    const PortView p = Ports(i);
    const bool rig_down = &p.port == &outPort && !CatRouter.RigLineUp();
    if (TcpListening(i)) continue;
    if (p.port.Connected() && p.port.EventThreadRunning() && !rig_down && !lost_[i]) continue;
    if (&p.port == &outPort) CatRouter.SetRigLineUp(false);
    view_.SetLedOn(p.led, false);
    failures.Attempt(kPortKeys[i], [&] {
      if (p.port.Connected()) p.port.ClosePort();
      OpenAndShow(i);
      Trace(1, "<OnTimer> Serial port " + p.port.Port() + " open again");
      if (OnPortRecovered) OnPortRecovered(kPortKeys[i]);
    });
  }
}

void TCorvaneForm::hTimerTimer(TObject*) {
  // A line that failed or was never there is tried again on its own, every tick; the others
  // are not disturbed. Each reopen of a real line raises its DTR and RTS.
  corvane::FailureList failures;
  if (rig_failure_) failures.Add(kPortKeys[2], std::exchange(rig_failure_, nullptr));
  ReopenFailedPorts(failures);
  const bool stuck = CatRouter.Tick();
  if (tx_notice_) failures.Add("TXLIMIT", std::exchange(tx_notice_, nullptr));
  ShowQueueCaptions();
  repeated_lines_.Flush();
  if (stuck) {
    try {
      ResetButtonClick(this);
      Trace(2, "<OnTimer> Queue Reset");
    } catch (const corvane::PortFailures& reset) {
      for (const auto& failure : reset.failures()) failures.Add(failure.line, failure.error);
    }
  }
  if (tick_armed_ && failures.empty() && !WatchdogHasWork()) {
    tick_armed_ = false;
    view_.SetTimerEnabled(false);
  }
  failures.RaiseIfAny();
}

bool TCorvaneForm::WatchdogHasWork() {
  if (!CatRouter.Empty() || CatRouter.HoldsAnswers() || !CatRouter.RigLineUp() || rig_failure_ ||
      repeated_lines_.Pending())
    return true;
  // A transmitter keyed through the bridge is watched for its time limit.
  if (tx_limit_s_ > 0 && CatRouter.TransmitterOwner() >= 0) return true;
  for (int i = 0; i < 3; ++i) {
    const TComPort& port = Ports(i).port;
    if (TcpListening(i)) continue;
    if (lost_[i] || !port.Connected() || !port.EventThreadRunning()) return true;
  }
  return false;
}

void TCorvaneForm::ArmWatchdog() {
  if (!hTimerEnabled || tick_armed_ || !WatchdogHasWork()) return;
  tick_armed_ = true;
  view_.SetTimerEnabled(true);
}

void TCorvaneForm::UpdateIniFile() {
  Trace(1, "Writing INI updated INI file");
  if (ConfigFileName.empty()) ConfigFileName = corvane::CurrentDirWithSlash() + "CORVANE.INI";
  IniFile = std::make_unique<TIniFile>(ConfigFileName);
  IniFile->WriteString(kSection, "PORTA", InPortA.Port());
  IniFile->WriteString(kSection, "PORTB", InPortB.Port());
  IniFile->WriteString(kSection, "PORTO", outPort.Port());
  for (int i = 0; i < 2; ++i) IniFile->WriteString(kSection, kAccessKeys[i], access_text_[i]);
  IniFile->WriteInteger(kSection, "TXLIMIT", tx_limit_s_);
  IniFile->WriteString(kSection, "TRACE", TraceOn ? "YES" : "NOT");
  Trace(1, "Ended with INI updated INI file");
}

void TCorvaneForm::FormDestroy(TObject*) {
  repeated_lines_.FlushAll();
  UpdateIniFile();
  view_.RemoveTrayIcon();
}
