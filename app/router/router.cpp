#include "app/router/router.h"

#include <exception>
#include <stdexcept>

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
      held_(clients_.size()),
      ai_(clients_.size(), '0'),
      local_(clients_.size()),
      in_use_(clients_.size(), true) {
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
  uint32_t i = ReadPointer;
  if (i == WritePointer) {
    Trace(1, "   <getQueue> Queue(" + Num(i) + ") *ERROR* is empty, returning -1");
    return -1;
  }
  for (;;) {
    const std::string entry = Queue[i].Cmd.substr(0, 2);
    if (Tracing(2)) Trace(2, "   <getQueue> Queue(" + Num(i) + ") cmd(" + entry + ")");
    if (!entries_[i].answered && entry == token) {
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

void Router::MakeGhost(uint32_t slot, int64_t now, bool passed) {
  // A ghost without a key answers nothing, but still holds the command's place in the order.
  const Entry& e = entries_[slot];
  // Bounded: a ghost only matters for the moment its late answer may still arrive.
  if (ghosts_.size() >= kQueueSlots) DropOldestGhost();
  ghosts_.push_back({e.key, e.sent, now + give_up_ms_, Queue[slot].Port, passed});
}

void Router::DropOldestGhost() {
  // Its place in the order goes with it: what was sent before it is taken as dealt with.
  const uint64_t sent = ghosts_.front().sent;
  ghosts_.pop_front();
  if (sent >= resolved_) CloseWindow(sent + 1, "given up long ago");
}

void Router::AdvanceReadPointer() {
  while (ReadPointer != WritePointer && entries_[ReadPointer].answered) {
    ReadPointer++;
    if (ReadPointer == kQueueSlots) {
      ReadPointer = 0;
      Trace(2, "<OutPortRxChar> *WARNING* Queue pointer read reset to 0");
    }
  }
}

void Router::GiveUp(uint64_t before_seq, const char* why) {
  const int64_t now = clock_();
  uint64_t given_up = 0;
  std::string first;
  while (ReadPointer != WritePointer) {
    const uint32_t i = ReadPointer;
    const Entry& e = entries_[i];
    if (e.answered) {
      ReadPointer = (ReadPointer + 1) % kQueueSlots;
      continue;
    }
    const bool stuck = e.sent < before_seq;
    const bool expired = now - e.stored_at >= give_up_ms_;
    if (!stuck && !expired) break;
    MakeGhost(i, now);
    if (!e.owed && !stuck) {
      // A command the table does not know may be a set that is never answered: expected.
      ++counters_.unanswered;
      if (Tracing(2)) {
        Trace(2, "<getQueue> Command (" + Queue[i].Cmd + ") from " + PortName(Queue[i].Port) +
                     " drew no answer, given up");
      }
    } else {
      if (given_up == 0) first = Queue[i].Cmd + ") from " + PortName(Queue[i].Port);
      ++given_up;
    }
    ReadPointer = (ReadPointer + 1) % kQueueSlots;
  }
  if (given_up == 0) return;
  counters_.unanswered += given_up;
  Trace(1, "<getQueue> *WARNING* (" + Num(given_up) + ") commands unanswered, " + why +
               ", first (" + first);
}

void Router::TraceRepeated(const char* kind, size_t client, RouterTrace::Text text) {
  if (trace_.repeated) {
    trace_.repeated(kind, client, std::move(text));
  } else {
    Trace(1, text(1));
  }
}

void Router::SetRigLineUp(bool up) {
  if (up == rig_up_) return;
  rig_up_ = up;
  if (up) {
    // Whatever went out before the line was lost will not be answered by the line now open:
    // waiting for it would only take the new line's answers for the old commands.
    GiveUp(next_seq_, "the out port line was down");
    CloseWindow(next_seq_, "the out port line was down");
    ghosts_.clear();
    Trace(1, "<ProcessBuffer> Out port line is up again, (" + Num(counters_.dropped_this_outage) +
                 ") commands dropped while it was down");
    counters_.dropped_this_outage = 0;
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
    if (!RefuseByAccess(client, command) && !AnswerLocally(client, command) &&
        Forward(client, command)) {
      FollowTransmitter(client, command);
    }

    buffer.erase(0, semi + 1);
    if (!buffer.empty()) {
      if (Tracing(2)) Trace(2, " <ProcessBuffer> Buffer left is (" + buffer + ")");
    } else {
      Trace(2, " <ProcessBuffer> Buffer is now empty");
    }
    semi = buffer.find(';');
  }
  CapBuffer(client);
  ServeLocalAnswers();
}

bool Router::AnswerLocally(uint8_t client, const std::string& command) {
  // Auto-information is one switch in the transceiver that its clients would fight over:
  // each client has its own, and the transceiver's follows them.
  if (command.compare(0, 2, "AI") != 0) return false;
  if (command == "AI;") {
    LocalAnswer(client, std::string("AI") + ai_[client] + ";");
    return true;
  }
  if (command.size() != 4 || command[2] < '0' || command[2] > '9') return false;
  ai_[client] = command[2];
  if (Tracing(2)) {
    Trace(2, " <ProcessBuffer> Port(" + Num(client) + ") auto-information (" + command +
                 ") kept for " + PortName(client));
  }
  UpdateRigAutoInformation();
  return true;
}

void Router::LocalAnswer(uint8_t client, const std::string& answer) {
  bool waits = !local_[client].empty();
  for (uint32_t i = ReadPointer; i != WritePointer && !waits; i = (i + 1) % kQueueSlots)
    waits = !entries_[i].answered && Queue[i].Port == client;
  if (!waits) {
    Deliver(client, answer);
    return;
  }
  local_[client].emplace_back(next_seq_, answer);
  ++local_waiting_;
}

void Router::ServeLocalAnswers() {
  if (local_waiting_ == 0) return;
  for (size_t c = 0; c < local_.size(); ++c) {
    if (local_[c].empty()) continue;
    uint64_t oldest = UINT64_MAX;
    for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
      if (!entries_[i].answered && Queue[i].Port == c) {
        oldest = entries_[i].sent;
        break;
      }
    }
    while (!local_[c].empty() && local_[c].front().first <= oldest) {
      Deliver(c, local_[c].front().second);
      local_[c].pop_front();
      --local_waiting_;
    }
  }
}

void Router::UpdateRigAutoInformation() {
  const char wanted = *std::max_element(ai_.begin(), ai_.end());
  if (wanted == rig_ai_ || (rig_ai_ == '\0' && wanted == '0')) return;
  size_t on = 0;
  for (char ai : ai_) on += ai != '0';
  const std::string command = std::string("AI") + wanted + ";";
  Trace(1, "<ProcessBuffer> Auto-information of the transceiver set (" + command + "), (" +
               Num(on) + ") clients want reports");
  rig_ai_ = wanted;
  if (!rig_up_) return;
  try {
    lines_.WriteToRig(command);
  } catch (const std::exception& e) {
    Trace(1, " <ProcessBuffer> *ERROR* command (" + command + ") not sent: " + e.what());
    SetRigLineUp(false);
    return;
  }
  silent_.emplace_back(next_seq_++, clock_());
}

void Router::DropAutoInformation(size_t client) {
  counters_.dropped_to_client[client] += local_[client].size();
  local_waiting_ -= local_[client].size();
  local_[client].clear();
  if (ai_[client] == '0') return;
  ai_[client] = '0';
  UpdateRigAutoInformation();
}

bool Router::Report(const std::string& received) {
  bool sent = false;
  for (size_t c = 0; c < clients_.size(); ++c) {
    if (ai_[c] == '0') continue;
    const std::string token = received.substr(0, 2);
    Deliver(c, clients_[c].exchange_vfos && IsVfoToken(token) ? swapAB(received) : received);
    sent = true;
  }
  if (!sent) return false;
  ++counters_.reported;
  if (Tracing(2)) Trace(2, "<OutPortRxChar> Report (" + received + ") sent to the clients that want reports");
  return true;
}

bool Router::Forward(uint8_t client, const std::string& command) {
  const std::string port = Num(client);
  if (!rig_up_) {
    ++counters_.dropped_rig_down;
    ++counters_.dropped_this_outage;
    if (Tracing(2)) {
      Trace(2, " <ProcessBuffer> Port(" + port + ") command (" + command +
                   ") dropped, the out port line is down");
    }
    return false;
  }
  try {
    lines_.WriteToRig(command);
  } catch (const std::exception& e) {
    ++counters_.dropped_rig_down;
    ++counters_.dropped_this_outage;
    Trace(1, " <ProcessBuffer> Port(" + port + ") *ERROR* command (" + command +
                 ") not sent: " + e.what());
    SetRigLineUp(false);
    return false;
  }
  const cat::CommandKind kind = cat::Classify(command);
  if (kind == cat::CommandKind::Read || kind == cat::CommandKind::Unknown) {
    Store(client, command, kind == cat::CommandKind::Read);
    return true;
  }
  // The transceiver answers a set or an action with nothing (or "?;"): a ring entry for it
  // would wait for an answer that never comes, and capture another client's. Its place in
  // the order is kept, for a refusal may be its.
  if (silent_.size() >= 4 * kQueueSlots) CloseWindow(next_seq_, "too many sets to tell");
  silent_.emplace_back(next_seq_++, clock_());
  ++counters_.not_stored;
  if (Tracing(2)) {
    Trace(2, " <ProcessBuffer> Port(" + port + ") command (" + command +
                 ") sent to out port, no answer expected, not stored");
  }
  return true;
}

void Router::MakeRoomFor(uint8_t client) {
  // The ring is full. The client with the most waiting commands gives up its oldest one, so
  // a client that floods the line never costs another one its answer; the entries in front
  // of it move up one slot, keeping their order.
  // An entry whose client has gone is the first to make room.
  std::vector<size_t> waiting(clients_.size() + 1);
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (!entries_[i].answered) ++waiting[std::min<size_t>(Queue[i].Port, clients_.size())];
  }
  size_t flooder = waiting.back() > 0 ? size_t{kNoClient} : client;
  for (size_t c = 0; c + 1 < waiting.size() && flooder != kNoClient; ++c) {
    if (waiting[c] > waiting[flooder]) flooder = c;
  }
  uint32_t victim = ReadPointer;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (!entries_[i].answered && Queue[i].Port == flooder) {
      victim = i;
      break;
    }
  }
  if (!entries_[victim].answered) {
    ++counters_.unanswered;
    MakeGhost(victim, clock_());
    TraceRepeated(
        "queue full", Queue[victim].Port,
        [first = Queue[victim].Cmd + ") from " + PortName(Queue[victim].Port)](uint64_t n) {
          return "<getQueue> *WARNING* (" + Num(n) + ") commands unanswered, queue full, first (" +
                 first;
        });
  }
  for (uint32_t i = victim; i != ReadPointer;) {
    const uint32_t before = (i + kQueueSlots - 1) % kQueueSlots;
    std::swap(Queue[i], Queue[before]);
    std::swap(entries_[i], entries_[before]);
    i = before;
  }
  do {
    ReadPointer = (ReadPointer + 1) % kQueueSlots;
  } while (ReadPointer != WritePointer && entries_[ReadPointer].answered);
}

void Router::Store(uint8_t client, const std::string& command, bool owed) {
  if ((WritePointer + 1) % kQueueSlots == ReadPointer) MakeRoomFor(client);
  TCOMQueue& slot = Queue[WritePointer];
  slot.Port = client;
  slot.Flag = 0;
  slot.Cmd = command;
  Entry& e = entries_[WritePointer];
  e.stored_at = clock_();
  e.sent = next_seq_++;
  e.answered = false;
  e.owed = owed;
  e.key = std::string(cat::AnswerKey(command));
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
  ServeLocalAnswers();
}

bool Router::ReportsLikely(int64_t now) const {
  // While the transceiver sends answers on its own, a report may look like the answer to a
  // later read: passing over older reads would then give up reads still to be answered.
  return rig_ai_ > '0' || now - reports_seen_at_ < kReportsQuietMs;
}

void Router::ExpireOld(int64_t now) {
  while (!ghosts_.empty() && ghosts_.front().until <= now) DropOldestGhost();
  // Every command of the window went out long ago and none waits: the transceiver has dealt
  // with them all, and a refusal not placed by now never will be.
  const bool quiet = silent_.empty() || now - silent_.back().second >= give_up_ms_;
  if (quiet && Waiting() == 0 && (refusals_ > refusals_given_ || !silent_.empty())) {
    CloseWindow(next_seq_, "nothing left it can refuse");
  }
}

size_t Router::WindowItemsBefore(uint64_t sent) const {
  // Refused reads and answered entries of the window all went out before any waiting read.
  size_t n = refusals_given_ + answered_in_window_;
  for (uint32_t i = ReadPointer; i != WritePointer && entries_[i].sent < sent; i = (i + 1) % kQueueSlots)
    n += !entries_[i].answered;
  for (const auto& [s, at] : silent_) n += s < sent;
  for (const Ghost& g : ghosts_) n += g.sent >= resolved_ && g.sent < sent;
  return n;
}

void Router::CloseWindow(uint64_t next, const char* why) {
  const size_t left = refusals_ - refusals_given_;
  if (left > 0) {
    counters_.refusals_to_no_one += left;
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> *WARNING* (" + Num(left) + ") refusals (?;) given to no one, " + why);
    }
  }
  // Reads given up in the window were dealt with too: their answers will not come, and a ghost
  // kept for them would only take a newer read's answer.
  std::erase_if(ghosts_,
                [&](const Ghost& g) { return !g.passed && g.sent >= resolved_ && g.sent < next; });
  resolved_ = std::max(resolved_, next);
  while (!silent_.empty() && silent_.front().first < resolved_) silent_.pop_front();
  refusals_ = refusals_given_ = answered_in_window_ = 0;
}

Router::Match Router::FindAnswered(const std::string& answer) const {
  Match best;
  auto consider = [&](const std::string& key, uint64_t sent, bool ghost, size_t index) {
    if (key.empty() || answer.size() <= key.size() || answer.compare(0, key.size(), key) != 0)
      return;
    if (best.found && best.sent <= sent) return;
    best = {true, ghost, index, sent};
  };
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (entries_[i].answered) continue;
    consider(entries_[i].key, entries_[i].sent, false, i);
    if (best.found) break;  // ring entries are in the order they were sent
  }
  for (size_t g = 0; g < ghosts_.size(); ++g) {
    if (!ghosts_[g].passed) consider(ghosts_[g].key, ghosts_[g].sent, true, g);
  }
  // A read passed over is answered only out of order: an answer is its only when nothing
  // else can take it.
  for (size_t g = 0; g < ghosts_.size() && !best.found; ++g) {
    if (ghosts_[g].passed) consider(ghosts_[g].key, ghosts_[g].sent, true, g);
  }
  return best;
}

void Router::Refuse(uint32_t slot) {
  Entry& e = entries_[slot];
  e.answered = true;
  ++counters_.refused;
  const size_t client = Queue[slot].Port;
  if (client == kNoClient) return;
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Refusal (?;) of (" + Queue[slot].Cmd + ") sent to " +
                 PortName(client));
  }
  Deliver(client, "?;");
}

void Router::Refusal() {
  ExpireOld(clock_());
  ++refusals_;
  // The transceiver deals with commands in the order they were sent: a read it dealt with and
  // did not answer was refused. A read has been dealt with for certain when there are more
  // refusals than commands sent before it, for each of those may have drawn one.
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (entries_[i].answered || !entries_[i].owed) continue;
    if (refusals_ <= WindowItemsBefore(entries_[i].sent)) break;
    Refuse(i);
    ++refusals_given_;
  }
  AdvanceReadPointer();
  // As many refusals as commands not yet dealt with: every one of them was refused.
  if (answered_in_window_ > 0 || refusals_ < WindowItemsBefore(next_seq_)) return;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (entries_[i].answered) continue;
    Refuse(i);
    ++refusals_given_;
  }
  AdvanceReadPointer();
  std::erase_if(ghosts_, [&](const Ghost& g) { return g.sent >= resolved_; });
  CloseWindow(next_seq_, "they refused sets or reads given up");
}

void Router::Pass(uint64_t sent) {
  const int64_t now = clock_();
  // Reads sent before this answer's read were dealt with and not answered: refused, while
  // refusals remain, or skipped on a lost byte. When the refusals left match the other
  // commands before it, every one of those was refused too.
  size_t left = refusals_ - refusals_given_;
  size_t reads = 0, others = 0;
  for (uint32_t i = ReadPointer; i != WritePointer && entries_[i].sent < sent; i = (i + 1) % kQueueSlots) {
    if (entries_[i].answered) continue;
    ++(entries_[i].owed ? reads : others);
  }
  for (const auto& [s, at] : silent_) others += s < sent;
  for (const Ghost& g : ghosts_) others += g.sent >= resolved_ && g.sent < sent;
  const bool all_refused = others > 0 && left >= reads + others;
  // Reads given up before this answer's read were dealt with: their answers will not come.
  std::erase_if(ghosts_, [&](const Ghost& g) { return g.sent >= resolved_ && g.sent < sent; });
  uint64_t skipped = 0;
  std::string first;
  while (ReadPointer != WritePointer && entries_[ReadPointer].sent < sent) {
    const uint32_t i = ReadPointer;
    Entry& e = entries_[i];
    if (!e.answered) {
      if (left > 0 && (e.owed || all_refused)) {
        --left;
        ++refusals_given_;
        Refuse(i);
      } else if (e.owed) {
        // Skipped: a byte was lost on the line, or its refusal could not be placed.
        MakeGhost(i, now, true);
        if (skipped == 0) first = Queue[i].Cmd + ") from " + PortName(Queue[i].Port);
        ++skipped;
      } else {
        ++counters_.unanswered;
        if (Tracing(2)) {
          Trace(2, "<getQueue> Command (" + Queue[i].Cmd + ") from " + PortName(Queue[i].Port) +
                       " drew no answer, given up");
        }
      }
      e.answered = true;
    }
    ReadPointer = (ReadPointer + 1) % kQueueSlots;
  }
  AdvanceReadPointer();
  CloseWindow(sent + 1, "the commands it may refuse were answered or taken");
  if (skipped > 0) {
    counters_.unanswered += skipped;
    Trace(1, "<getQueue> *WARNING* (" + Num(skipped) +
                 ") commands unanswered, skipped by the transceiver, first (" + first);
  }
}

void Router::RouteAnswer(const std::string& received, const std::string& left) {
  const int64_t now = clock_();
  seq_at_last_answer_ = next_seq_;
  GiveUp(0, "waited too long");
  ExpireOld(now);
  if (received == "?;") {
    Refusal();
    return;
  }
  const std::string token = received.substr(0, 2);
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Command parsed(" + received + ") token(" + token + ") buffer left(" +
                 left + ")");
  }
  const Match match = FindAnswered(received);
  const cat::CommandInfo* info = cat::FindCommand(token);
  const bool misshapen = info && info->answer_params > 0 &&
                         received.size() != 2 + static_cast<size_t>(info->answer_params) + 1;
  if (!match.found) {
    // A report nobody asked for: the waiting commands still wait for their own answers.
    reports_seen_at_ = now;
    if (misshapen) {
      ++counters_.malformed;
      Trace(1, "<OutPortRxChar> *ERROR* Answer (" + received + ") of the wrong width, dropped");
      return;
    }
    if (Report(received)) return;
    ++counters_.unmatched;
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> *WARNING* Answer (" + received + ") matches no command, dropped");
    }
    return;
  }
  const bool in_order = !ReportsLikely(now);
  if (match.ghost) {
    const Ghost ghost = ghosts_[match.index];
    ghosts_.erase(ghosts_.begin() + static_cast<std::ptrdiff_t>(match.index));
    if (ghost.passed && !misshapen && ghost.client != kNoClient) {
      // A read passed over was answered after all: the transceiver reports on its own, and
      // its client, which got nothing for that read, gets its answer now.
      if (in_order) {
        Trace(1, "<OutPortRxChar> *WARNING* Answers come out of order, the transceiver reports "
                 "on its own: waiting commands are given up by their age");
      }
      reports_seen_at_ = now;
      std::string answer = received;
      if (clients_[ghost.client].exchange_vfos && IsVfoToken(token)) answer = swapAB(answer);
      Deliver(ghost.client, answer);
      ++counters_.routed;
      return;
    }
    ++(misshapen ? counters_.malformed : counters_.late);
    if (in_order && !ghost.passed) Pass(ghost.sent);
    if (Tracing(2)) {
      Trace(2, "<OutPortRxChar> *WARNING* Answer (" + received +
                   ") belongs to a command given up, dropped");
    }
    return;
  }
  const uint32_t k = static_cast<uint32_t>(match.index);
  if (in_order) {
    Pass(entries_[k].sent);
  } else if (entries_[k].sent >= resolved_) {
    ++answered_in_window_;
  }
  if (misshapen) {
    // Garbled on the line: whatever it was, it is not what the read asked for.
    ++counters_.malformed;
    entries_[k].answered = true;
    AdvanceReadPointer();
    Trace(1, "<OutPortRxChar> *ERROR* Answer (" + received + ") cannot answer (" + Queue[k].Cmd +
                 ") from " + PortName(Queue[k].Port) + ", dropped");
    return;
  }
  DeliverToEntry(k, received, left);
}

void Router::DeliverToEntry(uint32_t k, const std::string& received, const std::string& left) {
  const size_t client = Queue[k].Port;
  if (client == kNoClient) return DropForRemovedClient(k, received);
  const std::string token = received.substr(0, 2);
  std::string answer = received;
  if (clients_[client].exchange_vfos && IsVfoToken(token)) answer = swapAB(answer);
  Deliver(client, answer);
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> CAT Response(" + answer + ") matching queue(" + Num(k) +
                 ") sent to " + PortName(client) + " left(" + left + ")");
  }
  ++counters_.routed;
  entries_[k].answered = true;
  AdvanceReadPointer();
  if (ReadPointer == WritePointer) {
    if (Tracing(2)) Trace(2, "<OutPortRxChar> Queue is empty now RQ=" + Num(ReadPointer));
  } else if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Next command to pair is pRQ=" + Num(ReadPointer) +
                 " cmd=" + Queue[ReadPointer].Cmd);
  }
}

void Router::Deliver(size_t client, const std::string& answer) {
  Held& held = held_[client];
  // The line may have room again: what it held back goes first, then this answer.
  if (!held.answers.empty() &&
      (clock_() - held.refused_at < kHeldRetryMs || !FlushHeld(client))) {
    if (held.answers.size() < kHeldAnswers) {
      held.answers.push_back(answer);
      return;
    }
    const uint64_t dropped = ++counters_.dropped_to_client[client];
    TraceRepeated("not reading", client, [port = PortName(client), answer, dropped](uint64_t) {
      return "<OutPortRxChar> *WARNING* " + port + " is not reading, answer (" + answer +
             ") dropped, (" + Num(dropped) + ") dropped so far";
    });
    return;
  }
  size_t taken = 0;
  try {
    taken = lines_.OfferToClient(client, answer);
  } catch (const std::exception& e) {
    ++counters_.dropped_to_client[client];
    TraceRepeated("write failed", client,
                  [port = PortName(client), why = std::string(e.what()), answer](uint64_t n) {
                    return "<OutPortRxChar> *ERROR* " + port + " write failed: " + why +
                           ", answer (" + answer + ") dropped (" + Num(n) + ")";
                  });
    return;
  }
  if (taken < answer.size()) {
    // The rest follows as soon as the line has room, before anything else: the client never
    // sees a partial answer followed by another one.
    held.answers.push_back(answer);
    held.sent = taken;
    held.refused_at = clock_();
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
    if (held.sent < first.size()) {
      held.refused_at = clock_();
      return false;
    }
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
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots)
    n += !entries_[i].answered;
  return n;
}

bool Router::HoldsAnswers() const {
  for (const Held& held : held_)
    if (!held.answers.empty()) return true;
  return false;
}

bool Router::Tick() {
  const int64_t now = clock_();
  GiveUp(0, "waited too long");
  ExpireOld(now);
  CheckTransmitLimit();
  ServeLocalAnswers();
  OfferHeldAnswers();
  // Any answer, also a refusal (given to a read or not yet) or one that matched nothing, shows
  // the transceiver's line alive.
  const uint64_t answers = counters_.routed + counters_.unmatched + counters_.refused +
                           counters_.refusals_to_no_one + counters_.late + counters_.malformed +
                           counters_.reported + (refusals_ - refusals_given_);
  // Only reads the transceiver owes an answer count: an unknown command may be a silent set.
  // A read sent before the transceiver's last answer does not show it stuck: that answer may
  // have been the read's own, taken by the one before it when a refusal could not be placed.
  bool owed_waiting = false;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    const Entry& e = entries_[i];
    if (!e.answered && e.owed && e.sent >= seq_at_last_answer_ && e.sent < seq_at_last_tick_)
      owed_waiting = true;
  }
  const bool stuck = owed_waiting && answers == answers_at_last_tick_;
  if (stuck) GiveUp(seq_at_last_tick_, "queue stuck");
  seq_at_last_tick_ = next_seq_;
  answers_at_last_tick_ = answers;
  if (!stuck) return false;
  // A reset that brought no answer back (a transceiver switched off) is not repeated at once:
  // each further one waits twice as long, up to a minute.
  if (answers != answers_at_last_reset_) reset_backoff_ms_ = 0;
  if (now < last_reset_at_ + reset_backoff_ms_) return false;
  if (reset_backoff_ms_ > 0) {
    Trace(1, "<hTimerTimer> *WARNING* no answer since the last reset (" +
                 Num(static_cast<uint64_t>(reset_backoff_ms_)) + " ms ago or more), resetting again");
  }
  reset_backoff_ms_ =
      std::min<int64_t>(reset_backoff_ms_ == 0 ? 1000 : 2 * reset_backoff_ms_, kMaxResetBackoffMs);
  answers_at_last_reset_ = answers;
  last_reset_at_ = now;
  return true;
}

std::string Router::PortName(size_t client) const {
  if (client >= clients_.size()) return "a closed connection";
  return "Port " + clients_[client].name;
}

size_t Router::AddClient(RouterClient client) {
  size_t number = 0;
  while (number < in_use_.size() && in_use_[number]) ++number;
  if (number >= kNoClient) throw std::length_error("too many clients");
  if (number == clients_.size()) {
    clients_.push_back(std::move(client));
    // The transceiver's buffer stays last.
    RxBuffer.insert(RxBuffer.end() - 1, std::string());
    held_.emplace_back();
    ai_.push_back('0');
    local_.emplace_back();
    in_use_.push_back(true);
    counters_.dropped_to_client.push_back(0);
  } else {
    clients_[number] = std::move(client);
    in_use_[number] = true;
    counters_.dropped_to_client[number] = 0;
  }
  return number;
}

void Router::RemoveClient(size_t client) {
  if (!HasClient(client)) return;
  // The entries stay in the ring, in their place in the transceiver's order, so that their
  // answers (or refusals), when they come, still find them and are dropped instead of passing
  // for somebody else's.
  uint64_t given_up = 0;
  for (uint32_t i = ReadPointer; i != WritePointer; i = (i + 1) % kQueueSlots) {
    if (entries_[i].answered || Queue[i].Port != client) continue;
    Queue[i].Port = kNoClient;
    ++given_up;
  }
  for (Ghost& g : ghosts_) {
    if (g.client == client) g.client = kNoClient;
  }
  if (Tracing(2)) {
    Trace(2, "<RemoveClient> " + PortName(client) + " closed, (" + Num(given_up) +
                 ") waiting commands given up, (" + Num(held_[client].answers.size()) +
                 ") held answers dropped");
  }
  ReleaseTransmitter(client, "its connection closed");
  DropAutoInformation(client);
  held_[client] = Held{};
  RxBuffer[client].clear();
  RxBuffer[client].shrink_to_fit();
  in_use_[client] = false;
}

void Router::DropForRemovedClient(uint32_t slot, const std::string& answer) {
  ++counters_.late;
  if (Tracing(2)) {
    Trace(2, "<OutPortRxChar> Answer (" + answer + ") matching queue(" + Num(slot) +
                 ") dropped, its client is gone");
  }
  entries_[slot].answered = true;
  AdvanceReadPointer();
}

}  // namespace corvane
