// The bridge (TCorvaneForm over its router) fed arbitrary bytes in arbitrary chunks from both
// clients and the transceiver, well-formed commands, a simulated transceiver that answers,
// refuses, skips, garbles and delays, resets, watchdog ticks, a clock that moves only when the
// input says so, failing writes, a failing reopen of the out port and client lines that take
// only part of an answer. The three ports sit on scripted fake devices.
//
// Where the rule is simple, a model says exactly what must happen, checked at every step:
// - while the transceiver's line is up, each client command reaches the out port once and in
//   order, FA/FB exchanged for port B; a failed write to the out port drops its command and
//   takes the line down: later commands are dropped unsent until a reset or a watchdog tick
//   reopens the port, and the next tick raises the failure for the operator;
// - no receive buffer keeps more than its cap; receive handlers and resets never raise.
// Where answers are routed, invariants that any sound routing keeps:
// - no misroute: what a client receives (FA/FB exchanged back for port B) is "?;" or an answer
//   the transceiver sent, in the order it sent them, and no answer reaches the clients more
//   often than the transceiver sent it; every answer pairs
//   with a distinct earlier command of that client whose answer key it starts with ("?;" with
//   any command of that client), and an answer of the wrong width for a known token never
//   arrives. A client that asked for auto-information may also get reports, and `AI` answers
//   may come from the bridge itself;
// - whole answers only: a client's line ends in part of an answer only while its line has no
//   room, and the rest comes before anything else (a failed write forgives the part);
// - the counters add up: every answer cut from the transceiver's stream is counted once, as
//   routed, unmatched, late or malformed, or for "?;" as refused or given to no one, which
//   may wait for the next answer but not past the moment nothing is left that it can refuse;
//   what the clients took whole, or lost to their lines, is what was routed or refused;
// - the ring: its pointers in range, `Waiting()` within what they span and not zero while
//   they span anything, and every stored command one its client sent, in order, never a set
//   or an action;
// - a tick resets the lines only when no answer came since the previous tick, and resets
//   that brought no answer back come at least 1 s, 2 s, 4 s ... a minute apart.
// The fuzzer calls the handlers itself, without event threads, so every tick finds the ports'
// monitoring ended and reopens all three.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <memory>
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

namespace cat = corvane::cat;
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
constexpr int64_t kGiveUpMs = 2 * corvane::kWatchdogInterval.count();

// A client's line as its device sees it: how much room it has, and where a write failed.
struct ClientLine {
  std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();
  size_t room = kUnlimited;
  std::vector<size_t> failed_at;  // bytes sent when a write failed
};

// A client's device whose writes take at most the line's room, as a line whose reader has
// stopped reading; everything else is the scripted fake's.
class ClientDevice final : public Device {
 public:
  ClientDevice(std::unique_ptr<Device> fake, ClientLine& line)
      : fake_(std::move(fake)), line_(line) {}
  int StartWrite(corvane::platform::Transfer& t) override {
    const uint32_t asked = t.Count;
    t.Count = static_cast<uint32_t>(std::min<size_t>(asked, line_.room));
    const int err = fake_->StartWrite(t);
    t.Count = asked;
    if (err != 0) {
      line_.failed_at.push_back(line_.script->Sent().size());
    } else if (line_.room != kUnlimited) {
      line_.room -= t.Done;
    }
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
  ClientLine& line_;
};

std::string Token(const std::string& text) {
  return text.substr(0, 2);
}

std::string SwapVfo(const std::string& text) {
  const std::string token = Token(text);
  if (token == "FA") return "FB" + text.substr(2);
  if (token == "FB") return "FA" + text.substr(2);
  return text;
}

// Cuts complete CAT texts (up to and including ";") off the front of a buffer.
template <typename Each>
void CutAtSemicolons(std::string& buffer, Each&& each) {
  for (size_t semi = buffer.find(';'); semi != std::string::npos; semi = buffer.find(';')) {
    std::string text = buffer.substr(0, semi + 1);
    buffer.erase(0, semi + 1);
    each(std::move(text));
  }
}

// The stream with every "TX0;" left out: the bridge sends one of its own when the client that
// keyed the transmitter loses its line or is reset.
std::string WithoutUnkeying(std::string stream) {
  for (size_t at; (at = stream.find("TX0;")) != std::string::npos;) stream.erase(at, 4);
  return stream;
}

// What the bridge must do with the clients' commands, and what the transceiver sent.
struct Model {
  struct Command {
    std::string text;  // as the transceiver gets it
    bool forwarded;    // reached the out port (AI commands may be the bridge's own business)
    bool refused = false;  // refused by the bridge itself ("?;"): the transmitter is another's
  };

  std::string buffer[3];
  std::string out_sent;  // what the out port must have been sent
  std::vector<std::string> out_commands;
  std::vector<Command> commands[2];
  bool wants_reports[2] = {false, false};
  char ai[2] = {'0', '0'};  // each client's auto-information, the bridge's own business
  char rig_ai = '\0';       // what the bridge last set the transceiver's to (none yet)
  bool ai_used = false;
  bool rig_up = true, out_open = true, rig_failure = false;
  uint64_t dropped_rig_down = 0, not_stored = 0;
  int64_t now = 0;
  int64_t last_forward_at = INT64_MIN / 2;
  std::vector<std::string> answers;  // cut from the transceiver's stream, in order
  uint64_t refusals = 0;             // "?;" among them

  void Cap(int index) {
    if (buffer[index].size() > TCorvaneForm::kRxBufferCap) buffer[index].clear();
  }

  // `fail_write`: the out port's next write fails; `tx_owner`: the client holding the
  // transmitter as the bridge sees it now (-1: none).
  void Intake(uint8_t client, const std::string& data, bool fail_write, int tx_owner) {
    buffer[client] += data;
    // A write to the transceiver: false when it fails (the line goes down, the next tick
    // raises the failure).
    const auto write = [&](const std::string& command) {
      if (std::exchange(fail_write, false)) {
        rig_up = false, rig_failure = true;
        return false;
      }
      out_sent += command;
      out_commands.push_back(command);
      last_forward_at = now;
      return true;
    };
    CutAtSemicolons(buffer[client], [&](std::string command) {
      if (client == 1) command = SwapVfo(command);
      if (Token(command) == "AI") {
        // A client's AI read and set are answered and kept by the bridge; the transceiver's
        // follows the highest setting asked for.
        ai_used = true;
        if (command == "AI;") {
          commands[client].push_back({command, false});
          return;
        }
        if (command.size() == 4 && command[2] >= '0' && command[2] <= '9') {
          commands[client].push_back({command, false});
          ai[client] = command[2];
          wants_reports[client] |= command[2] != '0';
          const char wanted = std::max(ai[0], ai[1]);
          if (wanted == rig_ai || (rig_ai == '\0' && wanted == '0')) return;
          rig_ai = wanted;
          if (rig_up) write(std::string("AI") + wanted + ";");
          return;
        }
      }
      // One transmitter, one owner: another client's key-down is refused by the bridge.
      const bool keys = cat::KeysTransmitter(command);
      if (keys && tx_owner >= 0 && tx_owner != client) {
        commands[client].push_back({command, false, true});
        ai_used = true;  // an answer of the bridge's own, like its AI answers
        return;
      }
      const bool forwarded = rig_up && write(command);
      if (forwarded && keys) tx_owner = client;
      if (forwarded && cat::UnkeysTransmitter(command)) tx_owner = -1;
      commands[client].push_back({command, forwarded});
      if (!forwarded) {
        ++dropped_rig_down;
        return;
      }
      if (!cat::MayBeAnswered(command)) ++not_stored;
    });
    Cap(client);
  }

  void FromRig(const std::string& data) {
    buffer[2] += data;
    CutAtSemicolons(buffer[2], [&](std::string answer) {
      refusals += answer == "?;";
      answers.push_back(std::move(answer));
    });
    Cap(2);
  }

  // `reopen_fails`: the out port cannot be opened; `reset`: the tick reset the lines.
  bool Tick(bool reopen_fails, bool reset) {
    const bool raises = std::exchange(rig_failure, false) || reopen_fails;
    out_open = rig_up = !reopen_fails || reset;
    return raises;
  }
};

// The fuzzer's transceiver: it deals with the commands it was sent, in order.
struct Rig {
  size_t taken = 0;              // commands of the out port's stream dealt with
  std::deque<std::string> kept;  // answers held back, to be sent after later ones

  // The answer to a command: its answer key and parameters of the table's width (a few digits
  // where the width is not known); `extra` digits more make it the wrong width. Empty for a
  // command that draws no answer.
  static std::string AnswerTo(const std::string& command, uint8_t seed, int extra) {
    const std::string key(cat::AnswerKey(command));
    if (key.empty()) return {};
    const cat::CommandInfo* info = cat::FindCommand(Token(command));
    const int width = info && info->answer_params > 0
                          ? info->answer_params - static_cast<int>(key.size() - 2)
                          : 1 + seed % 3;
    std::string answer = key;
    for (int i = 0; i < std::max(width, 1) + extra; ++i) {
      answer += static_cast<char>('0' + (seed + i) % 10);
    }
    return answer + ";";
  }
};

// Makes a command of the table (or one it does not know) from two bytes: selectors come from
// a small range, so both clients ask the same reads and neighbouring ones.
std::string MakeCommand(uint8_t pick, uint8_t form) {
  const auto commands = cat::Commands();
  const cat::CommandInfo& info = commands[pick % commands.size()];
  std::string command(info.token);
  const int selector = info.read_params > 0 ? info.read_params : 0;
  for (int i = 0; i < selector; ++i) {
    command += static_cast<char>(i + 1 == selector ? '0' + (form >> 4) % 2 : '0');
  }
  switch (form % 6) {
    case 0:
    case 1:
      break;  // the read form (an action for tokens without one)
    case 2:   // a set: parameters past the read form
      command += std::string(1 + (form >> 5), static_cast<char>('0' + form % 10));
      break;
    case 3:  // too short for its read form, or the bare token
      command = command.substr(0, 2);
      break;
    case 4:  // a token the table does not know
      command = std::string("K") + static_cast<char>('V' + form % 4) + std::to_string(form >> 6);
      break;
    default:  // auto-information on or off
      command = (form >> 4) % 2 ? "AI1" : "AI0";
  }
  return command + ";";
}

// By answer text: how many the transceiver sent that no client has received yet.
using Unclaimed = std::map<std::string, int64_t>;

// What one client's line took, checked as it arrives.
class ClientChecks {
 public:
  // Bytes the client's line took since the last call.
  void Check(int client, ClientLine& line, const Model& model, Unclaimed& unclaimed) {
    const std::string sent = line.script->Sent();
    const bool wrote = sent.size() > seen_;
    for (; next_failure_ < line.failed_at.size(); ++next_failure_) {
      Take(client, sent.substr(seen_, line.failed_at[next_failure_] - seen_), model, unclaimed);
      seen_ = line.failed_at[next_failure_];
      partial_.clear();  // a failed line may cut an answer short
    }
    Take(client, sent.substr(seen_), model, unclaimed);
    seen_ = sent.size();
    // A partial answer only where the line had no room for the rest.
    if (wrote && !partial_.empty()) Require(line.room == 0);
  }

  uint64_t whole() const { return answers_.size(); }

 private:
  struct Answer {
    std::string text;  // as the transceiver sent it
    size_t known;      // the client's commands sent before it arrived
  };

  void Take(int client, const std::string& bytes, const Model& model,
            Unclaimed& unclaimed) {
    partial_ += bytes;
    CutAtSemicolons(partial_, [&](const std::string& received) {
      const std::string answer = client == 1 ? SwapVfo(received) : received;
      const bool refusal = answer == "?;";
      const bool own = Token(answer) == "AI";  // the bridge may answer a client's AI itself
      answers_.push_back({answer, model.commands[client].size()});
      taken_.resize(model.commands[client].size(), -1);
      std::vector<char> visited(taken_.size(), 0);
      const bool asked = Pair(answers_.size() - 1, model.commands[client], visited);
      // Unasked: a report for a client that asked for them, never a refusal.
      if (!asked) Require(model.wants_reports[client] && !refusal);
      const cat::CommandInfo* info = cat::FindCommand(Token(answer));
      if (!model.wants_reports[client] && !refusal && info && info->answer_params > 0) {
        // (Reports are passed on as the transceiver sent them.)
        Require(answer.size() == 2 + static_cast<size_t>(info->answer_params) + 1);
      }
      if (!refusal && !own) {
        // The transceiver's answers reach each client in its order. (Which of two equal
        // answers went where is not visible, so the order is checked per client.)
        size_t j = next_rig_answer_;
        while (j < model.answers.size() && model.answers[j] != answer) ++j;
        Require(j < model.answers.size());
        next_rig_answer_ = j + 1;
        // An answer to a read reaches one client, a report every client that wants reports
        // (where it may look like the answer to one of its reads).
        if (asked && unclaimed[answer] > 0) {
          --unclaimed[answer];
        } else if (asked) {
          Require(model.wants_reports[client]);
        }
      }
    });
  }

  static bool Answers(const Answer& answer, const Model::Command& command) {
    if (command.refused) return answer.text == "?;";
    if (!command.forwarded && Token(command.text) != "AI") return false;
    if (answer.text == "?;") return true;
    const std::string_view key = cat::AnswerKey(command.text);
    return !key.empty() && answer.text.size() > key.size() && answer.text.starts_with(key);
  }

  // Finds the answer a command of its own, moving earlier answers to other commands they also
  // answer where needed (an augmenting path): any pairing will do, the router's is not asked.
  bool Pair(size_t a, const std::vector<Model::Command>& commands, std::vector<char>& visited) {
    const Answer& answer = answers_[a];
    for (size_t c = 0; c < answer.known; ++c) {
      if (taken_[c] < 0 && !visited[c] && Answers(answer, commands[c])) {
        taken_[c] = static_cast<int>(a);
        return true;
      }
    }
    for (size_t c = 0; c < answer.known; ++c) {
      if (visited[c] || !Answers(answer, commands[c])) continue;
      visited[c] = 1;
      if (Pair(static_cast<size_t>(taken_[c]), commands, visited)) {
        taken_[c] = static_cast<int>(a);
        return true;
      }
    }
    return false;
  }

  size_t seen_ = 0;
  size_t next_failure_ = 0;
  std::string partial_;
  size_t next_rig_answer_ = 0;
  std::vector<Answer> answers_;
  std::vector<int> taken_;  // by command: the answer paired with it, -1 for none
};

struct Bridge {
  static constexpr const char* kNames[] = {"COM11", "COM13", "COM4"};
  corvane::test::RecordingView view;
  ClientLine lines[2];
  std::shared_ptr<FakeScript> rig_script = std::make_shared<FakeScript>();
  int64_t now = 0;
  std::unique_ptr<TCorvaneForm> form;

  Bridge() {
    corvane::platform::SetDeviceOpener(
        [this](const std::string& name, std::unique_ptr<Device>& device) {
          if (name == kNames[2]) return rig_script->Open(name, device);
          for (int i = 0; i < 2; ++i) {
            if (name != kNames[i]) continue;
            const int err = lines[i].script->Open(name, device);
            if (err == 0) device = std::make_unique<ClientDevice>(std::move(device), lines[i]);
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
  FakeScript& Script(int index) { return index < 2 ? *lines[index].script : *rig_script; }
  void ClearFailures() {
    for (int i = 0; i < 3; ++i) Script(i).ClearFailures();
  }
  void ToClient(uint8_t client, const std::string& chunk, int32_t count) {
    Script(client).Receive(chunk);
    Quietly([&] {
      client == 0 ? form->InPortARxChar(&form->InPortA, count)
                  : form->InPortBRxChar(&form->InPortB, count);
    });
  }
  void FromRig(const std::string& chunk) {
    rig_script->Receive(chunk);
    Quietly([&] { form->outPortRxChar(&form->outPort, static_cast<int32_t>(chunk.size())); });
  }
};

// Everything checked after each step.
struct Checks {
  ClientChecks clients[2];
  Unclaimed unclaimed;
  size_t answers_seen = 0;
  // Resets of the lines by the tick, and what they must keep to.
  size_t answers_at_tick = 0;
  bool read_waited = false;  // a read the transceiver answers went out before the last tick
  size_t answers_at_reset = SIZE_MAX;
  int64_t last_reset_at = 0;
  int64_t reset_gap_ms = 0;

  void Tick(bool reset, const Model& model, const Router::Counters& c) {
    // A refusal the router counts only later is an answer too, for the back-off.
    const size_t answers = model.answers.size() + c.refused + c.refusals_to_no_one;
    if (reset) {
      Require(model.answers.size() == answers_at_tick && read_waited);
      if (answers == answers_at_reset) {
        reset_gap_ms = std::min<int64_t>(reset_gap_ms == 0 ? 1000 : 2 * reset_gap_ms,
                                         Router::kMaxResetBackoffMs);
        Require(model.now - last_reset_at >= reset_gap_ms);
      } else {
        reset_gap_ms = 0;
      }
      answers_at_reset = answers;
      last_reset_at = model.now;
    }
    answers_at_tick = model.answers.size();
    read_waited = std::any_of(model.out_commands.begin(), model.out_commands.end(),
                              [](const std::string& c) {
                                return cat::Classify(c) == cat::CommandKind::Read;
                              });
  }

  void All(Bridge& bridge, Model& model, bool out_reopened, bool ticked) {
    TCorvaneForm& form = *bridge.form;
    Router& router = form.CatRouter;
    // Intake, exactly.
    Require(WithoutUnkeying(bridge.rig_script->Sent()) == WithoutUnkeying(model.out_sent));
    for (int i = 0; i < 2; ++i) Require(form.RxBuffer[i] == model.buffer[i]);
    if (out_reopened && form.RxBuffer[2].empty()) model.buffer[2].clear();  // a fresh line
    Require(form.RxBuffer[2] == model.buffer[2]);
    Require(router.RigLineUp() == model.rig_up);
    Require(form.outPort.Connected() == model.out_open);
    const Router::Counters& c = router.counters();
    Require(c.dropped_rig_down == model.dropped_rig_down);
    Require(c.not_stored == model.not_stored);

    // What the clients received.
    for (; answers_seen < model.answers.size(); ++answers_seen) {
      ++unclaimed[model.answers[answers_seen]];
    }
    for (int i = 0; i < 2; ++i) clients[i].Check(i, bridge.lines[i], model, unclaimed);

    // The counters add up.
    Require(c.routed + c.unmatched + c.late + c.malformed + c.reported ==
            model.answers.size() - model.refusals);
    const uint64_t refusals_counted = c.refused + c.refusals_to_no_one;
    Require(refusals_counted <= model.refusals);
    if (ticked && router.Empty() && model.now - model.last_forward_at >= kGiveUpMs) {
      Require(refusals_counted == model.refusals);
    }
    uint64_t reached = 0;
    for (int i = 0; i < 2; ++i) reached += clients[i].whole() + c.dropped_to_client[i];
    // (Reports and the bridge's own AI answers are not counted as routed.)
    if (!model.ai_used) {
      Require(router.HoldsAnswers() ? reached <= c.routed + c.refused
                                    : reached == c.routed + c.refused);
    }

    // The ring.
    Require(form.ReadPointer < Router::kQueueSlots && form.WritePointer < Router::kQueueSlots);
    const uint32_t span = (form.WritePointer + Router::kQueueSlots - form.ReadPointer) %
                          Router::kQueueSlots;
    Require(router.Empty() == (span == 0));
    const size_t waiting = router.Waiting();
    Require(waiting <= span && (span == 0 || waiting > 0));
    size_t before[2] = {model.commands[0].size(), model.commands[1].size()};
    for (uint32_t n = span; n-- > 0;) {
      const TCOMQueue& slot = form.Queue[(form.ReadPointer + n) % Router::kQueueSlots];
      Require(slot.Port < 2);
      Require(cat::MayBeAnswered(slot.Cmd));
      const auto& sent = model.commands[slot.Port];
      size_t& at = before[slot.Port];
      while (at > 0 && !(sent[at - 1].forwarded && sent[at - 1].text == slot.Cmd)) --at;
      Require(at > 0);
      --at;
    }
  }
};

constexpr uint8_t kOps = 11;

}  // namespace

// Each step is an op byte (kind = op % kOps, variant = op / kOps), an argument byte and, for
// some kinds, bytes of data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Bridge bridge;
  Model model;
  Rig rig;
  Checks checks;
  TCorvaneForm& form = *bridge.form;

  while (!in.empty()) {
    const uint8_t op = in.Byte();
    const uint8_t arg = in.Byte();
    const uint8_t variant = op / kOps;
    bool out_reopened = false, ticked = false;
    switch (op % kOps) {
      case 0:  // a chunk from a client, or a command it makes, maybe with the out port's next
      case 1:  // write failing
      case 9: {
        const uint8_t client = op % kOps == 9 ? variant & 1 : op % kOps;
        const std::string chunk =
            op % kOps == 9 ? MakeCommand(arg, in.Byte()) : in.Bytes(arg % 64);
        const bool fail_write = (variant >> (op % kOps == 9)) % 8 == 1;
        if (fail_write) bridge.Script(2).Fail(FakeOp::StartWrite, 5, 1);
        // The event reports at least what waits; a larger count reads what is there.
        const int32_t count = static_cast<int32_t>(chunk.size()) + (variant >> 3) % 3;
        bridge.ToClient(client, chunk, count);
        bridge.ClearFailures();
        model.Intake(client, chunk, fail_write, form.CatRouter.TransmitterOwner());
        break;
      }
      case 2:    // bytes from the transceiver, or it deals with its next commands, or it sends
      case 3:    // an answer kept back or a report, maybe with a client's next write failing
      case 10: {
        std::string chunk;
        if (op % kOps == 2) chunk = in.Bytes(arg % 64);
        if (op % kOps == 3) {
          // Each of up to four commands: answered, refused, skipped or answered garbled.
          for (int n = 0; n <= arg % 4 && rig.taken < model.out_commands.size(); ++n) {
            const std::string& command = model.out_commands[rig.taken++];
            const uint8_t how = in.Byte();
            const std::string answer = Rig::AnswerTo(command, how, how % 16 == 15);
            switch (how % 8) {
              case 0:
                chunk += "?;";
                break;
              case 1:
                break;
              case 2:
                if (!answer.empty()) rig.kept.push_back(answer);
                break;
              default:
                chunk += answer;
            }
          }
        }
        if (op % kOps == 10) {
          if ((arg & 1) && !rig.kept.empty()) {
            chunk = rig.kept.front();
            rig.kept.pop_front();
          } else {
            chunk = Rig::AnswerTo(MakeCommand(arg >> 1, 0), arg, 0);
          }
        }
        if (!model.out_open || chunk.empty()) break;  // a closed port raises no events
        const int fail_client = (variant & 1) ? (variant >> 1) & 1 : -1;
        if (fail_client >= 0) bridge.Script(fail_client).Fail(FakeOp::StartWrite, 5, 1);
        bridge.FromRig(chunk);
        bridge.ClearFailures();
        model.FromRig(chunk);
        break;
      }
      case 4:
        Quietly([&] { form.ResetButtonClick(&form); });
        model.rig_up = model.out_open = true;
        out_reopened = true;
        break;
      case 5: {  // the watchdog, maybe failing to reopen the out port or to write to a client
        const bool reopen_fails = (variant & 1) && !model.rig_up;
        const int fail_client = (variant & 2) ? (variant >> 2) & 1 : -1;
        if (reopen_fails) bridge.Script(2).Fail(FakeOp::Open, 2, 1);
        if (fail_client >= 0) bridge.Script(fail_client).Fail(FakeOp::StartWrite, 5, 1);
        const int opens = bridge.Script(0).Count(FakeOp::Open);
        bool raised = false;
        try {
          form.hTimerTimer(&form);
        } catch (const EComPort&) {
          raised = true;
        }
        bridge.ClearFailures();
        // Each tick reopens port A (it has no event thread); a reset opens it once more.
        const int reopened = bridge.Script(0).Count(FakeOp::Open) - opens;
        Require(reopened == 1 || reopened == 2);
        const bool reset = reopened == 2;
        Require(raised == model.Tick(reopen_fails, reset));
        checks.Tick(reset, model, form.CatRouter.counters());
        out_reopened = ticked = true;
        break;
      }
      case 6: {  // a long run without ";" from any side, past the buffer cap
        const int index = arg % 3;
        if (index == 2 && !model.out_open) break;
        const std::string flood(TCorvaneForm::kRxBufferCap / 2 + arg * 97,
                                static_cast<char>(op | 1));
        if (flood.find(';') != std::string::npos) break;
        if (index < 2) {
          bridge.ToClient(static_cast<uint8_t>(index), flood, static_cast<int32_t>(flood.size()));
          model.Intake(static_cast<uint8_t>(index), flood, false, form.CatRouter.TransmitterOwner());
        } else {
          bridge.FromRig(flood);
          model.FromRig(flood);
        }
        break;
      }
      case 7:  // time passes: steps of 8 ms land exactly on the give-up age too
        bridge.now += arg * 8;
        model.now = bridge.now;
        break;
      default: {  // a client line's room: odd arguments let it take everything again
        bridge.lines[variant & 1].room = (arg & 1) ? kUnlimited : arg >> 1;
        break;
      }
    }
    checks.All(bridge, model, out_reopened, ticked);
  }
  return 0;
}
