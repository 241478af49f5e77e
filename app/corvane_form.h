#pragma once
// The bridge: three serial ports, the receive buffers, the ring of pending commands and
// every handler of the main window, without the window itself (TCorvaneView draws it).
//
// Threading: every member runs on the main thread, one handler at a time. The ports'
// event threads reach the handlers only through synchronous calls into the main thread,
// which is why the ring and the buffers need no lock.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_view.h"
#include "cport/cport.h"
#include "log/log.h"
#include "rt/ini_file.h"
#include "rt/tobject.h"

struct TCOMQueue {
  uint8_t Port = 0;  // 0 = port A, 1 = port B
  int32_t Flag = 0;
  std::string Cmd;
};

extern const char* const kCorvaneVersionLine;

class TCorvaneForm : public TObject {
 public:
  static constexpr uint32_t kQueueSlots = 128;
  // A CAT command is tens of bytes; a client that never sends ";" must not grow memory
  // without bound, so a buffer that passes this size is dropped.
  static constexpr size_t kRxBufferCap = 64 * 1024;

  // args: the command line without the program name and without our own options.
  TCorvaneForm(TCorvaneView& view, std::vector<std::string> args);
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

  // The tip of the tray icon for the current port names, cut to the record's 63 characters.
  std::string TrayTip() const;

  TComPort InPortA;
  TComPort outPort;
  TComPort InPortB;
  bool hTimerEnabled = false;
  std::string RxBuffer[3];
  std::unique_ptr<TIniFile> IniFile;
  TLog TraceLog;
  bool TraceOn = false;
  TCOMQueue Queue[kQueueSlots + 1];
  uint32_t ReadPointer = 0;
  uint32_t WritePointer = 0;
  uint32_t LastReadPointer = 0;
  std::string ConfigFileName;

 private:
  bool Tracing(uint8_t level) const;
  void Trace(uint8_t level, const std::string& text);
  void SetQueueCaption(TCorvaneView::Label label, uint32_t value);
  void ApplyDesignSettings(TComPort& port, const std::string& name);
  void ShowPortSettings(TComPort& port, bool writeIni);
  void CapBuffer(int index);

  TCorvaneView& view_;
  std::vector<std::string> args_;
};
