#include "app/corvane_form.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <exception>

#include "rt/current_dir.h"
#include "rt/find_file.h"
#include "widgets/about_texts.h"

const char* const kCorvaneVersionLine = "Corvane Ver.2.0 Build 000-0010";

namespace {

std::string UpperCase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

constexpr const char* kSection = "SETTINGS";

}  // namespace

TCorvaneForm::TCorvaneForm(TCorvaneView& view, std::vector<std::string> args)
    : view_(view), args_(std::move(args)) {
  ApplyDesignSettings(InPortA, "COM11");
  ApplyDesignSettings(InPortB, "COM13");
  ApplyDesignSettings(outPort, "COM4");
  InPortA.SetOnRxChar([this](TObject* s, int32_t n) { InPortARxChar(s, n); });
  InPortB.SetOnRxChar([this](TObject* s, int32_t n) { InPortBRxChar(s, n); });
  outPort.SetOnRxChar([this](TObject* s, int32_t n) { outPortRxChar(s, n); });
}

TCorvaneForm::~TCorvaneForm() {
  // The handlers capture this object; a port closing during destruction must not reach them.
  InPortA.SetOnRxChar(nullptr);
  InPortB.SetOnRxChar(nullptr);
  outPort.SetOnRxChar(nullptr);
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
}

bool TCorvaneForm::Tracing(uint8_t level) const {
  return TraceLog.Active() && level <= TraceLog.Level();
}

void TCorvaneForm::Trace(uint8_t level, const std::string& text) {
  TraceLog.WriteLine(level, text);
}

void TCorvaneForm::SetQueueCaption(TCorvaneView::Label label, uint32_t value) {
  view_.SetLabelCaption(label, std::to_string(value));
}

void TCorvaneForm::FormCreate(TObject*) {
  for (auto& b : RxBuffer) b.clear();
  ReadPointer = WritePointer = LastReadPointer = 0;
  view_.SetLabelCaption(TCorvaneView::Label::QueueRead, "0");
  view_.SetLabelCaption(TCorvaneView::Label::QueueWrite, "0");

  std::string dir = corvane::CurrentDirWithSlash();

  TraceLog.SetFileName(dir + "Corvane" + ".Log");
  TraceLog.SetLevel(1);

  std::string name;
  if (!args_.empty() && UpperCase(args_[0]) == "-F") {
    name = args_.size() > 1 ? UpperCase(args_[1]) : std::string();
  }
  if (name.empty()) {
    ConfigFileName = corvane::FindFileIgnoringCase(dir + "Corvane" + ".INI");
  } else {
    ConfigFileName = corvane::FindFileIgnoringCase(dir + name);
    if (!FileExists(ConfigFileName)) {
      int answer = view_.MessageBox("ERROR: Configuration File does not exists", "Error!",
                                    TCorvaneView::Buttons::OK);
      if (answer != TCorvaneView::idOK) return;
    }
  }

  IniFile = std::make_unique<TIniFile>(ConfigFileName);

  struct PortKey {
    TComPort& port;
    const char* key;
    const char* fallback;
  };
  const PortKey keys[] = {
      {InPortA, "PORTA", "COM11"}, {InPortB, "PORTB", "COM13"}, {outPort, "PORTO", "COM4"}};
  for (const auto& k : keys) {
    k.port.SetPort(UpperCase(IniFile->ReadString(kSection, k.key, k.fallback)));
    k.port.SetBaudRate(br38400);
  }

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
  if (!TraceOn) TraceLog.SetActive(false);

  struct PortView {
    TComPort& port;
    TCorvaneView::Led led;
    TCorvaneView::Label label;
  };
  const PortView ports[] = {
      {InPortA, TCorvaneView::Led::LEDPortA, TCorvaneView::Label::COMPortLabel},
      {InPortB, TCorvaneView::Led::LEDPortB, TCorvaneView::Label::RigNameLabel},
      {outPort, TCorvaneView::Led::LEDOut, TCorvaneView::Label::RigFreqLabel}};
  for (const auto& p : ports) {
    Trace(1, "Serial port " + p.port.Port() + " initialization");
    if (!p.port.Connected()) {
      p.port.OpenPort();
      view_.SetLedOn(p.led, true);
      view_.SetLabelCaption(p.label, p.port.Port());
    }
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
  view_.SetTimerEnabled(true);
}

std::string TCorvaneForm::TrayTip() const {
  std::string tip =
      "Corvane (" + InPortA.Port() + ":" + InPortB.Port() + ")<>(" + outPort.Port() + ")";
  if (tip.size() > 63) tip.resize(63);
  return tip;
}

int32_t TCorvaneForm::getQueue(const std::string& token) {
  uint32_t i = ReadPointer;
  if (i == WritePointer) {
    Trace(1, "   <getQueue> Queue(" + std::to_string(i) + ") *ERROR* is empty, returning -1");
    return -1;
  }
  for (;;) {
    std::string entry = Queue[i].Cmd.substr(0, 2);
    if (Tracing(2)) Trace(2, "   <getQueue> Queue(" + std::to_string(i) + ") cmd(" + entry + ")");
    if (entry == token) {
      if (Tracing(2)) Trace(2, "   <getQueue> Queue(" + std::to_string(i) + ") match token");
      return static_cast<int32_t>(i);
    }
    i = (i + 1) % kQueueSlots;
    if (i == WritePointer) {
      if (Tracing(2)) {
        Trace(2,
              "   <getQueue> Queue(" + std::to_string(i) + ") *ERROR* equals end of Queue, exit");
      }
      return -1;
    }
  }
}

void TCorvaneForm::InPortARxChar(TObject*, int32_t Count) {
  Trace(2, "------");
  std::string text;
  InPortA.ReadText(text, Count);
  if (Tracing(2)) {
    Trace(2, "<InPortARxChar> (Port A) CAT Command Received (" + text + ") Len(" +
                 std::to_string(Count) + ")");
  }
  ProcessBuffer(0, text);
}

void TCorvaneForm::InPortBRxChar(TObject*, int32_t Count) {
  Trace(2, "------");
  std::string text;
  InPortB.ReadText(text, Count);
  if (Tracing(2)) {
    Trace(2, "<InPortBRxChar> (PortB) CAT Command Received (" + text + ") Len(" +
                 std::to_string(Count) + ")");
  }
  ProcessBuffer(1, text);
}

void TCorvaneForm::CapBuffer(int index) {
  std::string& buffer = RxBuffer[index];
  if (buffer.size() <= kRxBufferCap) return;
  Trace(1, " <ProcessBuffer> Port(" + std::to_string(index) + ") *ERROR* no \";\" in (" +
               std::to_string(buffer.size()) + ") bytes, buffer dropped");
  buffer.clear();
  buffer.shrink_to_fit();
}

void TCorvaneForm::ProcessBuffer(uint8_t PortNo, const std::string& Data) {
  std::string& buffer = RxBuffer[PortNo];
  const std::string port = std::to_string(PortNo);
  buffer += Data;
  if (Tracing(2)) Trace(2, " <ProcessBuffer> Port(" + port + ") Updated now (" + buffer + ")");

  size_t semi = buffer.find(';');
  while (semi != std::string::npos) {
    std::string command = buffer.substr(0, semi + 1);
    std::string token = command.substr(0, 2);
    if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Port(" + port + ") Parsed command (" + command + ") token(" +
                   token + ")");
    }
    if (PortNo == 1 && (token == "FA" || token == "FB")) {
      command = swapAB(command);
      if (Tracing(2)) {
        Trace(2, " <ProcessBuffer> Port(" + port + ") Command changed to (" + command + ")");
      }
    }
    outPort.WriteText(command);

    TCOMQueue& slot = Queue[WritePointer];
    slot.Port = PortNo;
    slot.Flag = 0;
    slot.Cmd = command;
    if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Port(" + port + ") command (" + command +
                   ") sent to out port and stored at queue position(" +
                   std::to_string(WritePointer) + ")");
    }
    WritePointer++;
    if (WritePointer == kQueueSlots) {
      WritePointer = 0;
      Trace(2, " <ProcessBuffer> Queue pointer write reset to 0");
    } else if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Queue pointer next is (" + std::to_string(WritePointer) + ")");
    }
    SetQueueCaption(TCorvaneView::Label::QueueWrite, WritePointer);

    buffer.erase(0, semi + 1);
    if (!buffer.empty()) {
      if (Tracing(2)) Trace(2, " <ProcessBuffer> Buffer left is (" + buffer + ")");
    } else {
      Trace(2, " <ProcessBuffer> Buffer is now empty");
    }
    semi = buffer.find(';');
  }
  CapBuffer(PortNo);
}

std::string TCorvaneForm::swapAB(const std::string& Command) {
  if (Command.find(';') == std::string::npos) {
    Trace(1, "   <swapAB> *ERROR* Command(" + Command + ") not a command");
    return Command;
  }
  std::string token = Command.substr(0, 2);
  if (Tracing(2)) Trace(2, "   <swapAB> Command(" + Command + ") token(" + token + ")");
  if (token == "FA") {
    std::string result = "FB" + Command.substr(2);
    if (Tracing(2)) {
      Trace(2, "   <swapAB> Command FA detected Previous(" + Command + ") now swapped To(" +
                   result + ")");
    }
    return result;
  }
  if (token == "FB") return "FA" + Command.substr(2);
  if (Tracing(2)) {
    Trace(2, "   <swapAB> Command (" + Command + ") left without modifications");
  }
  return Command;
}

void TCorvaneForm::outPortRxChar(TObject*, int32_t Count) {
  Trace(2, "------");
  std::string text;
  outPort.ReadText(text, Count);
  std::string& buffer = RxBuffer[2];
  buffer += text;
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> CAT Command Response (" + text + ") Buffer(" + buffer + ")");
  }

  size_t semi = buffer.find(';');
  while (semi != std::string::npos) {
    std::string answer = buffer.substr(0, semi + 1);
    buffer.erase(0, semi + 1);
    std::string token = answer.substr(0, 2);
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> Command parsed(" + answer + ") token(" + token + ") buffer left(" +
                   buffer + ")");
    }
    int32_t k = getQueue(token);
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> getQueue(" + token + ") is (" + std::to_string(k) + ")");
    }
    if (k == -1) {
      ReadPointer = WritePointer;
      Trace(2, "<OutPortRxChar> *WARNING* Queue reset");
    } else {
      if (Queue[k].Port == 0) {
        InPortA.WriteText(answer);
        if (Tracing(2)) {
          Trace(2, "<OutPortRxChar> CAT Response(" + answer + ") matching queue(" +
                       std::to_string(k) + ") sent to Port A left(" + buffer + ")");
        }
      } else {
        if (token == "FA" || token == "FB") answer = swapAB(answer);
        InPortB.WriteText(answer);
        if (Tracing(2)) {
          Trace(2, "<OutPortRxChar> CAT Response(" + answer + ") matching queue(" +
                       std::to_string(k) + ") sent to Port B left(" + buffer + ")");
        }
      }
      ReadPointer = static_cast<uint32_t>(k) + 1;
      if (ReadPointer == kQueueSlots) {
        ReadPointer = 0;
        Trace(2, "<OutPortRxChar> *WARNING* Queue pointer read reset to 0");
      }
      if (ReadPointer == WritePointer) {
        if (Tracing(2)) {
          Trace(2, "<OutPortRxChar> Queue is empty now RQ=" + std::to_string(ReadPointer));
        }
      } else if (Tracing(2)) {
        Trace(2, "<OutPortRxChar> Next command to pair is pRQ=" + std::to_string(ReadPointer) +
                     " cmd=" + Queue[ReadPointer].Cmd);
      }
    }
    SetQueueCaption(TCorvaneView::Label::QueueRead, ReadPointer);
    semi = buffer.find(';');
  }
  CapBuffer(2);
}

void TCorvaneForm::WMSysCommand(uint32_t command) {
  if (command == 666) AboutMenuClick(this);
  if (command == 444) ShowPortSettings(InPortA, false);
  if (command == 445) ShowPortSettings(InPortB, false);
  if (command == 446) ShowPortSettings(outPort, false);
  if (command == 447) ResetButtonClick(this);
}

void TCorvaneForm::ShowPortSettings(TComPort& port, bool writeIni) {
  view_.ShowSettingsDialog(port);
  if (writeIni) UpdateIniFile();
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
  // the other client off from the transceiver: every port gets its turn, and the first
  // failure is raised once all have had it.
  std::exception_ptr failure;
  auto attempt = [&failure](TComPort& port, void (TComPort::*step)()) {
    try {
      (port.*step)();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt(InPortA, &TComPort::ClosePort);
  attempt(InPortB, &TComPort::ClosePort);
  attempt(outPort, &TComPort::ClosePort);
  WritePointer = 0;
  ReadPointer = 0;
  attempt(InPortA, &TComPort::OpenPort);
  attempt(InPortB, &TComPort::OpenPort);
  attempt(outPort, &TComPort::OpenPort);
  if (failure) std::rethrow_exception(failure);
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

void TCorvaneForm::hTimerTimer(TObject*) {
  if (ReadPointer == LastReadPointer) {
    ResetButtonClick(this);
    Trace(2, "<OnTimer> Queue Reset");
  } else {
    LastReadPointer = ReadPointer;
  }
}

void TCorvaneForm::UpdateIniFile() {
  Trace(1, "Writing INI updated INI file");
  if (ConfigFileName.empty()) ConfigFileName = corvane::CurrentDirWithSlash() + "CORVANE.INI";
  IniFile = std::make_unique<TIniFile>(ConfigFileName);
  IniFile->WriteString(kSection, "PORTA", InPortA.Port());
  IniFile->WriteString(kSection, "PORTB", InPortB.Port());
  IniFile->WriteString(kSection, "PORTO", outPort.Port());
  IniFile->WriteString(kSection, "TRACE", TraceOn ? "YES" : "NOT");
  Trace(1, "Ended with INI updated INI file");
}

void TCorvaneForm::FormDestroy(TObject*) {
  UpdateIniFile();
  view_.RemoveTrayIcon();
}
