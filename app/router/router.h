#pragma once
// The routing core: cuts each client's bytes into CAT commands, forwards them to the
// transceiver, remembers in a ring of pending commands who asked, and hands every answer
// to the client that asked for it. Clients and the transceiver are numbered byte lines
// behind RouterLines; time comes from an injected clock; nothing here knows of ports,
// windows or threads.
//
// Threading: not thread-safe; one thread (the bridge's main thread) calls everything.
#include <climits>
#include <cstdint>
#include <algorithm>
#include <deque>
#include <utility>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/router/cat_commands.h"

namespace corvane {

// The client of a waiting command whose client has gone.
inline constexpr uint8_t kNoClient = 0xFF;

struct TCOMQueue {
  uint8_t Port = 0;  // the client that sent the command; kNoClient once it is gone
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

// What a client may ask of the shared transceiver.
enum class Access : uint8_t {
  Full,  // everything
  NoTx,  // everything but keying the transmitter
  Read,  // reads only (and its own auto-information setting)
};

// "FULL", "NOTX", "READ" as in the configuration (any letter case), or nothing.
std::optional<Access> AccessFromText(const std::string& text);
const char* AccessText(Access access);

struct RouterClient {
  std::string name;           // "A": shows in the trace as "Port A"
  bool exchange_vfos = false;  // the client sees VFO A and B exchanged
  Access access = Access::Full;
};

struct RouterTrace {
  using Text = std::function<std::string(uint64_t count)>;
  std::function<bool(uint8_t level)> tracing;
  std::function<void(uint8_t level, const std::string& text)> write;
  // A level-1 line that a lasting fault repeats with every command or answer: `kind` and
  // `client` say which lines are repeats of one another, `text` makes the line standing for
  // `count` of them. Unset, every occurrence is written.
  std::function<void(const char* kind, size_t client, Text text)> repeated = {};
};

class Router {
 public:
  static constexpr uint32_t kQueueSlots = 128;
  // A CAT command is tens of bytes; a client that never sends ";" must not grow memory
  // without bound, so a buffer that passes this size is dropped.
  static constexpr size_t kRxBufferCap = 64 * 1024;
  // Answers held for a client whose line is full, before further ones are dropped.
  static constexpr size_t kHeldAnswers = 4;
  // An offer to a full line waits out the line's write timeout (1 ms): the answers that keep
  // coming for a client that stopped reading offer it what is held at most this often, so
  // it costs the others at most 2 % of the bridge's time.
  static constexpr int64_t kHeldRetryMs = 50;
  // After an answer nobody asked for, answers are not taken to come in order for this long.
  static constexpr int64_t kReportsQuietMs = 10'000;
  static constexpr int64_t kMaxResetBackoffMs = 60'000;

  using Clock = std::function<int64_t()>;  // monotonic milliseconds

  // watchdog_ms: the watchdog's interval; a command waiting two of them is given up.
  Router(std::vector<RouterClient> clients, RouterLines& lines, Clock clock, RouterTrace trace,
         int64_t watchdog_ms);

  // Client numbers in use or free for reuse; a client's number stays its own until removed.
  size_t ClientCount() const { return clients_.size(); }
  // A client that comes and goes (a network connection): it gets a free number, a reused one
  // with nothing of its former owner left.
  size_t AddClient(RouterClient client);
  // The client is gone: its waiting commands are given up (their late answers are dropped,
  // never handed to a later owner of the number), its held answers, its own answers, its
  // reports and its receive buffer go.
  void RemoveClient(size_t client);
  bool HasClient(size_t client) const { return client < in_use_.size() && in_use_[client]; }
  // Bytes from client `client`: every complete command is forwarded.
  void ProcessBuffer(uint8_t client, const std::string& data);
  // Bytes from the transceiver: every complete answer is routed.
  void ProcessAnswers(const std::string& data);
  // The oldest waiting entry with the token, or -1.
  int32_t getQueue(const std::string& token);
  std::string swapAB(const std::string& command);

  // The watchdog's tick: gives up commands waiting too long, offers held answers again, and
  // returns true when the lines should be reset: a read the transceiver owes an answer waited
  // at the previous tick and still waits, and no answer at all came from the transceiver
  // since. The stuck commands are given up. Resets that brought no answer back are held back
  // for 1 s, 2 s, 4 s ... up to a minute.
  bool Tick();
  // Whether commands reach the transceiver. While its line is down, commands are dropped,
  // so nothing stale is replayed when it returns.
  void SetRigLineUp(bool up);
  bool RigLineUp() const { return rig_up_; }

  bool Empty() const { return ReadPointer == WritePointer; }
  // Commands still waiting for their answers.
  size_t Waiting() const;
  Access ClientAccess(size_t client) const { return clients_[client].access; }
  void SetAccess(size_t client, Access access) { clients_[client].access = access; }
  // The client that keyed the transmitter through the bridge, or -1 while it is not keyed.
  int TransmitterOwner() const { return tx_owner_; }
  // The keying client's line went away (closed, lost, reset): the transmitter is unkeyed at
  // once. `why` goes into the trace.
  void ReleaseTransmitter(size_t client, const std::string& why);
  // A transmitter keyed longer than this is unkeyed at the next tick (0: no limit).
  void SetTransmitLimit(int64_t ms) { tx_limit_ms_ = ms; }
  // Told what the operator must hear of (the transmit time limit reached).
  void SetOperatorNotice(std::function<void(const std::string&)> notice) {
    notice_ = std::move(notice);
  }

  // A client's own auto-information setting ('0' off); the transceiver's follows the highest.
  char AutoInformation(size_t client) const { return ai_[client]; }
  // A client line gone for good: its reports stop, and the transceiver's with the last one;
  // answers of the router's own still owed to it are dropped.
  void DropAutoInformation(size_t client);
  // Offers the answers held for clients whose lines were full or closed.
  void OfferHeldAnswers();
  // Whether answers wait for a client's line to take them.
  bool HoldsAnswers() const;

  struct Counters {
    uint64_t routed = 0;              // answers delivered to (or held for) a client
    uint64_t unmatched = 0;           // answers no waiting command had asked for
    uint64_t refused = 0;             // refusals ("?;") given to the client whose read they refuse
    uint64_t refusals_to_no_one = 0;  // refusals the order could not give to a read
    uint64_t late = 0;                // answers to commands already given up, dropped
    uint64_t malformed = 0;           // answers of the wrong width for their token, dropped
    uint64_t reported = 0;            // answers nobody asked for, sent to clients with reports on
    uint64_t unanswered = 0;          // commands given up
    uint64_t not_stored = 0;          // commands the transceiver does not answer
    uint64_t dropped_rig_down = 0;    // commands dropped while the transceiver's line was down
    uint64_t dropped_this_outage = 0;         // of those, since the line last went down
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
  // What the router keeps of each stored command besides the ring's own fields.
  struct Entry {
    int64_t stored_at = 0;
    uint64_t sent = 0;       // place among everything sent to the transceiver
    bool answered = false;   // answered (or refused, or given up) while an older entry waits
    bool owed = false;       // a known read: the transceiver owes it an answer
    std::string key;         // what its answer starts with; empty when nothing can answer it
  };
  // A read given up after it went to the transceiver: its answer may still come, and must not
  // reach a newer read with the same key.
  struct Ghost {
    std::string key;
    uint64_t sent = 0;
    int64_t until = 0;
    uint8_t client = 0;
    bool passed = false;  // passed over by a later answer, not given up by the router
  };
  struct Match {
    bool found = false;
    bool ghost = false;
    size_t index = 0;  // ring slot or ghost index
    uint64_t sent = 0;
  };

  struct Held {
    std::deque<std::string> answers;  // the first one may be partly sent
    size_t sent = 0;                  // bytes of the first one already on the line
    int64_t refused_at = 0;           // when the line last took less than offered
  };

  bool Tracing(uint8_t level) const { return trace_.tracing(level); }
  void Trace(uint8_t level, const std::string& text) { trace_.write(level, text); }
  void TraceRepeated(const char* kind, size_t client, RouterTrace::Text text);
  std::string PortName(size_t client) const;
  // Sends the command to the transceiver and remembers it; false when it did not go out.
  bool Forward(uint8_t client, const std::string& command);
  void Store(uint8_t client, const std::string& command, bool owed);
  void MakeRoomFor(uint8_t client);
  void RouteAnswer(const std::string& answer, const std::string& left);
  void DeliverToEntry(uint32_t slot, const std::string& received, const std::string& left);
  // The oldest waiting entry or ghost that the answer answers.
  Match FindAnswered(const std::string& answer) const;
  void Refusal();
  // Gives a refusal to the entry at the slot: its client gets "?;" and it waits no more.
  void Refuse(uint32_t slot);
  // Everything sent before `sent` has been dealt with by the transceiver: waiting entries
  // before it were skipped (or refused, while refusals are owed), silent commands are done.
  void Pass(uint64_t sent);
  void MakeGhost(uint32_t slot, int64_t now, bool passed = false);
  void DropOldestGhost();
  void AdvanceReadPointer();
  void ExpireOld(int64_t now);
  bool ReportsLikely(int64_t now) const;
  // The commands sent from the window's start up to the one at `sent` (not included).
  size_t WindowItemsBefore(uint64_t sent) const;
  // The transceiver has dealt with every command sent before `next`: refusals not placed
  // were no one's, and a new window starts there.
  void CloseWindow(uint64_t next, const char* why);
  // A command the client's access does not allow, or a key-down while another client holds
  // the transmitter: refused with "?;" like the transceiver would; true when it was.
  bool RefuseByAccess(uint8_t client, const std::string& command);
  // Notes who keys and unkeys the transmitter.
  void FollowTransmitter(uint8_t client, const std::string& command);
  // Unkeys the transmitter itself: sends "TX0;".
  void Unkey(const std::string& why);
  void CheckTransmitLimit();
  // Commands the router answers itself instead of the transceiver; false for all others.
  bool AnswerLocally(uint8_t client, const std::string& command);
  // Sends the client an answer of the router's own, after the answers it still waits for.
  void LocalAnswer(uint8_t client, const std::string& answer);
  void ServeLocalAnswers();
  // Tells the transceiver the highest auto-information setting its clients asked for.
  void UpdateRigAutoInformation();
  // An answer nobody asked for: a report for the clients that want reports.
  bool Report(const std::string& received);
  void Deliver(size_t client, const std::string& answer);
  // Offers what the client's line holds back; false when the line is still full.
  bool FlushHeld(size_t client);
  void DropHeld(size_t client, const std::string& why);
  // An answer to a command of a client that has gone: it ends the command's wait, no more.
  void DropForRemovedClient(uint32_t slot, const std::string& answer);
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
  Entry entries_[kQueueSlots];
  std::deque<Ghost> ghosts_;
  // Sets and actions of the window (their place, and when they were sent): a refusal may be
  // theirs.
  std::deque<std::pair<uint64_t, int64_t>> silent_;
  // Everything sent before this place has been dealt with by the transceiver.
  uint64_t resolved_ = 0;
  // The window: the commands from `resolved_` on, not yet known to be dealt with. Refusals
  // received in it, those given to reads, and entries answered in it out of order.
  size_t refusals_ = 0;
  size_t refusals_given_ = 0;
  size_t answered_in_window_ = 0;
  // When the transceiver last sent an answer nobody asked for: it may be reporting on its own.
  int64_t reports_seen_at_ = INT64_MIN / 2;
  // Place of the next command sent to the transceiver (monotonic, never wraps).
  uint64_t next_seq_ = 0;
  uint64_t seq_at_last_tick_ = 0;
  // Place of the next command when the transceiver's last answer (of any kind) came.
  uint64_t seq_at_last_answer_ = 0;
  uint64_t answers_at_last_tick_ = 0;
  // Resets that brought no answer back wait longer each time.
  uint64_t answers_at_last_reset_ = UINT64_MAX;
  int64_t reset_backoff_ms_ = 0;
  int64_t last_reset_at_ = INT64_MIN / 2;
  std::vector<Held> held_;
  std::vector<char> ai_;  // per client
  // Per client: answers of the router's own, each after the command sent before it.
  std::vector<std::deque<std::pair<uint64_t, std::string>>> local_;
  size_t local_waiting_ = 0;
  int tx_owner_ = -1;
  int64_t tx_since_ = 0;
  int64_t tx_limit_ms_ = 0;
  std::function<void(const std::string&)> notice_;
  // What the transceiver was last told ('\0': nothing yet, its setting is left alone).
  char rig_ai_ = '\0';
  std::vector<bool> in_use_;  // per client number
  Counters counters_;
};

}  // namespace corvane
