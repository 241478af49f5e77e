#pragma once
// The routing core: cuts each client's bytes into CAT commands, forwards them to the
// transceiver, remembers in a ring of pending commands who asked, and hands every answer
// to the client that asked for it. Clients and the transceiver are numbered byte lines
// behind RouterLines; time comes from an injected clock; nothing here knows of ports,
// windows or threads.
//
// Threading: not thread-safe; one thread (the bridge's main thread) calls everything.
#include <cstdint>
#include <deque>
#include <utility>
#include <functional>
#include <string>
#include <vector>

#include "app/router/cat_commands.h"

namespace corvane {

struct TCOMQueue {
  uint8_t Port = 0;  // the client that sent the command
  int32_t Flag = 0;
  std::string Cmd;
};

// Where the router's bytes go.
class RouterLines {
 public:
  virtual ~RouterLines() = default;
  // Sends one command to the transceiver, waiting as long as the line's timeouts say.
  // Raises when the line fails; the router then holds the line down (SetRigLineUp).
  virtual void WriteToRig(const std::string& command) = 0;
  // Offers bytes to a client without waiting for room; returns how many the line took
  // (0 holds the answer for later). Raises when the line fails (gone, not open).
  virtual size_t OfferToClient(size_t client, const std::string& bytes) = 0;
};

struct RouterClient {
  std::string name;           // "A": shows in the trace as "Port A"
  bool exchange_vfos = false;  // the client sees VFO A and B exchanged
};

struct RouterTrace {
  std::function<bool(uint8_t level)> tracing;
  std::function<void(uint8_t level, const std::string& text)> write;
};

class Router {
 public:
  static constexpr uint32_t kQueueSlots = 128;
  // A CAT command is tens of bytes; a client that never sends ";" must not grow memory
  // without bound, so a buffer that passes this size is dropped.
  static constexpr size_t kRxBufferCap = 64 * 1024;
  // Answers held for a client whose line is full, before further ones are dropped.
  static constexpr size_t kHeldAnswers = 4;

  using Clock = std::function<int64_t()>;  // monotonic milliseconds

  // watchdog_ms: the watchdog's interval; a command waiting two of them is given up.
  Router(std::vector<RouterClient> clients, RouterLines& lines, Clock clock, RouterTrace trace,
         int64_t watchdog_ms);

  size_t ClientCount() const { return clients_.size(); }
  // Bytes from client `client`: every complete command is forwarded.
  void ProcessBuffer(uint8_t client, const std::string& data);
  // Bytes from the transceiver: every complete answer is routed.
  void ProcessAnswers(const std::string& data);
  // The oldest waiting entry with the token, or -1. Entries waiting too long are given up first.
  int32_t getQueue(const std::string& token);
  std::string swapAB(const std::string& command);

  // The watchdog's tick: gives up commands waiting too long, offers held answers again, and
  // returns true when the bridge is stuck: a command that waited at the previous tick still
  // waits and no answer at all came from the transceiver since. The stuck commands are
  // given up.
  bool Tick();
  // Whether commands reach the transceiver. While its line is down, commands are dropped,
  // so nothing stale is replayed when it returns.
  void SetRigLineUp(bool up);
  bool RigLineUp() const { return rig_up_; }

  bool Empty() const { return ReadPointer == WritePointer; }
  // Commands still waiting for their answers.
  size_t Waiting() const;
  // Offers the answers held for clients whose lines were full or closed.
  void OfferHeldAnswers();
  // Whether answers wait for a client's line to take them.
  bool HoldsAnswers() const;

  struct Counters {
    uint64_t routed = 0;              // answers delivered to (or held for) a client
    uint64_t unmatched = 0;           // answers no waiting command had asked for
    uint64_t unanswered = 0;          // commands given up
    uint64_t not_stored = 0;          // commands the transceiver does not answer
    uint64_t dropped_rig_down = 0;    // commands dropped while the transceiver's line was down
    std::vector<uint64_t> dropped_to_client;  // answers a client's line could not take
  };
  const Counters& counters() const { return counters_; }

  // The ring: slots 0..127 are used; it reads as empty when both pointers are equal.
  TCOMQueue Queue[kQueueSlots + 1];
  uint32_t ReadPointer = 0;
  uint32_t WritePointer = 0;
  // One receive buffer per client, then the transceiver's.
  std::vector<std::string> RxBuffer;

 private:
  struct Held {
    std::deque<std::string> answers;  // the first one may be partly sent
    size_t sent = 0;                  // bytes of the first one already on the line
  };

  bool Tracing(uint8_t level) const { return trace_.tracing(level); }
  void Trace(uint8_t level, const std::string& text) { trace_.write(level, text); }
  std::string PortName(size_t client) const { return "Port " + clients_[client].name; }
  void Forward(uint8_t client, const std::string& command);
  void Store(uint8_t client, const std::string& command);
  void MakeRoomFor(uint8_t client);
  void RouteAnswer(const std::string& answer, const std::string& left);
  void Deliver(size_t client, const std::string& answer);
  // Offers what the client's line holds back; false when the line is still full.
  bool FlushHeld(size_t client);
  void DropHeld(size_t client, const std::string& why);
  // Gives up, from the read pointer on, the waiting entries stored before store number
  // `before_seq` and those that waited too long.
  void GiveUp(uint64_t before_seq, const char* why);
  void CapBuffer(size_t index);

  std::vector<RouterClient> clients_;
  RouterLines& lines_;
  Clock clock_;
  RouterTrace trace_;
  int64_t give_up_ms_;
  bool rig_up_ = true;
  // Per slot: when the entry was stored and its store number (monotonic, never wraps).
  int64_t stored_at_[kQueueSlots] = {};
  uint64_t seq_[kQueueSlots] = {};
  // An entry answered out of order, while an older one still waits.
  bool answered_[kQueueSlots] = {};
  uint64_t next_seq_ = 0;
  uint64_t seq_at_last_tick_ = 0;
  uint64_t answers_at_last_tick_ = 0;
  std::vector<Held> held_;
  Counters counters_;
};

}  // namespace corvane
