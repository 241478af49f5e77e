// The bridge's command cutter and answer router fed arbitrary bytes in arbitrary chunks from
// both clients and the transceiver, with resets, watchdog ticks and failing writes between
// them. The three ports sit on scripted fake devices; a small model of the buffers and the
// ring says what each port must have been sent, and every step is checked against it:
// - each client's commands reach the out port exactly once and in order, FA/FB exchanged
//   for port B, and a command whose write failed is sent again with the next chunk;
// - an answer goes only to the client of the oldest waiting command with its token, and
//   nowhere when no command waits for it;
// - no receive buffer grows past its cap by more than one chunk.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_form.h"
#include "cport/platform/device_opener.h"
#include "cport/platform/fake_device.h"
#include "tests/app/recording_view.h"

namespace {

using corvane::platform::FakeOp;
using corvane::platform::FakeScript;

// Names the broken check's line before stopping, so a crash report says which rule failed.
void Require(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "bridge_fuzz: check at line %d failed\n", line);
  __builtin_trap();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(size_t n) {
    n = std::min(n, size_ - at_);
    std::string s(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

std::string Token(const std::string& text) {
  return text.substr(0, 2);
}

std::string SwapVfo(const std::string& command) {
  const std::string token = Token(command);
  if (token == "FA") return "FB" + command.substr(2);
  if (token == "FB") return "FA" + command.substr(2);
  return command;
}

// What the bridge must do, written from its rules: buffers, ring, and what each port is sent.
struct Model {
  static constexpr uint32_t kSlots = TCorvaneForm::kQueueSlots;
  std::string buffer[3];
  std::string sent[3];  // 0 = port A, 1 = port B, 2 = out port
  uint8_t port[kSlots] = {};
  std::string cmd[kSlots];
  uint32_t read = 0, write = 0, last_read = 0;

  void Cap(int index) {
    if (buffer[index].size() > TCorvaneForm::kRxBufferCap) buffer[index].clear();
  }

  // `failing_write` is the index of the command whose write to the out port fails (-1:
  // none); it and the rest stay in the buffer. Returns whether that write was reached.
  bool Intake(uint8_t client, const std::string& data, int failing_write) {
    std::string& b = buffer[client];
    b += data;
    int n = 0;
    for (size_t semi = b.find(';'); semi != std::string::npos; semi = b.find(';'), ++n) {
      std::string command = b.substr(0, semi + 1);
      if (client == 1) command = SwapVfo(command);
      if (n == failing_write) return true;
      sent[2] += command;
      port[write] = client;
      cmd[write] = command;
      write = (write + 1) % kSlots;
      b.erase(0, semi + 1);
    }
    Cap(client);
    return false;
  }

  int32_t Find(const std::string& token) const {
    if (read == write) return -1;
    for (uint32_t i = read;;) {
      if (Token(cmd[i]) == token) return static_cast<int32_t>(i);
      i = (i + 1) % kSlots;
      if (i == write) return -1;
    }
  }

  // `failing_client` is the client port whose next answer write fails (-1: none).
  // Returns whether such a write was reached.
  bool Route(const std::string& data, int failing_client) {
    std::string& b = buffer[2];
    b += data;
    for (size_t semi = b.find(';'); semi != std::string::npos; semi = b.find(';')) {
      std::string answer = b.substr(0, semi + 1);
      b.erase(0, semi + 1);
      const int32_t k = Find(Token(answer));
      if (k < 0) {
        read = write;
        continue;
      }
      const uint8_t client = port[k];
      if (client == 1) answer = SwapVfo(answer);
      if (client == failing_client) return true;  // the answer is lost, its entry waits on
      sent[client] += answer;
      read = (static_cast<uint32_t>(k) + 1) % kSlots;
    }
    Cap(2);
    return false;
  }

  void Reset() { read = write = 0; }
};

struct Bridge {
  corvane::test::RecordingView view;
  std::map<std::string, std::shared_ptr<FakeScript>> scripts = {
      {"COM11", std::make_shared<FakeScript>()},
      {"COM13", std::make_shared<FakeScript>()},
      {"COM4", std::make_shared<FakeScript>()}};
  std::unique_ptr<TCorvaneForm> form;

  Bridge() {
    corvane::platform::SetDeviceOpener(
        [this](const std::string& name, std::unique_ptr<corvane::platform::Device>& device) {
          auto it = scripts.find(name);
          return it == scripts.end() ? 2 : it->second->Open(name, device);
        });
    form = std::make_unique<TCorvaneForm>(view, std::vector<std::string>{});
    // No event threads: the fuzzer calls the handlers itself, on this thread.
    for (TComPort* p : Ports()) {
      p->SetEvents(TComEvents{});
      p->OpenPort();
    }
  }
  ~Bridge() {
    form.reset();
    corvane::platform::SetDeviceOpener(nullptr);
  }
  std::vector<TComPort*> Ports() { return {&form->InPortA, &form->InPortB, &form->outPort}; }
  FakeScript& Script(int index) {
    static const char* const kNames[] = {"COM11", "COM13", "COM4"};
    return *scripts.at(kNames[index]);
  }
};

void Check(Bridge& bridge, const Model& model) {
  TCorvaneForm& form = *bridge.form;
  for (int i = 0; i < 3; ++i) {
    Require(bridge.Script(i).Sent() == model.sent[i]);
    Require(form.RxBuffer[i] == model.buffer[i]);
  }
  Require(form.ReadPointer == model.read);
  Require(form.WritePointer == model.write);
  Require(form.ReadPointer < Model::kSlots && form.WritePointer < Model::kSlots);
  for (uint32_t i = model.read; i != model.write; i = (i + 1) % Model::kSlots) {
    Require(form.Queue[i].Port == model.port[i]);
    Require(form.Queue[i].Cmd == model.cmd[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Bridge bridge;
  Model model;
  TCorvaneForm& form = *bridge.form;

  while (!in.empty()) {
    const uint8_t op = in.Byte();
    const uint8_t arg = in.Byte();
    switch (op % 8) {
      case 0:  // a chunk from a client, possibly with a failing write to the out port
      case 1: {
        const uint8_t client = op % 2;
        const std::string chunk = in.Bytes(arg % 64);
        // The fake fails the next write: the chunk's first command.
        const int failing = (op & 0x80) ? 0 : -1;
        if (failing >= 0) bridge.Script(2).Fail(FakeOp::StartWrite, 5, 1);
        // The event reports at least what waits; a larger count reads what is there.
        const int32_t count = static_cast<int32_t>(chunk.size()) + (op >> 5) % 3;
        bridge.Script(client).Receive(chunk);
        const size_t before = form.RxBuffer[client].size();
        bool raised = false;
        try {
          client == 0 ? form.InPortARxChar(&form.InPortA, count)
                      : form.InPortBRxChar(&form.InPortB, count);
        } catch (const EComPort&) {
          raised = true;
        }
        bridge.Script(2).ClearFailures();
        Require(raised == model.Intake(client, chunk, failing));
        // A failed write leaves the buffer uncapped until the next chunk: one chunk over.
        Require(form.RxBuffer[client].size() <=
                std::max(TCorvaneForm::kRxBufferCap, before) + chunk.size());
        break;
      }
      case 2: {  // answer bytes from the transceiver, possibly with a failing client write
        const std::string chunk = in.Bytes(arg % 64);
        const int failing = (op & 0x80) ? (op >> 3) % 2 : -1;
        if (failing >= 0) bridge.Script(failing).Fail(FakeOp::StartWrite, 5, 1);
        bridge.Script(2).Receive(chunk);
        bool raised = false;
        try {
          form.outPortRxChar(&form.outPort, static_cast<int32_t>(chunk.size()));
        } catch (const EComPort&) {
          raised = true;
        }
        if (failing >= 0) bridge.Script(failing).ClearFailures();
        Require(raised == model.Route(chunk, failing));
        break;
      }
      case 3: {  // the transceiver answers a waiting command, maybe not the oldest
        if (model.read == model.write) break;
        const uint32_t waiting = (model.write + Model::kSlots - model.read) % Model::kSlots;
        const uint32_t slot = (model.read + arg % waiting) % Model::kSlots;
        const std::string answer = Token(model.cmd[slot]) + in.Bytes(op % 8) + ";";
        bridge.Script(2).Receive(answer);
        form.outPortRxChar(&form.outPort, static_cast<int32_t>(answer.size()));
        model.Route(answer, -1);
        break;
      }
      case 4:
        form.ResetButtonClick(&form);
        model.Reset();
        break;
      case 5:
        form.hTimerTimer(&form);
        if (model.read == model.last_read) {
          model.Reset();
        } else {
          model.last_read = model.read;
        }
        break;
      case 6: {  // a long run without ";" from any side, past the buffer cap
        const int index = arg % 3;
        const std::string flood(TCorvaneForm::kRxBufferCap / 2 + arg * 97,
                                static_cast<char>(op | 1));
        if (flood.find(';') != std::string::npos) break;
        bridge.Script(index).Receive(flood);
        const int32_t count = static_cast<int32_t>(flood.size());
        if (index == 0) form.InPortARxChar(&form.InPortA, count);
        if (index == 1) form.InPortBRxChar(&form.InPortB, count);
        if (index == 2) form.outPortRxChar(&form.outPort, count);
        if (index < 2) {
          model.Intake(static_cast<uint8_t>(index), flood, -1);
        } else {
          model.Route(flood, -1);
        }
        Require(form.RxBuffer[index].size() <= TCorvaneForm::kRxBufferCap);
        break;
      }
      default:  // events that find nothing to read still handle what a failed write left
        form.outPortRxChar(&form.outPort, 0);
        form.InPortARxChar(&form.InPortA, 0);
        form.InPortBRxChar(&form.InPortB, 0);
        model.Route("", -1);
        model.Intake(0, "", -1);
        model.Intake(1, "", -1);
        break;
    }
    Check(bridge, model);
  }
  return 0;
}
