#pragma once
// The bridge: three serial ports and every handler of the main window, without the window
// itself (TCorvaneView draws it) and without the routing (the router does it). The handlers
// read the ports and hand the bytes to the router; the router writes back through the ports.
//
// Threading: every member runs on the main thread, one handler at a time. The ports'
// event threads reach the handlers only through synchronous calls into the main thread,
// which is why the ring and the buffers need no lock.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_view.h"
#include "app/port_failures.h"
#include "app/router/router.h"
#include "app/tcp_clients.h"
#include "cport/cport.h"
#include "log/log.h"
#include "log/repeated_lines.h"
#include "rt/ini_file.h"
#include "rt/tobject.h"

using corvane::TCOMQueue;

extern const char* const kCorvaneVersionLine;

class TCorvaneForm : public TObject, private corvane::RouterLines {
 public:
  static constexpr uint32_t kQueueSlots = corvane::Router::kQueueSlots;
  static constexpr size_t kRxBufferCap = corvane::Router::kRxBufferCap;
  // Connections a TCP client line takes at once unless MAXCLIENTS says otherwise, and the
  // most it may say: every connection is a client number of the router's.
  static constexpr int kDefaultMaxClients = 8;
  static constexpr int kMostMaxClients = 100;

  // args: the command line without the program name and without our own options.
  // clock: the router's time, monotonic milliseconds; empty means the steady clock (a test
  // passes its own to decide when commands have waited too long).
  TCorvaneForm(TCorvaneView& view, std::vector<std::string> args,
               corvane::Router::Clock clock = {});
  ~TCorvaneForm() override;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);

  int32_t getQueue(const std::string& token);
  void InPortARxChar(TObject* Sender, int32_t Count);
  void InPortBRxChar(TObject* Sender, int32_t Count);
  void ProcessBuffer(uint8_t PortNo, const std::string& Data);
  std::string swapAB(const std::string& Command);
  void outPortRxChar(TObject* Sender, int32_t Count);

  void WMSysCommand(uint32_t command);
  void ResetButtonClick(TObject* Sender);
  void AboutMenuClick(TObject* Sender);
  void ExitMenuClick(TObject* Sender);
  void ComSettingsButtonClickA(TObject* Sender);
  void ComSettingsButtonClickB(TObject* Sender);
  void ComSettingsButtonClickOUT(TObject* Sender);
  void hTimerTimer(TObject* Sender);
  void UpdateIniFile();

  // Called with a line's configuration key ("PORTA", "PORTB", "PORTO") when the line had
  // failed and is open again: an error it raised before is a new occurrence when it comes
  // back. Errors of lines are raised as PortFailures, each under its line's key.
  std::function<void(const std::string& line)> OnPortRecovered;

  // Whether the main loop watches the lines itself (set before FormCreate); off, each line
  // has an event thread of its own that hands its events over.
  bool LoopDelivery = true;

  // The tip of the tray icon for the current port names, cut to the record's 63 characters.
  std::string TrayTip() const;

  TComPort InPortA;
  TComPort outPort;
  TComPort InPortB;
  bool hTimerEnabled = false;
  std::unique_ptr<TIniFile> IniFile;
  TLog TraceLog;
  bool TraceOn = false;
  std::string ConfigFileName;

  // Port A is client 0, port B client 1 (it sees the VFOs exchanged).
  corvane::Router CatRouter;
  // The router's ring and buffers (0 = port A, 1 = port B, then the TCP connections, the
  // out port last), under their names on the main window.
  TCOMQueue* const Queue = CatRouter.Queue;
  uint32_t& ReadPointer = CatRouter.ReadPointer;
  uint32_t& WritePointer = CatRouter.WritePointer;
  std::vector<std::string>& RxBuffer = CatRouter.RxBuffer;

 private:
  struct PortView {
    TComPort& port;
    TCorvaneView::Led led;
    TCorvaneView::Label label;
  };
  PortView Ports(int index);

  bool Tracing(uint8_t level) const;
  void Trace(uint8_t level, const std::string& text);
  void ShowQueueCaptions();
  // Tells the view who keys the transmitter when that changed since it was last told.
  void ShowTransmitter();
  // Listens for the clients' lines' drained output while answers wait for room there.
  void FollowHeldAnswers();
  void ApplyDesignSettings(TComPort& port, const std::string& name);
  void ShowPortSettings(TComPort& port, bool writeIni);
  // Opens one port and shows it; raises what opening raised, with the port named.
  void OpenAndShow(int index);
  // ACCESSA, ACCESSB and TXLIMIT from the configuration.
  void ReadClientRules();
  // The port's name as the configuration wrote it while it still names the port's line;
  // the port's own name otherwise.
  std::string NameAsWritten(int index);
  // Reopens every port whose line is closed or whose monitoring ended (its device failed),
  // leaving the healthy ones alone; what a reopen raises is added to `failures`.
  void ReopenFailedPorts(corvane::FailureList& failures);

  // Whether the watchdog has anything to look after: a command waiting for its answer, an
  // answer held for a client, a line that is down or failed.
  bool WatchdogHasWork();
  // Starts the watchdog's tick when it has work and is not ticking; an idle bridge does not
  // wake for it. The tick stops itself once it finds nothing to do.
  void ArmWatchdog();
  // A port's monitoring ended because its device failed (unplugged, hung up): the watchdog
  // reopens it, and says so if it cannot. Other failures of the port are raised as usual.
  void PortFailed(TComPort& port, TComExceptions kind, int64_t system_error);
  // The line failed (its wait, a read in its handler, a write to it): it is left to the
  // watchdog, which reopens it, and the watchdog is started.
  void MarkLost(int index, const std::string& why);
  // Runs a receive handler's body; what it raises is the line's failure, then goes on
  // to end the port's monitoring as any handler's error does.
  template <class Body>
  void RunReceiveHandler(int index, Body&& body);

  // Port A's and port B's TCP client lines (corvane_form_tcp.cpp).
  bool TcpListening(int index) const;
  // Listens on the port's tcp: value, making the line when there is none for it yet; raises
  // what listening raised, with the value as written and the port's key.
  void ListenAndShow(int index);
  void DropTcpLine(int index);
  void ShowClientCount(int index);
  // The router's offer to a connection of a TCP line.
  size_t OfferToTcpClient(size_t client, const std::string& bytes);

  void WriteToRig(const std::string& command) override;
  size_t OfferToClient(size_t client, const std::string& bytes) override;

  TCorvaneView& view_;
  std::vector<std::string> args_;
  corvane::RepeatedLines repeated_lines_;
  std::string written_names_[3];  // as read from the configuration, by Ports() index
  std::exception_ptr rig_failure_;  // a failed write to the transceiver, for the next tick
  // What clients A and B may do, as written; a port whose value is not known stays closed.
  std::string access_text_[2] = {"FULL", "FULL"};
  bool bad_access_[2] = {false, false};
  int tx_limit_s_ = 0;  // TXLIMIT: seconds a transmitter keyed through the bridge may stay keyed
  std::exception_ptr tx_notice_;  // the time limit reached, for the operator at this tick
  bool resetting_ = false;           // the ports are being closed and reopened together
  bool tick_armed_ = false;          // the view's timer runs
  bool closing_ = false;             // the form is being destroyed
  bool drains_followed_ = false;     // the clients' lines' drained output is listened for
  bool lost_[3] = {};                // by Ports() index: the line failed, not yet reopened
  int max_clients_ = kDefaultMaxClients;
  std::unique_ptr<corvane::TcpClients> tcp_[2];  // by Ports() index, where the value is tcp:
  uint32_t shown_read_ = UINT32_MAX;
  uint32_t shown_write_ = UINT32_MAX;
  std::string shown_keyer_;  // the keying client as the view was last told, empty for nobody
};
