// The bridge under faults: the real corvane --headless between two clients on its pty: lines
// and the simulated transceiver, with lines pulled and plugged, the transceiver silent or
// refusing, floods, bursts over the ring and a client that stops reading, for a given time.
#include <poll.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/chaos_client.h"
#include "tools/bench_bridge/chaos_rig.h"
#include "tools/bench_bridge/process_usage.h"
#include "tools/bench_bridge/stop_request.h"
#include "tools/bench_bridge/trace_watch.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kSetupTimeout{15'000};
// After a client's own fault the answers it provoked may still come (the bridge gives up a
// read after 1 s); its polls start again after that.
constexpr std::chrono::milliseconds kClientSettle{1500};
// A stuck queue found up to two watchdog ticks after the transceiver came back is its absence's.
constexpr std::chrono::milliseconds kRigGrace{1000};
constexpr std::chrono::milliseconds kWriteEvery{10};
constexpr std::chrono::milliseconds kLookEvery{200};
constexpr int kStepMs = 5;

// VFO A, VFO B and both receivers' modes differ, so every answer says which client asked.
// Port B sees VFO A and B exchanged: its "FA" is the transceiver's VFO B.
const RigPreset kPreset = {
    "FA14070000;FB07030000;MD02;MD13;",
    {{"FA;", "FA14070000;"}, {"FB;", "FB07030000;"}, {"MD0;", "MD02;"}, {"MD1;", "MD13;"}}};
const std::vector<PollRead> kPollsA = {{"FA;", "FA14070000;"}, {"MD0;", "MD02;"}};
const std::vector<PollRead> kPollsB = {{"FA;", "FA07030000;"}, {"MD1;", "MD13;"}};

std::set<std::string> Answers(const std::vector<PollRead>& polls) {
  std::set<std::string> answers;
  for (const PollRead& read : polls) answers.insert(read.answer);
  return answers;
}

// Bytes that are no command: no letters the transceiver knows, no ";" until the end.
std::string Noise(int bytes) {
  std::string noise;
  for (int i = 0; i < bytes; ++i) noise += static_cast<char>(0x80 + (i * 37) % 127);
  return noise + ";";
}

struct Underway {
  FaultEvent event;
  Deadline ends;
  Deadline settled;
  bool ended = false;
  Deadline next_write{};
};

class ChaosRun {
 public:
  ChaosRun(const BenchOptions& o, ScratchDir& dir, std::uint64_t seed)
      : o_(o),
        dir_(dir),
        picker_(seed, o.faults, 2),
        events_(dir.File("chaos-events.txt")),
        watch_(dir.File("Corvane.Log")) {}

  bool Run();

 private:
  void WriteIni(const std::string& rig_link);
  void SetUp();
  void Begin(const FaultEvent& event, Deadline now);
  void Advance(Underway& fault, Deadline now);
  bool RigAnswering(Deadline now) const;
  double Seconds() const { return SecondsSince(start_); }
  void Log(const std::string& what);
  bool Report(const ProcessUsage& first, const ProcessUsage& last, std::uintmax_t trace_first);

  const BenchOptions& o_;
  ScratchDir& dir_;
  FaultPicker picker_;
  std::ofstream events_;
  TraceWatch watch_;
  std::unique_ptr<ChaosRig> rig_;
  std::unique_ptr<ChildProgram> corvane_;
  std::vector<std::unique_ptr<ChaosClient>> clients_;
  std::array<std::optional<Underway>, 3> slots_;  // A, B, the transceiver
  Deadline rig_back_{};
  bool polling_ = true;
  std::map<std::string, int> faults_begun_;
  BenchClock::time_point start_ = BenchClock::now();
  double run_seconds_ = 0;
  std::string aborted_;
};

void ChaosRun::Log(const std::string& what) {
  char when[32];
  std::snprintf(when, sizeof when, "%8.2f s ", Seconds());
  events_ << when << what << "\n" << std::flush;
}

void ChaosRun::WriteIni(const std::string& rig_link) {
  std::ofstream ini(dir_.File("Corvane.INI"), std::ios::binary);
  ini << "[SETTINGS]\r\nPORTA=pty:" << dir_.File("a") << "\r\nPORTB=pty:" << dir_.File("b")
      << "\r\nPORTO=" << rig_link << "\r\nTRACE=YES\r\n";
  if (!ini) throw std::runtime_error("cannot write " + dir_.File("Corvane.INI"));
}

void ChaosRun::SetUp() {
  std::vector<std::string> rig_options;
  if (o_.refuse_every > 0) rig_options = {"--refuse", std::to_string(o_.refuse_every)};
  rig_ = std::make_unique<ChaosRig>(o_.programs, dir_, dir_.File("rig"), rig_options, kPreset);
  WriteIni(rig_->link());
  corvane_ = std::make_unique<ChildProgram>(
      ChildLaunch{{o_.programs.corvane, "--headless"}, dir_.path(), dir_.File("corvane.out")});
  const auto timeout = std::chrono::milliseconds(o_.timeout_ms);
  clients_.push_back(
      std::make_unique<ChaosClient>("A", dir_.File("a"), kPollsA, Answers(kPollsB), timeout));
  clients_.push_back(
      std::make_unique<ChaosClient>("B", dir_.File("b"), kPollsB, Answers(kPollsA), timeout));
  const Deadline deadline = After(kSetupTimeout);
  for (auto& client : clients_) {
    while (!client->Open()) {
      if (BenchClock::now() >= deadline || !corvane_->Running()) {
        throw std::runtime_error("client line " + client->name() + " did not appear");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  // Each client's first answer: the bridge is up and routes.
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    const std::string& expected = (i == 0 ? kPollsA : kPollsB)[0].answer;
    const std::optional<std::string> answer = AskUntilAnswered(clients_[i]->cat(), "FA;", deadline);
    if (answer != expected) {
      throw std::runtime_error("client " + clients_[i]->name() + " got " +
                               answer.value_or("nothing") + " at the start, not " + expected);
    }
  }
}

bool ChaosRun::RigAnswering(Deadline now) const {
  return !slots_[2] && now >= rig_back_;
}

void ChaosRun::Begin(const FaultEvent& e, Deadline now) {
  const bool on_rig = e.target == kRigTarget;
  ChaosClient* client = on_rig ? nullptr : clients_[e.target].get();
  Underway fault{e, now + e.length, {}, false, now};
  std::string what = FaultName(e.fault);
  what += on_rig ? "" : " on " + client->name();
  switch (e.fault) {
    case Fault::kReopenClient:
      client->Pause();
      client->Close();
      break;
    case Fault::kPullRig:
      rig_->Pull();
      break;
    case Fault::kSilenceRig:
      rig_->Freeze();
      break;
    case Fault::kBurst:
      client->Pause();
      client->Write(client->Reads(e.amount));
      what += ", " + std::to_string(e.amount) + " reads in one write";
      break;
    case Fault::kFlood:
      client->Pause();
      break;
    case Fault::kNoise:
      client->Pause();
      client->Write(Noise(e.amount));
      what += ", " + std::to_string(e.amount) + " bytes";
      break;
    case Fault::kHungClient:
      client->Pause();
      client->SetReading(false);
      break;
  }
  if (e.length.count() > 0) what += " for " + std::to_string(e.length.count()) + " ms";
  Log(what);
  ++faults_begun_[FaultName(e.fault)];
  slots_[on_rig ? 2 : e.target] = fault;
}

void ChaosRun::Advance(Underway& fault, Deadline now) {
  const FaultEvent& e = fault.event;
  ChaosClient* client = e.target == kRigTarget ? nullptr : clients_[e.target].get();
  if (!fault.ended && now < fault.ends) {
    if (now < fault.next_write) return;
    fault.next_write = now + kWriteEvery;
    // A flood writes as fast as the line takes it; a hung client keeps asking, as polling
    // software whose reader has stalled does, fast enough to fill its line.
    if (client == nullptr || client->backlog() > 0) return;
    if (e.fault == Fault::kFlood) client->Write(client->SetsAndReads() + client->SetsAndReads());
    if (e.fault == Fault::kHungClient) client->Write(client->Reads(10));
    return;
  }
  if (!fault.ended) {
    switch (e.fault) {
      case Fault::kReopenClient:
        if (!client->Open()) {
          fault.ends = now + std::chrono::milliseconds(100);
          return;
        }
        Log("  " + client->name() + " open again");
        break;
      case Fault::kPullRig:
        rig_->Plug();
        Log("  transceiver plugged again");
        break;
      case Fault::kSilenceRig:
        rig_->Thaw();
        break;
      case Fault::kHungClient:
        client->SetReading(true);
        break;
      default:
        break;
    }
    fault.ended = true;
    if (client) {
      fault.settled = now + kClientSettle;
    } else {
      fault.settled = now;
      rig_back_ = now + kRigGrace;
    }
  }
  if (now < fault.settled) return;
  if (client && polling_) client->Resume();
  slots_[client ? e.target : 2].reset();
}

bool ChaosRun::Run() {
  SetUp();
  watch_.Look(true, 0);
  const std::uintmax_t trace_first = watch_.Size();
  const ProcessUsage first = ReadProcessUsage(corvane_->pid());
  start_ = BenchClock::now();
  const Deadline end = start_ + std::chrono::duration_cast<BenchClock::duration>(
                                    std::chrono::duration<double>(o_.seconds));
  Deadline next_fault = start_ + picker_.Gap();
  Deadline next_look = start_ + kLookEvery;
  double next_progress = 10;
  Deadline finish = Deadline::max();
  for (;;) {
    const Deadline now = BenchClock::now();
    if (polling_ && (now >= end || StopRequested())) {
      // Faults under way are ended; the polls in flight may still be answered.
      polling_ = false;
      for (auto& slot : slots_) {
        if (!slot) continue;
        slot->ends = now;
        Advance(*slot, now);
      }
      for (auto& client : clients_) client->StopPolling();
      finish = now + std::chrono::milliseconds(o_.timeout_ms) + kClientSettle;
      if (StopRequested()) aborted_ = "stop signal";
    }
    if (polling_ && now >= next_fault) {
      const std::vector<bool> busy = {slots_[0].has_value(), slots_[1].has_value()};
      if (auto event = picker_.Next(busy, slots_[2].has_value())) Begin(*event, now);
      next_fault = now + picker_.Gap();
    }
    for (auto& slot : slots_)
      if (slot) Advance(*slot, now);

    std::vector<pollfd> fds;
    for (auto& client : clients_)
      if (client->ReadFd() >= 0) fds.push_back({client->ReadFd(), POLLIN, 0});
    ::poll(fds.data(), fds.size(), kStepMs);
    for (auto& client : clients_) client->Step(Seconds());

    if (now >= next_look) {
      next_look = now + kLookEvery;
      watch_.Look(RigAnswering(now), Seconds());
      if (!corvane_->Running()) {
        aborted_ = "corvane ended (" + DescribeStatus(*corvane_->status()) + ")";
        break;
      }
      if (Seconds() >= next_progress) {
        next_progress += 10;
        long long misrouted = 0;
        for (auto& client : clients_) misrouted += client->counts().misrouted;
        std::fprintf(stderr, "  ... %.0f s: %lld misrouted, RSS %ld KiB, trace %ju bytes\n",
                     Seconds(), misrouted, ReadProcessUsage(corvane_->pid()).rss_kib,
                     watch_.Size());
      }
    }
    if (!polling_) {
      bool any_in_flight = false;
      for (auto& client : clients_) any_in_flight = any_in_flight || client->in_flight();
      if (!any_in_flight || now >= finish) break;
    }
  }
  run_seconds_ = Seconds();
  watch_.Look(RigAnswering(BenchClock::now()), run_seconds_);
  for (auto& client : clients_) client->Drain(run_seconds_);
  ProcessUsage last;
  if (corvane_->Running()) last = ReadProcessUsage(corvane_->pid());
  return Report(first, last, trace_first);
}

bool ChaosRun::Report(const ProcessUsage& first, const ProcessUsage& last,
                      std::uintmax_t trace_first) {
  std::printf("  faults:");
  for (const auto& [name, count] : faults_begun_) std::printf(" %s %d,", name.c_str(), count);
  std::printf(" (as they came: %s)\n", dir_.File("chaos-events.txt").c_str());
  ChaosCounts total;
  for (auto& client : clients_) {
    const ChaosCounts& c = client->counts();
    std::printf(
        "  client %s polls: %lld sent, %lld answered, %lld refused (?;), %lld lost, "
        "%lld abandoned to its own faults\n",
        client->name().c_str(), c.sent, c.answered, c.refused, c.lost, c.abandoned);
    total.sent += c.sent;
    total.answered += c.answered;
    total.refused += c.refused;
    total.lost += c.lost;
    total.extra += c.extra;
    total.misrouted += c.misrouted;
    total.unexpected += c.unexpected;
    total.line_errors += c.line_errors;
  }
  std::printf("  queries answered / refused / lost: %lld / %lld / %lld of %lld\n", total.answered,
              total.refused, total.lost, total.sent);
  std::printf("  answers to the wrong client: %lld\n", total.misrouted);
  std::printf("  answers neither client asks for: %lld\n", total.unexpected);
  for (auto& client : clients_)
    for (const std::string& wrong : client->wrong_examples())
      std::printf("    %s\n", wrong.c_str());
  std::printf("  own answers or refusals no poll waited for (bursts, floods, late): %lld\n",
              total.extra);
  if (total.line_errors > 0) std::printf("  client line errors: %lld\n", total.line_errors);
  std::printf(
      "  full resets (stuck-queue lines in the trace): %lld while the transceiver "
      "answered, %lld while it was stopped or gone\n",
      watch_.resets_while_answering(), watch_.resets_while_down());
  for (const std::string& line : watch_.reset_examples()) std::printf("    %s\n", line.c_str());
  std::printf("  corvane RSS: %ld KiB at the start, %ld KiB at the end\n", first.rss_kib,
              last.rss_kib);
  if (last.rss_kib > 0) {
    std::printf("  corvane CPU: %s\n",
                DescribeCpu(last.cpu_seconds - first.cpu_seconds, run_seconds_).c_str());
  }
  const std::uintmax_t trace_last = watch_.Size();
  const double minutes = run_seconds_ / 60;
  std::printf("  trace: %ju bytes at the start, %ju at the end, %lld lines, %.0f bytes/min\n",
              trace_first, trace_last, watch_.lines(),
              static_cast<double>(trace_last - trace_first) / minutes);
  bool ok = true;
  if (!aborted_.empty()) {
    std::printf("  ended early: %s\n", aborted_.c_str());
    ok = false;
  }
  // A reset while the transceiver answered is reported, not failed: on a loaded machine a
  // transceiver kept off the CPU for a whole watchdog tick looks the same from the bridge.
  if (total.misrouted > 0) ok = false;
  if (watch_.resets_while_answering() > 0) {
    std::printf("  full resets while the transceiver answered: should be none (files kept in %s)\n",
                dir_.path().c_str());
    dir_.Keep();
  }
  std::printf("  corvane %s\n", corvane_->Running() ? "stopped" : "had ended");
  if (corvane_->Running()) {
    const int status = corvane_->Stop(After(std::chrono::milliseconds(5000)));
    std::printf("  corvane %s\n", DescribeStatus(status).c_str());
    if (status != 0) ok = false;
  }
  return ok;
}

}  // namespace

int RunChaos(const BenchOptions& o) {
  ScratchDir dir;
  if (o.keep_dir) dir.Keep();
  const std::uint64_t seed =
      o.seed >= 0 ? static_cast<std::uint64_t>(o.seed) : std::random_device{}();
  std::printf("corvane-bench-bridge chaos: %.0f s, seed %llu, the transceiver refuses ", o.seconds,
              static_cast<unsigned long long>(seed));
  if (o.refuse_every > 0) {
    std::printf("1 read in %d", o.refuse_every);
  } else {
    std::printf("nothing");
  }
  std::printf(", answer timeout %d ms, scratch %s\n  faults drawn from:", o.timeout_ms,
              dir.path().c_str());
  for (Fault fault : o.faults) std::printf(" %s", FaultName(fault));
  std::printf("\n");
  std::fflush(stdout);
  bool ok = false;
  try {
    ChaosRun run(o, dir, seed);
    ok = run.Run();
  } catch (const std::exception& e) {
    std::printf("  failed: %s\n", e.what());
  }
  return FinishRun(ok, dir);
}

}  // namespace corvane
