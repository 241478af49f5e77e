// The bridge (TCorvaneForm over its router) fed arbitrary bytes in arbitrary chunks from both
// clients and the transceiver, with resets, watchdog ticks, a clock that moves only when the
// input says so, failing writes, a failing reopen of the out port and client lines that take
// only part of an answer. The three ports sit on scripted fake devices; a small model of the
// rules says what each port must have been sent, what waits in the ring and what the router
// counted, and every step is checked against it:
// - while the transceiver's line is up, each client command reaches the out port once and in
//   order, FA/FB exchanged for port B; one the transceiver may answer (a read, an unknown
//   token) waits in the ring, a set or an action does not;
// - a failed write to the out port drops its command and takes the line down: later commands
//   are dropped unsent until a reset or a watchdog tick reopens the port, and the next tick
//   raises the failure for the operator; no receive handler and no reset raises;
// - an answer goes to the client of the oldest waiting command with its token; older commands
//   keep waiting for their own answers; an answer nobody waits for is dropped alone;
// - a failed write to a client drops the answer as if delivered; a client line that takes part
//   of an answer holds the rest and the next answers (up to the router's limit), offers them
//   again at each tick, and drops what comes beyond the limit;
// - a command is given up once it has waited two watchdog intervals; a tick that finds a
//   command which waited at the previous tick, with no answer at all from the transceiver
//   since, gives up those commands and resets the ports; storing into a full ring (127 slots
//   between the oldest waiting command and the newest) gives up the oldest command of the
//   client with the most waiting;
// - no receive buffer keeps more than its cap; a reset keeps the ring, the buffers and the
//   held answers, and offers those again.
// The fuzzer calls the handlers itself, without event threads, so every tick finds the ports'
// monitoring ended and reopens all three; only the out port's reopen shows in the model.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/bridge_constants.h"
#include "app/corvane_form.h"
#include "app/router/cat_commands.h"
#include "cport/platform/device_opener.h"
#include "cport/platform/fake_device.h"
#include "tests/app/recording_view.h"

namespace {

using corvane::Router;
using corvane::platform::Device;
using corvane::platform::FakeOp;
using corvane::platform::FakeScript;

// Names the broken check's line before stopping, so a crash report says which rule failed.
void Require(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "bridge_fuzz: check at line %d failed\n", line);
  __builtin_trap();
}

// Receive handlers and resets never raise.
template <typename Handler>
void Quietly(Handler&& handler, int line = __builtin_LINE()) {
  try {
    handler();
  } catch (const std::exception&) {
    Require(false, line);
  }
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

constexpr size_t kUnlimited = SIZE_MAX;

// A client's device whose writes take at most `room` bytes, as a line whose reader has
// stopped reading; everything else is the scripted fake's.
class RoomLimitedDevice final : public Device {
 public:
  RoomLimitedDevice(std::unique_ptr<Device> fake, size_t& room)
      : fake_(std::move(fake)), room_(room) {}
  int StartWrite(corvane::platform::Transfer& t) override {
    const uint32_t asked = t.Count;
    t.Count = static_cast<uint32_t>(std::min<size_t>(asked, room_));
    const int err = fake_->StartWrite(t);
    t.Count = asked;
    if (err == 0 && room_ != kUnlimited) room_ -= t.Done;
    return err;
  }
  int SetCommState(const corvane::platform::Dcb& d) override { return fake_->SetCommState(d); }
  int SetCommTimeouts(const corvane::platform::CommTimeouts& t) override {
    return fake_->SetCommTimeouts(t);
  }
  int SetupComm(uint32_t in, uint32_t out) override { return fake_->SetupComm(in, out); }
  int SetCommMask(uint32_t mask) override { return fake_->SetCommMask(mask); }
  void SetQuietEvents(uint32_t events) override { fake_->SetQuietEvents(events); }
  corvane::platform::WaitResult WaitCommEvent(const corvane::platform::StopSignal& s) override {
    return fake_->WaitCommEvent(s);
  }
  uint32_t PollCommEvent() override { return fake_->PollCommEvent(); }
  int StartRead(corvane::platform::Transfer& t) override { return fake_->StartRead(t); }
  int AwaitTransfer(corvane::platform::Transfer& t) override { return fake_->AwaitTransfer(t); }
  int PurgeComm(uint32_t flags) override { return fake_->PurgeComm(flags); }
  int ClearCommError(uint32_t& e, corvane::platform::ComStat& s) override {
    return fake_->ClearCommError(e, s);
  }
  int GetCommModemStatus(uint32_t& status) override { return fake_->GetCommModemStatus(status); }
  int Close() override { return fake_->Close(); }

 private:
  std::unique_ptr<Device> fake_;
  size_t& room_;
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

// What the bridge must do, written from its rules: buffers, the ring, held answers, the
// transceiver's line, and what each port is sent.
struct Model {
  static constexpr uint32_t kSlots = TCorvaneForm::kQueueSlots;
  static constexpr int64_t kGiveUpMs = 2 * corvane::kWatchdogInterval.count();

  struct Entry {
    uint8_t client;
    std::string cmd;        // as sent to the transceiver
    int64_t since;          // clock at storing
    uint64_t tick;          // ticks done before it was stored
    bool answered = false;  // out of order: it keeps its slot until the older ones are done
  };
  struct Held {
    std::deque<std::string> answers;
    size_t sent = 0;  // of the first one
  };

  std::string buffer[3];
  std::string sent[3];     // 0 = port A, 1 = port B, 2 = out port
  std::deque<Entry> ring;  // from the oldest command still waiting on; never starts answered
  uint32_t read = 0;       // the ring slot of ring.front()
  Held held[2];
  size_t room[2] = {kUnlimited, kUnlimited};
  int64_t now = 0;
  uint64_t ticks = 0;
  bool answers_since_tick = false;
  bool rig_up = true, out_open = true, rig_failure = false;
  Router::Counters counted;

  Model() { counted.dropped_to_client.assign(2, 0); }

  uint32_t write() const { return static_cast<uint32_t>((read + ring.size()) % kSlots); }

  void Cap(int index) {
    if (buffer[index].size() > TCorvaneForm::kRxBufferCap) buffer[index].clear();
  }

  // Frees the oldest slot, and the ones after it that were answered out of order.
  void PopFront() {
    do {
      ring.pop_front();
      read = (read + 1) % kSlots;
    } while (!ring.empty() && ring.front().answered);
  }
  void GiveUpOldest() {
    ++counted.unanswered;
    PopFront();
  }
  // A full ring: the client with the most waiting commands (the storing one on a tie)
  // gives up its oldest; the entries in front of it move up one slot.
  void MakeRoom(uint8_t client) {
    size_t waiting[2] = {0, 0};
    for (const Entry& e : ring) waiting[e.client] += !e.answered;
    const uint8_t flooder = waiting[1 - client] > waiting[client] ? 1 - client : client;
    auto victim = std::find_if(ring.begin(), ring.end(), [&](const Entry& e) {
      return !e.answered && e.client == flooder;
    });
    if (victim == ring.end()) victim = ring.begin();
    if (!victim->answered) ++counted.unanswered;
    ring.erase(victim);
    read = (read + 1) % kSlots;
    while (!ring.empty() && ring.front().answered) {
      ring.pop_front();
      read = (read + 1) % kSlots;
    }
  }
  void GiveUpExpired() {
    while (!ring.empty() && now - ring.front().since >= kGiveUpMs) GiveUpOldest();
  }

  // `fail_write`: the out port's next write fails.
  void Intake(uint8_t client, const std::string& data, bool fail_write) {
    std::string& b = buffer[client];
    b += data;
    for (size_t semi = b.find(';'); semi != std::string::npos; semi = b.find(';')) {
      std::string command = b.substr(0, semi + 1);
      b.erase(0, semi + 1);
      if (client == 1) command = SwapVfo(command);
      if (!rig_up) {
        ++counted.dropped_rig_down;
        continue;
      }
      if (std::exchange(fail_write, false)) {
        ++counted.dropped_rig_down;
        rig_up = false;
        rig_failure = true;
        continue;
      }
      sent[2] += command;
      if (!corvane::cat::MayBeAnswered(command)) {
        ++counted.not_stored;
        continue;
      }
      if (ring.size() == kSlots - 1) MakeRoom(client);
      ring.push_back({client, command, now, ticks});
    }
    Cap(client);
  }

  // One write to a client's line: how much it took, nothing when it failed.
  std::optional<size_t> Offer(uint8_t client, const std::string& bytes, int& fail_client) {
    if (fail_client == client) {
      fail_client = -1;
      return std::nullopt;
    }
    const size_t taken = std::min(room[client], bytes.size());
    if (room[client] != kUnlimited) room[client] -= taken;
    sent[client] += bytes.substr(0, taken);
    return taken;
  }

  void Deliver(uint8_t client, const std::string& answer, int& fail_client) {
    Held& h = held[client];
    if (!h.answers.empty()) {
      if (h.answers.size() < Router::kHeldAnswers) {
        h.answers.push_back(answer);
      } else {
        ++counted.dropped_to_client[client];
      }
      return;
    }
    const std::optional<size_t> taken = Offer(client, answer, fail_client);
    if (!taken) {
      ++counted.dropped_to_client[client];
    } else if (*taken < answer.size()) {
      h.answers.push_back(answer);
      h.sent = *taken;
    }
  }

  // `fail_client`: the client port whose next write fails (-1: none).
  void Route(const std::string& data, int fail_client) {
    std::string& b = buffer[2];
    b += data;
    for (size_t semi = b.find(';'); semi != std::string::npos; semi = b.find(';')) {
      std::string answer = b.substr(0, semi + 1);
      b.erase(0, semi + 1);
      GiveUpExpired();
      answers_since_tick = true;
      const auto match = std::find_if(ring.begin(), ring.end(), [&](const Entry& e) {
        return !e.answered && Token(e.cmd) == Token(answer);
      });
      if (match == ring.end()) {
        ++counted.unmatched;
        continue;
      }
      const uint8_t client = match->client;
      if (client == 1) answer = SwapVfo(answer);
      Deliver(client, answer, fail_client);
      ++counted.routed;
      match->answered = true;
      if (match == ring.begin()) PopFront();
    }
    Cap(2);
  }

  void Flush(uint8_t client, int& fail_client) {
    Held& h = held[client];
    while (!h.answers.empty()) {
      const std::optional<size_t> taken =
          Offer(client, h.answers.front().substr(h.sent), fail_client);
      if (!taken) {
        counted.dropped_to_client[client] += h.answers.size();
        h = Held{};
        return;
      }
      h.sent += *taken;
      if (h.sent < h.answers.front().size()) return;
      h.answers.pop_front();
      h.sent = 0;
    }
  }

  // Ports closed and opened again; the ring and the buffers stay, held answers are offered.
  void Reset(int fail_client = -1) {
    rig_up = out_open = true;
    for (uint8_t c = 0; c < 2; ++c) Flush(c, fail_client);
  }

  // `reopen_fails`: the out port cannot be opened. Returns whether the tick raises.
  bool Tick(bool reopen_fails, int fail_client) {
    bool raises = std::exchange(rig_failure, false);
    if (!rig_up || !out_open) {
      out_open = rig_up = !reopen_fails;
      raises = raises || reopen_fails;
    }
    GiveUpExpired();
    for (uint8_t c = 0; c < 2; ++c) Flush(c, fail_client);
    const auto waited_a_tick = [this] { return !ring.empty() && ring.front().tick < ticks; };
    const bool stuck = waited_a_tick() && !answers_since_tick;
    while (stuck && waited_a_tick()) GiveUpOldest();
    ++ticks;
    answers_since_tick = false;
    if (stuck) Reset(fail_client);
    return raises;
  }
};

struct Bridge {
  static constexpr const char* kNames[] = {"COM11", "COM13", "COM4"};
  corvane::test::RecordingView view;
  std::shared_ptr<FakeScript> scripts[3] = {std::make_shared<FakeScript>(),
                                            std::make_shared<FakeScript>(),
                                            std::make_shared<FakeScript>()};
  size_t room[2] = {kUnlimited, kUnlimited};
  int64_t now = 0;
  std::unique_ptr<TCorvaneForm> form;

  Bridge() {
    corvane::platform::SetDeviceOpener(
        [this](const std::string& name, std::unique_ptr<Device>& device) {
          for (int i = 0; i < 3; ++i) {
            if (name != kNames[i]) continue;
            const int err = scripts[i]->Open(name, device);
            if (err == 0 && i < 2) {
              device = std::make_unique<RoomLimitedDevice>(std::move(device), room[i]);
            }
            return err;
          }
          return 2;
        });
    form = std::make_unique<TCorvaneForm>(view, std::vector<std::string>{}, [this] { return now; });
    // No event threads: the fuzzer calls the handlers itself, on this thread.
    for (TComPort* p : {&form->InPortA, &form->InPortB, &form->outPort}) {
      p->SetEvents(TComEvents{});
      p->OpenPort();
    }
  }
  ~Bridge() {
    form.reset();
    corvane::platform::SetDeviceOpener(nullptr);
  }
  FakeScript& Script(int index) { return *scripts[index]; }
  void ClearFailures() {
    for (auto& s : scripts) s->ClearFailures();
  }
};

void Check(Bridge& bridge, const Model& model) {
  TCorvaneForm& form = *bridge.form;
  for (int i = 0; i < 3; ++i) {
    Require(bridge.Script(i).Sent() == model.sent[i]);
    Require(form.RxBuffer[i] == model.buffer[i]);
  }
  Require(form.ReadPointer == model.read);
  Require(form.WritePointer == model.write());
  for (uint32_t n = 0; n < model.ring.size(); ++n) {
    const TCOMQueue& slot = form.Queue[(model.read + n) % Model::kSlots];
    Require(slot.Port == model.ring[n].client);
    Require(slot.Cmd == model.ring[n].cmd);
  }
  Require(form.CatRouter.RigLineUp() == model.rig_up);
  Require(form.outPort.Connected() == model.out_open);
  const Router::Counters& c = form.CatRouter.counters();
  Require(c.routed == model.counted.routed);
  Require(c.unmatched == model.counted.unmatched);
  Require(c.unanswered == model.counted.unanswered);
  Require(c.not_stored == model.counted.not_stored);
  Require(c.dropped_rig_down == model.counted.dropped_rig_down);
  Require(c.dropped_to_client == model.counted.dropped_to_client);
}

constexpr uint8_t kOps = 9;

}  // namespace

// Each step is an op byte (kind = op % kOps, variant = op / kOps), an argument byte and, for
// some kinds, bytes of data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Bridge bridge;
  Model model;
  TCorvaneForm& form = *bridge.form;

  while (!in.empty()) {
    const uint8_t op = in.Byte();
    const uint8_t arg = in.Byte();
    const uint8_t variant = op / kOps;
    switch (op % kOps) {
      case 0:  // a chunk from a client, maybe with the out port's next write failing
      case 1: {
        const uint8_t client = op % kOps;
        const std::string chunk = in.Bytes(arg % 64);
        const bool fail_write = variant & 1;
        if (fail_write) bridge.Script(2).Fail(FakeOp::StartWrite, 5, 1);
        // The event reports at least what waits; a larger count reads what is there.
        const int32_t count = static_cast<int32_t>(chunk.size()) + (variant >> 1) % 3;
        bridge.Script(client).Receive(chunk);
        Quietly([&] {
          client == 0 ? form.InPortARxChar(&form.InPortA, count)
                      : form.InPortBRxChar(&form.InPortB, count);
        });
        bridge.ClearFailures();
        model.Intake(client, chunk, fail_write);
        break;
      }
      case 2:    // bytes from the transceiver, maybe with a client's next write failing
      case 3: {  // the transceiver answers a waiting command, maybe not the oldest
        const bool answer = op % kOps == 3;
        std::string chunk = in.Bytes(answer ? in.Byte() % 32 : arg % 64);
        if (!model.out_open) break;  // a closed port raises no events
        if (answer) {
          if (model.ring.empty()) break;
          chunk = Token(model.ring[arg % model.ring.size()].cmd) + chunk + ";";
        }
        const int fail_client = (variant & 1) ? (variant >> 1) & 1 : -1;
        if (fail_client >= 0) bridge.Script(fail_client).Fail(FakeOp::StartWrite, 5, 1);
        bridge.Script(2).Receive(chunk);
        Quietly([&] { form.outPortRxChar(&form.outPort, static_cast<int32_t>(chunk.size())); });
        bridge.ClearFailures();
        model.Route(chunk, fail_client);
        break;
      }
      case 4:
        Quietly([&] { form.ResetButtonClick(&form); });
        model.Reset();
        break;
      case 5: {  // the watchdog, maybe failing to reopen the out port or to write to a client
        const bool reopen_fails = (variant & 1) && !model.rig_up;
        const int fail_client = (variant & 2) ? (variant >> 2) & 1 : -1;
        if (reopen_fails) bridge.Script(2).Fail(FakeOp::Open, 2, 1);
        if (fail_client >= 0) bridge.Script(fail_client).Fail(FakeOp::StartWrite, 5, 1);
        bool raised = false;
        try {
          form.hTimerTimer(&form);
        } catch (const EComPort&) {
          raised = true;
        }
        bridge.ClearFailures();
        Require(raised == model.Tick(reopen_fails, fail_client));
        break;
      }
      case 6: {  // a long run without ";" from any side, past the buffer cap
        const int index = arg % 3;
        if (index == 2 && !model.out_open) break;
        const std::string flood(TCorvaneForm::kRxBufferCap / 2 + arg * 97,
                                static_cast<char>(op | 1));
        if (flood.find(';') != std::string::npos) break;
        bridge.Script(index).Receive(flood);
        const int32_t count = static_cast<int32_t>(flood.size());
        Quietly([&] {
          if (index == 0) form.InPortARxChar(&form.InPortA, count);
          if (index == 1) form.InPortBRxChar(&form.InPortB, count);
          if (index == 2) form.outPortRxChar(&form.outPort, count);
        });
        if (index < 2) {
          model.Intake(static_cast<uint8_t>(index), flood, false);
        } else {
          model.Route(flood, -1);
        }
        break;
      }
      case 7:  // time passes: steps of 8 ms land exactly on the give-up age too
        bridge.now += arg * 8;
        model.now = bridge.now;
        break;
      default: {  // a client line's room: odd arguments let it take everything again
        const uint8_t client = variant & 1;
        const size_t room = (arg & 1) ? kUnlimited : arg >> 1;
        bridge.room[client] = room;
        model.room[client] = room;
        break;
      }
    }
    Check(bridge, model);
  }
  return 0;
}
