#pragma once
// The serial port object: settings, opening and closing, and applying settings to the
// device.
//
// Threading contract
// - Every property and every operation of a port is used on the main thread only; the
//   port takes no lock.
// - While the port is open its event thread (when Events is not empty) reads Events at
//   its start, SyncMethod, and the device; it calls the device's WaitCommEvent and
//   PollCommEvent while the main thread calls the device's other operations, also while
//   the main thread runs the handlers of the thread's last batch. ClosePort ends that
//   thread before it releases the device, so the device outlives every call the thread
//   makes.
// - Handlers run on the main thread unless SyncMethod is smNone; a handler running on the
//   event thread must not write port properties.
// - With LoopDelivery the main thread's loop may watch the device instead of an event
//   thread; then nothing but the main thread touches the port or its device.
// - The event thread hands a batch over only when some event of it is handled: by an
//   assigned handler, a registered link's callback, or any event at all for an object of a
//   derived class, whose fire steps may be overridden. Such a batch is delivered whole.
//
// Errors
// - Every failure goes through ReportPortError: an EComPort exception carrying the error
//   code and the platform's errno, or, when OnException is assigned, a call of that
//   handler after which the failing operation goes on.
// - A setter whose apply step fails keeps the new value stored; the device keeps its
//   previous settings.
//
// Settings a Linux tty cannot carry are accepted, stored and persisted, and have no effect
// on the line there; none is refused, so settings written elsewhere open the same:
// - FlowControl.OutDSRFlow (output waiting for DSR) and DSRSensitivity (input ignored
//   while DSR is off): the tty has neither.
// - FlowControl.TxContinueOnXoff: the tty's output always stops on XOFF alone.
// - XonLim and XoffLim (a quarter of Buffer.InputSize): the tty sends XOFF and XON at
//   thresholds of its own.
// - OutCTSFlow and ControlRTS = rtsHandshake each switch on the tty's one RTS/CTS
//   handshake, which works in both directions: OutCTSFlow alone also drives RTS for input.
// - DTR handshake holds DTR on.
// Emulated by the tty backend: RTS toggle (RTS raised for each write, lowered once the
// output has drained), DiscardNull, EV_RX80FULL (the input queue passing 80 % of
// Buffer.InputSize), EventChar (EV_RXFLAG when it arrives, while OnRxFlag or a link
// watches for it) and Parity.Check with Parity.Replace: a byte with a parity or framing
// error becomes ReplaceChar, or without Replace passes as received, and DiscardNull drops
// only bytes that came as NUL. For the event character and parity
// checking the backend takes the bytes in as they arrive, up to Buffer.InputSize or the
// tty's own few kilobytes, whichever is more; the input count includes them.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cport/com_async.h"
#include "cport/com_error.h"
#include "cport/com_link.h"
#include "cport/component.h"
#include "cport/cport_settings.h"
#include "cport/cport_types.h"
#include "cport/platform/device.h"
#include "rt/tobject.h"

class TIniFile;
class TComThread;
class TComLoopWatch;
class TRegistry;

using TRxCharEvent = std::function<void(TObject* Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const void* Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComExceptionEvent = std::function<void(TObject* Sender, TComExceptions TComException,
                                              const std::string& ComportMessage, int64_t WinError,
                                              const std::string& WinMessage)>;

// The 32-bit value the device receives for a timeout: -1 becomes all ones, every other
// value keeps its bits.
uint32_t TimeoutToDevice(int32_t Value);

class TCustomComPort : public TComponent {
 public:
  explicit TCustomComPort(TComponent* AOwner = nullptr);
  ~TCustomComPort() override;

  // --- settings persistence: the groups in StoredProps, under the INI section named after
  // the port's Name, or as values of the registry key the caller has opened. Reading goes
  // through the setters, so an open port takes each changed value at once.
  virtual void WriteToRegistry(TRegistry& Reg);
  virtual void WriteToIni(TIniFile& Ini);
  virtual void ReadFromRegistry(TRegistry& Reg);
  virtual void ReadFromIni(TIniFile& Ini);

  // --- settings ---
  bool Connected() const { return FConnected; }
  // True opens, False closes; while loading only records the value.
  void SetConnected(bool Value);
  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate Value);
  // The bit rate used when BaudRate is brCustom.
  int32_t CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(int32_t Value);
  const std::string& Port() const { return FPort; }
  // A different name on an open port closes it and opens the new device.
  void SetPort(const std::string& Value);
  TComParity& Parity() { return *FParity; }
  const TComParity& Parity() const { return *FParity; }
  void SetParity(const TComParity& Value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits Value);
  bool DiscardNull() const { return FDiscardNull; }
  void SetDiscardNull(bool Value);
  char EventChar() const { return FEventChar; }
  void SetEventChar(char Value);
  // Read when the port opens; a change while open counts from the next open.
  TComEvents Events() const { return FEvents; }
  void SetEvents(TComEvents Value) { FEvents = Value; }
  TComBuffer& Buffer() { return *FBuffer; }
  const TComBuffer& Buffer() const { return *FBuffer; }
  void SetBuffer(const TComBuffer& Value);
  TComFlowControl& FlowControl() { return *FFlowControl; }
  const TComFlowControl& FlowControl() const { return *FFlowControl; }
  void SetFlowControl(const TComFlowControl& Value);
  TComTimeouts& Timeouts() { return *FTimeouts; }
  const TComTimeouts& Timeouts() const { return *FTimeouts; }
  void SetTimeouts(const TComTimeouts& Value);
  TStoredProps StoredProps() const { return FStoredProps; }
  void SetStoredProps(TStoredProps Value) { FStoredProps = Value; }
  // False while a linked component takes the received buffers, whatever was stored: the
  // link is fed then, not OnRxChar.
  bool TriggersOnRxChar() const { return FTriggersOnRxChar && !FHasRxBufLink; }
  void SetTriggersOnRxChar(bool Value);
  TSyncMethod SyncMethod() const { return FSyncMethod; }
  // Refused with code 14 while the port is open.
  void SetSyncMethod(TSyncMethod Value);
  // Whether closing a port whose events are monitored drops what waits in the device's
  // queues, received and unsent. With false, what has arrived stays for the next opening,
  // whose monitoring reports it as an arrival. Not part of the stored settings.
  bool DiscardOnClose() const { return FDiscardOnClose; }
  void SetDiscardOnClose(bool Value) { FDiscardOnClose = Value; }
  // Whether the loop that runs the main thread watches the device in place of an event
  // thread (see com_loop_watch.h). Taken when SyncMethod is smThreadSync, that loop can
  // watch descriptors and the device offers one; otherwise an event thread watches. Read
  // when monitoring starts. Not part of the stored settings.
  bool LoopDelivery() const { return FLoopDelivery; }
  void SetLoopDelivery(bool Value) { FLoopDelivery = Value; }
  // Kept for the settings store; nothing in the port reads it.
  uint32_t CodePage() const { return FCodePage; }
  void SetCodePage(uint32_t Value) { FCodePage = Value; }

  // --- events ---
  const TNotifyEvent& OnAfterOpen() const { return FOnAfterOpen; }
  void SetOnAfterOpen(TNotifyEvent Value) { FOnAfterOpen = std::move(Value); }
  const TNotifyEvent& OnAfterClose() const { return FOnAfterClose; }
  void SetOnAfterClose(TNotifyEvent Value) { FOnAfterClose = std::move(Value); }
  const TNotifyEvent& OnBeforeOpen() const { return FOnBeforeOpen; }
  void SetOnBeforeOpen(TNotifyEvent Value) { FOnBeforeOpen = std::move(Value); }
  const TNotifyEvent& OnBeforeClose() const { return FOnBeforeClose; }
  void SetOnBeforeClose(TNotifyEvent Value) { FOnBeforeClose = std::move(Value); }
  const TRxCharEvent& OnRxChar() const { return FOnRxChar; }
  void SetOnRxChar(TRxCharEvent Value) {
    FOnRxChar = std::move(Value);
    RefreshHandledEvents();
  }
  const TRxBufEvent& OnRxBuf() const { return FOnRxBuf; }
  void SetOnRxBuf(TRxBufEvent Value) {
    FOnRxBuf = std::move(Value);
    RefreshHandledEvents();
  }
  const TNotifyEvent& OnTxEmpty() const { return FOnTxEmpty; }
  void SetOnTxEmpty(TNotifyEvent Value) {
    FOnTxEmpty = std::move(Value);
    RefreshHandledEvents();
  }
  const TNotifyEvent& OnBreak() const { return FOnBreak; }
  void SetOnBreak(TNotifyEvent Value) {
    FOnBreak = std::move(Value);
    RefreshHandledEvents();
  }
  const TNotifyEvent& OnRing() const { return FOnRing; }
  void SetOnRing(TNotifyEvent Value) {
    FOnRing = std::move(Value);
    RefreshHandledEvents();
  }
  const TComSignalEvent& OnCTSChange() const { return FOnCTSChange; }
  void SetOnCTSChange(TComSignalEvent Value) {
    FOnCTSChange = std::move(Value);
    RefreshHandledEvents();
  }
  const TComSignalEvent& OnDSRChange() const { return FOnDSRChange; }
  void SetOnDSRChange(TComSignalEvent Value) {
    FOnDSRChange = std::move(Value);
    RefreshHandledEvents();
  }
  const TComSignalEvent& OnRLSDChange() const { return FOnRLSDChange; }
  void SetOnRLSDChange(TComSignalEvent Value) {
    FOnRLSDChange = std::move(Value);
    RefreshHandledEvents();
  }
  const TNotifyEvent& OnRxFlag() const { return FOnRxFlag; }
  void SetOnRxFlag(TNotifyEvent Value) {
    FOnRxFlag = std::move(Value);
    RefreshHandledEvents();
  }
  const TComErrorEvent& OnError() const { return FOnError; }
  void SetOnError(TComErrorEvent Value) {
    FOnError = std::move(Value);
    RefreshHandledEvents();
  }
  const TNotifyEvent& OnRx80Full() const { return FOnRx80Full; }
  void SetOnRx80Full(TNotifyEvent Value) {
    FOnRx80Full = std::move(Value);
    RefreshHandledEvents();
  }
  const TComExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TComExceptionEvent Value) {
    FOnException = std::move(Value);
    RefreshHandledEvents();
  }

  // --- settings bracket: setters inside it store only; the outermost end applies all ---
  void BeginSettingsUpdate() { ++FUpdateCount; }
  void EndSettingsUpdate();

  // --- opening and closing ---
  void OpenPort();
  // Closing from the port's own event handler while the event thread waits for that
  // handler (smThreadSync, or any handler under smNone) is refused with code 14 and the
  // port stays open: the close would wait for the thread that waits for the handler. The
  // same holds for Connected := False and a new Port written there. Close from elsewhere,
  // for example from a timer the handler starts.
  void ClosePort();

  // --- applying settings; each does nothing unless open, outside a bracket, not loading ---
  virtual void ApplyAllSettings();
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

  // Raises EComPort for Code (1..24) with WinError as its platform code when WinError is
  // above 0; with OnException assigned calls it instead and returns.
  void ReportPortError(uint16_t Code, int64_t WinError);

  // --- line status ---
  // Received bytes waiting to be read (code 10 when the device cannot say).
  int32_t InQueueCount();
  TComModemSignals ModemSignals();
  // Pending line errors, which the device forgets once asked (code 10 when it cannot say).
  TComErrors LineErrors();
  // Ends pending reads and writes on the device (code 5 when that fails).
  void AbortPendingIO();

  // --- reading and writing: issue on a record, then await it. A missing record is code 4,
  // a closed port code 24; the issuing functions return the bytes moved at once (0 while
  // the transfer is pending), AwaitAsync the bytes moved in all.
  int32_t StartWrite(const void* Buffer, int32_t Count, TComAsync* Async);
  int32_t StartWriteText(const std::string& Text, TComAsync* Async);
  int32_t StartRead(void* Buffer, int32_t Count, TComAsync* Async);
  // Text becomes Count bytes long (empty for Count below 1) and receives the bytes read.
  int32_t StartReadText(std::string& Text, int32_t Count, TComAsync* Async);
  int32_t AwaitAsync(TComAsync* Async);
  // Issue and await in one call; with the default timeouts a read returns at once with
  // what has arrived, a write when the bytes have left or the write timeout has run out.
  int32_t WriteText(const std::string& Text);
  int32_t ReadBytes(void* Buffer, int32_t Count);
  // Text holds exactly the bytes read.
  int32_t ReadText(std::string& Text, int32_t Count);

  // --- linked components, told in registration order. Registering a link twice or
  // unregistering an unknown one is code 18. The port does not own the link, and reads
  // which of its callbacks are assigned when it registers.
  void RegisterLink(TComPortLink* Link);
  void UnRegisterLink(TComPortLink* Link);

  // True while the event thread, or the loop in its place, watches the device; false once
  // monitoring has ended (closed port, Events empty, a handler raised under smThreadSync, or
  // the device went away).
  bool EventThreadRunning() const;

  // --- event delivery by message (smWindowSync), on the main thread ---
  struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
  };
  static constexpr uint32_t PortEventMessage = 0x0400 + 1;  // WM_USER + 1
  void PortWindowProc(TMessage& Message);

 protected:
  void Loaded() override;

  // Obtains the device for Port (code 1 when it cannot); tests override it to install a
  // scripted device through AdoptDevice.
  virtual void CreateDeviceHandle();
  virtual void ReleaseDeviceHandle();
  void AdoptDevice(std::unique_ptr<corvane::platform::Device> Device);
  // The open device; null while the port is closed.
  corvane::platform::Device* ComDevice() const { return FDevice.get(); }

  virtual void FireAfterClose();
  virtual void FireAfterOpen();
  virtual void FireBeforeClose();
  virtual void FireBeforeOpen();
  virtual void FireRxChar(int32_t Count);
  virtual void FireRxBuf(const void* Buffer, int32_t Count);
  virtual void FireTxEmpty();
  virtual void FireBreak();
  virtual void FireRing();
  virtual void FireRxFlag();
  virtual void FireCTSChange(bool OnOff);
  virtual void FireDSRChange(bool OnOff);
  virtual void FireError(TComErrors Errors);
  virtual void FireRLSDChange(bool OnOff);
  virtual void FireRx80Full();

  void HandleBeforeOpen();
  void HandleAfterOpen();
  void HandleBeforeClose();
  void HandleAfterClose();
  void HandleRxChar();
  void HandleTxEmpty();
  void HandleRxFlag();
  void HandleRing();
  void HandleBreak();
  void HandleCTSChange();
  void HandleDSRChange();
  void HandleRLSDChange();
  void HandleError();
  void HandleRx80Full();
  void ReportLineStates(bool Opening);
  // The handling steps of a batch's events, in their fixed order: errors before the bytes
  // they spoiled, received bytes before the drained output.
  void RunEventHandlers(TComEvents Events);

  void SignalLinks(TPortLinkEvent Kind, bool OnOff);
  void CallLinks(TPortLinkEvent Kind);
  void PassTxToLinks(const void* Buffer, int32_t Count);
  // Reads the Count waiting bytes for the links and OnRxBuf when they take them; sets
  // Count to 0 when it did, so OnRxChar is not called.
  void DeliverRxToLinks(int32_t& Count);

  // Set while a linked component takes the received buffers.
  bool FHasRxBufLink = false;

 private:
  friend class TComThread;
  friend class TComLoopWatch;

  bool ApplyAllowed() const;
  // Whether closing now would wait for the caller itself (see ClosePort); reports code 14
  // when it would.
  bool CloseRefused();
  // Whether some linked component has the given callback assigned.
  template <class Callback>
  bool LinksHave(Callback TComPortLink::*callback) const {
    return std::any_of(FLinkList.begin(), FLinkList.end(),
                       [callback](const TComPortLink* link) { return bool(link->*callback); });
  }
  // The events whose handling steps call a handler, a link, or a fire step a derived
  // class may have overridden, or ask the device in a way a handler would see.
  TComEvents HandledEvents() const;
  // Main thread, when monitoring starts and after a handler, a link or TriggersOnRxChar
  // changed: tells the event thread and the device.
  void RefreshHandledEvents();
  // Event monitoring of an open port: started at the end of opening when Events is not
  // empty, stopped before the device is released; stopping drops the device's queues when
  // DiscardOnClose says so.
  void StartEventMonitoring();
  void StopEventMonitoring();

  bool FConnected = false;
  TBaudRate FBaudRate = br9600;
  int32_t FCustomBaudRate = 9600;
  std::string FPort = "COM1";
  TStopBits FStopBits = sbOneStopBit;
  TDataBits FDataBits = dbEight;
  bool FDiscardNull = false;
  char FEventChar = 0;
  TComEvents FEvents = corvane::kAllComEvents;
  TStoredProps FStoredProps{spBasic};
  bool FTriggersOnRxChar = true;
  TSyncMethod FSyncMethod = smThreadSync;
  bool FDiscardOnClose = true;
  bool FLoopDelivery = false;
  uint32_t FCodePage = 0;
  int32_t FUpdateCount = 0;
  bool FThreadCreated = false;
  // Whether the object is of this class or TComPort, whose fire steps are the ones here:
  // decided when monitoring starts, when the object is fully constructed.
  bool FOwnFireSteps = false;
  // HandledEvents() as the event thread reads it.
  std::atomic<TComEvents::bits_type> FHandledEvents{corvane::kAllComEvents.bits()};

  std::unique_ptr<TComParity> FParity;
  std::unique_ptr<TComFlowControl> FFlowControl;
  std::unique_ptr<TComTimeouts> FTimeouts;
  std::unique_ptr<TComBuffer> FBuffer;
  std::unique_ptr<corvane::platform::Device> FDevice;
  // Input the last device took in and nobody read, for the next open of the same line.
  std::string FCarriedInput;
  std::string FCarriedPort;
  std::unique_ptr<TComThread> FEventThread;
  std::unique_ptr<TComLoopWatch> FLoopWatch;  // in place of the event thread
  std::vector<TComPortLink*> FLinkList;

  TNotifyEvent FOnAfterOpen, FOnAfterClose, FOnBeforeOpen, FOnBeforeClose;
  TRxCharEvent FOnRxChar;
  TRxBufEvent FOnRxBuf;
  TNotifyEvent FOnTxEmpty, FOnBreak, FOnRing, FOnRxFlag, FOnRx80Full;
  TComSignalEvent FOnCTSChange, FOnDSRChange, FOnRLSDChange;
  TComErrorEvent FOnError;
  TComExceptionEvent FOnException;
};

// The port as the program uses it; every property above is published.
class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
};
