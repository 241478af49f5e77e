#include "app/router/router.h"

#include <exception>

namespace corvane {
namespace {

std::string Num(uint64_t value) {
  return std::to_string(value);
}

bool IsVfoToken(const std::string& token) {
  return token == "FA" || token == "FB";
}

}  // namespace

Router::Router(std::vector<RouterClient> clients, RouterLines& lines, Clock clock,
               RouterTrace trace, int64_t watchdog_ms)
    : RxBuffer(clients.size() + 1),
      clients_(std::move(clients)),
      lines_(lines),
      clock_(std::move(clock)),
      trace_(std::move(trace)),
      give_up_ms_(2 * watchdog_ms),
      held_(clients_.size()) {
  counters_.dropped_to_client.assign(clients_.size(), 0);
}

std::string Router::swapAB(const std::string& command) {
  if (command.find(';') == std::string::npos) {
    Trace(1, "   <swapAB> *ERROR* Command(" + command + ") not a command");
    return command;
  }
  const std::string token = command.substr(0, 2);
  if (Tracing(2)) Trace(2, "   <swapAB> Command(" + command + ") token(" + token + ")");
  if (token == "FA") {
    std::string result = "FB" + command.substr(2);
    if (Tracing(2)) {
      Trace(2, "   <swapAB> Command FA detected Previous(" + command + ") now swapped To(" +
                   result + ")");
    }
    return result;
  }
  if (token == "FB") return "FA" + command.substr(2);
  if (Tracing(2)) Trace(2, "   <swapAB> Command (" + command + ") left without modifications");
  return command;
}

int32_t Router::getQueue(const std::string& token) {
  // A command that has waited this long will not be answered any more; were it kept, it
  // would capture a later answer with its token that belongs to another command.
  GiveUp(0, "waited too long");
  uint32_t i = ReadPointer;
  if (i == WritePointer) {
    Trace(1, "   <getQueue> Queue(" + Num(i) + ") *ERROR* is empty, returning -1");
    return -1;
  }
  for (;;) {
    const std::string entry = Queue[i].Cmd.substr(0, 2);
    if (Tracing(2)) Trace(2, "   <getQueue> Queue(" + Num(i) + ") cmd(" + entry + ")");
    if (!answered_[i] && entry == token) {
      if (Tracing(2)) Trace(2, "   <getQueue> Queue(" + Num(i) + ") match token");
      return static_cast<int32_t>(i);
    }
    i = (i + 1) % kQueueSlots;
    if (i == WritePointer) {
      if (Tracing(2)) {
        Trace(2, "   <getQueue> Queue(" + Num(i) + ") *ERROR* equals end of Queue, exit");
      }
      return -1;
    }
  }
}

void Router::GiveUp(uint64_t before_seq, const char* why) {
  const int64_t now = clock_();
  uint64_t given_up = 0;
  std::string first;
  while (ReadPointer != WritePointer) {
    const uint32_t i = ReadPointer;
    if (answered_[i]) {
      ReadPointer = (ReadPointer + 1) % kQueueSlots;
      continue;
    }
    const bool stuck = seq_[i] < before_seq;
    const bool expired = now - stored_at_[i] >= give_up_ms_;
    if (!stuck && !expired) break;
    if (given_up == 0) first = Queue[i].Cmd + ") from " + PortName(Queue[i].Port);
    ++given_up;
    ReadPointer = (ReadPointer + 1) % kQueueSlots;
  }
  if (given_up == 0) return;
  counters_.unanswered += given_up;
  Trace(1, "<getQueue> *WARNING* (" + Num(given_up) + ") commands unanswered, " + why +
               ", first (" + first);
}

void Router::SetRigLineUp(bool up) {
  if (up == rig_up_) return;
  rig_up_ = up;
  if (up) {
    Trace(1, "<ProcessBuffer> Out port line is up again, (" + Num(counters_.dropped_rig_down) +
                 ") commands dropped while it was down");
  } else {
    Trace(1, "<ProcessBuffer> *ERROR* Out port line is down, client commands are dropped");
  }
}

void Router::CapBuffer(size_t index) {
  std::string& buffer = RxBuffer[index];
  if (buffer.size() <= kRxBufferCap) return;
  Trace(1, " <ProcessBuffer> Port(" + Num(index) + ") *ERROR* no \";\" in (" + Num(buffer.size()) +
               ") bytes, buffer dropped");
  buffer.clear();
  buffer.shrink_to_fit();
}

void Router::ProcessBuffer(uint8_t client, const std::string& data) {
  std::string& buffer = RxBuffer[client];
  const std::string port = Num(client);
  buffer += data;
  if (Tracing(2)) Trace(2, " <ProcessBuffer> Port(" + port + ") Updated now (" + buffer + ")");

  size_t semi = buffer.find(';');
  while (semi != std::string::npos) {
    std::string command = buffer.substr(0, semi + 1);
    const std::string token = command.substr(0, 2);
    if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Port(" + port + ") Parsed command (" + command + ") token(" +
                   token + ")");
    }
    if (clients_[client].exchange_vfos && IsVfoToken(token)) {
      command = swapAB(command);
      if (Tracing(2)) {
        Trace(2, " <ProcessBuffer> Port(" + port + ") Command changed to (" + command + ")");
      }
    }
    Forward(client, command);

    buffer.erase(0, semi + 1);
    if (!buffer.empty()) {
      if (Tracing(2)) Trace(2, " <ProcessBuffer> Buffer left is (" + buffer + ")");
    } else {
      Trace(2, " <ProcessBuffer> Buffer is now empty");
    }
    semi = buffer.find(';');
  }
  CapBuffer(client);
}

void Router::Forward(uint8_t client, const std::string& command) {
  const std::string port = Num(client);
  if (!rig_up_) {
    ++counters_.dropped_rig_down;
    if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Port(" + port + ") command (" + command +
                   ") dropped, the out port line is down");
    }
    return;
  }
  try {
    lines_.WriteToRig(command);
  } catch (const std::exception& e) {
    ++counters_.dropped_rig_down;
    Trace(1, " <ProcessBuffer> Port(" + port + ") *ERROR* command (" + command +
                 ") not sent: " + e.what());
    SetRigLineUp(false);
    return;
  }
  if (cat::MayBeAnswered(command)) {
    Store(client, command);
    return;
  }
  // The transceiver answers a set or an action with nothing (or "?;"): a ring entry
  // for it would wait for an answer that never comes, and capture another client's.
  ++counters_.not_stored;
  if (Tracing(2)) {
    Trace(2, " <ProcessBuffer> Port(" + port + ") command (" + command +
                 ") sent to out port, no answer expected, not stored");
  }
}

void Router::MakeRoomFor(uint8_t client) {
  // The ring is full. The client with the most waiting commands gives up its oldest one, so
  // a client that floods the line never costs another one its answer; the entries in front
  // of it move up one slot, keeping their order.
  std::vector<size_t> waiting(clients_.size());
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (!answered_[i]) ++waiting[Queue[i].Port];
  }
  size_t flooder = client;
  for (size_t c = 0; c < waiting.size(); ++c) {
    if (waiting[c] > waiting[flooder]) flooder = c;
  }
  uint32_t victim = ReadPointer;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (!answered_[i] && Queue[i].Port == flooder) {
      victim = i;
      break;
    }
  }
  if (!answered_[victim]) {
    ++counters_.unanswered;
    Trace(1, "<getQueue> *WARNING* (1) commands unanswered, queue full, first (" +
                 Queue[victim].Cmd + ") from " + PortName(Queue[victim].Port));
  }
  for (uint32_t i = victim; i != ReadPointer;) {
    const uint32_t before = (i + kQueueSlots - 1) % kQueueSlots;
    std::swap(Queue[i], Queue[before]);
    stored_at_[i] = stored_at_[before];
    seq_[i] = seq_[before];
    answered_[i] = answered_[before];
    i = before;
  }
  do {
    ReadPointer = (ReadPointer + 1) % kQueueSlots;
  } while (ReadPointer != WritePointer && answered_[ReadPointer]);
}

void Router::Store(uint8_t client, const std::string& command) {
  if ((WritePointer + 1) % kQueueSlots == ReadPointer) MakeRoomFor(client);
  TCOMQueue& slot = Queue[WritePointer];
  slot.Port = client;
  slot.Flag = 0;
  slot.Cmd = command;
  stored_at_[WritePointer] = clock_();
  answered_[WritePointer] = false;
  seq_[WritePointer] = next_seq_++;
  if (Tracing(2)) {
    Trace(2, " <ProcessBuffer> Port(" + Num(client) + ") command (" + command +
                 ") sent to out port and stored at queue position(" + Num(WritePointer) + ")");
  }
  WritePointer++;
  if (WritePointer == kQueueSlots) {
    WritePointer = 0;
    Trace(2, " <ProcessBuffer> Queue pointer write reset to 0");
  } else if (Tracing(2)) {
    Trace(2, " <ProcessBuffer> Queue pointer next is (" + Num(WritePointer) + ")");
  }
}

void Router::ProcessAnswers(const std::string& data) {
  std::string& buffer = RxBuffer[clients_.size()];
  buffer += data;
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> CAT Command Response (" + data + ") Buffer(" + buffer + ")");
  }
  size_t semi = buffer.find(';');
  while (semi != std::string::npos) {
    const std::string answer = buffer.substr(0, semi + 1);
    buffer.erase(0, semi + 1);
    RouteAnswer(answer, buffer);
    semi = buffer.find(';');
  }
  CapBuffer(clients_.size());
}

void Router::RouteAnswer(const std::string& received, const std::string& left) {
  const std::string token = received.substr(0, 2);
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Command parsed(" + received + ") token(" + token + ") buffer left(" +
                 left + ")");
  }
  const int32_t k = getQueue(token);
  if (Tracing(2)) Trace(2, "<OutPortRxChar> getQueue(" + token + ") is (" + std::to_string(k) + ")");
  if (k == -1) {
    // A rejection ("?;") or a report nobody asked for: the waiting commands still wait for
    // their own answers.
    ++counters_.unmatched;
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> *WARNING* Answer (" + received + ") matches no command, dropped");
    }
    return;
  }
  const size_t client = Queue[k].Port;
  std::string answer = received;
  if (clients_[client].exchange_vfos && IsVfoToken(token)) answer = swapAB(answer);
  Deliver(client, answer);
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> CAT Response(" + answer + ") matching queue(" + Num(k) +
                 ") sent to " + PortName(client) + " left(" + left + ")");
  }
  ++counters_.routed;
  // Older entries keep waiting: the answer may have been a report nobody asked for that
  // happens to carry a waiting token, and the older commands' own answers are still to come.
  // Those never answered are given up by their age.
  answered_[k] = true;
  while (ReadPointer != WritePointer && answered_[ReadPointer]) {
    ReadPointer++;
    if (ReadPointer == kQueueSlots) {
      ReadPointer = 0;
      Trace(2, "<OutPortRxChar> *WARNING* Queue pointer read reset to 0");
    }
  }
  if (ReadPointer == WritePointer) {
    if (Tracing(2)) Trace(2, "<OutPortRxChar> Queue is empty now RQ=" + Num(ReadPointer));
  } else if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Next command to pair is pRQ=" + Num(ReadPointer) +
                 " cmd=" + Queue[ReadPointer].Cmd);
  }
}

void Router::Deliver(size_t client, const std::string& answer) {
  Held& held = held_[client];
  if (!held.answers.empty()) {
    // The line was full: trying again now would wait once more for every answer; the
    // watchdog's tick offers the held answers again.
    if (held.answers.size() < kHeldAnswers) {
      held.answers.push_back(answer);
      return;
    }
    ++counters_.dropped_to_client[client];
    Trace(1, "<OutPortRxChar> *WARNING* " + PortName(client) + " is not reading, answer (" +
                 answer + ") dropped, (" + Num(counters_.dropped_to_client[client]) +
                 ") dropped so far");
    return;
  }
  size_t taken = 0;
  try {
    taken = lines_.OfferToClient(client, answer);
  } catch (const std::exception& e) {
    ++counters_.dropped_to_client[client];
    Trace(1, "<OutPortRxChar> *ERROR* " + PortName(client) + " write failed: " + e.what() +
                 ", answer (" + answer + ") dropped");
    return;
  }
  if (taken < answer.size()) {
    // The rest follows as soon as the line has room, before anything else: the client never
    // sees a partial answer followed by another one.
    held.answers.push_back(answer);
    held.sent = taken;
  }
}

bool Router::FlushHeld(size_t client) {
  Held& held = held_[client];
  while (!held.answers.empty()) {
    const std::string& first = held.answers.front();
    size_t taken = 0;
    try {
      taken = lines_.OfferToClient(client, first.substr(held.sent));
    } catch (const std::exception& e) {
      DropHeld(client, std::string("write failed: ") + e.what());
      return true;
    }
    held.sent += taken;
    if (held.sent < first.size()) return false;
    held.answers.pop_front();
    held.sent = 0;
  }
  return true;
}

void Router::DropHeld(size_t client, const std::string& why) {
  Held& held = held_[client];
  counters_.dropped_to_client[client] += held.answers.size();
  Trace(1, "<OutPortRxChar> *ERROR* " + PortName(client) + " " + why + ", (" +
               Num(held.answers.size()) + ") held answers dropped");
  held.answers.clear();
  held.sent = 0;
}

void Router::OfferHeldAnswers() {
  for (size_t c = 0; c < clients_.size(); ++c) {
    if (!held_[c].answers.empty()) FlushHeld(c);
  }
}

size_t Router::Waiting() const {
  size_t n = 0;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) n += !answered_[i];
  return n;
}

bool Router::HoldsAnswers() const {
  for (const Held& held : held_)
    if (!held.answers.empty()) return true;
  return false;
}

bool Router::Tick() {
  GiveUp(0, "waited too long");
  OfferHeldAnswers();
  // Any answer, also one that matched nothing ("?;"), shows the transceiver's line alive.
  const uint64_t answers = counters_.routed + counters_.unmatched;
  const bool stuck =
      !Empty() && seq_[ReadPointer] < seq_at_last_tick_ && answers == answers_at_last_tick_;
  if (stuck) GiveUp(seq_at_last_tick_, "queue stuck");
  seq_at_last_tick_ = next_seq_;
  answers_at_last_tick_ = answers;
  return stuck;
}

}  // namespace corvane
