#include "tools/bench_bridge/chaos_client.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace corvane {
namespace {

constexpr std::size_t kWrongExamples = 8;

}  // namespace

ChaosClient::ChaosClient(std::string name, std::string path, std::vector<PollRead> polls,
                         std::set<std::string> foreign, std::chrono::milliseconds timeout)
    : name_(std::move(name)),
      path_(std::move(path)),
      polls_(std::move(polls)),
      foreign_(std::move(foreign)),
      timeout_(timeout) {}

bool ChaosClient::Open() {
  if (open()) return true;
  try {
    line_.emplace(ClientLine::OpenPath(path_));
  } catch (const std::system_error&) {
    return false;
  }
  cat_.emplace(line_->fd());
  return true;
}

void ChaosClient::Close() {
  if (in_flight_) {
    in_flight_ = false;
    ++counts_.abandoned;
  }
  cat_.reset();
  line_.reset();
  backlog_.clear();
}

void ChaosClient::Pause() {
  paused_ = true;
  if (in_flight_) {
    in_flight_ = false;
    ++counts_.abandoned;
  }
}

void ChaosClient::Write(std::string_view bytes) {
  backlog_ += bytes;
  WriteBacklog();
}

void ChaosClient::WriteBacklog() {
  if (!open() || backlog_.empty()) return;
  const ssize_t n = ::write(line_->fd(), backlog_.data(), backlog_.size());
  if (n > 0) backlog_.erase(0, static_cast<std::size_t>(n));
  if (n < 0 && errno != EAGAIN && errno != EINTR) ++counts_.line_errors;
}

void ChaosClient::NoteWrong(const std::string& answer, double now_s) {
  if (wrong_examples_.size() >= kWrongExamples) return;
  char when[32];
  std::snprintf(when, sizeof when, "%.1f s: ", now_s);
  wrong_examples_.push_back(when + name_ + " got " + answer);
}

void ChaosClient::Sort(const std::string& answer, double now_s) {
  if (foreign_.count(answer) != 0) {
    ++counts_.misrouted;
    NoteWrong(answer, now_s);
    return;
  }
  const bool for_poll = in_flight_ && (answer == "?;" || answer == polls_[flying_].answer);
  if (for_poll) {
    ++(answer == "?;" ? counts_.refused : counts_.answered);
    in_flight_ = false;
    return;
  }
  bool own = answer == "?;";
  for (const PollRead& read : polls_) own = own || answer == read.answer;
  if (own) {
    ++counts_.extra;
  } else {
    ++counts_.unexpected;
    NoteWrong(answer, now_s);
  }
}

void ChaosClient::SendPoll() {
  flying_ = next_poll_;
  next_poll_ = (next_poll_ + 1) % polls_.size();
  try {
    cat_->Send(polls_[flying_].query);
  } catch (const std::system_error&) {
    ++counts_.line_errors;
    return;
  }
  ++counts_.sent;
  in_flight_ = true;
  due_ = BenchClock::now() + timeout_;
}

void ChaosClient::Drain(double now_s) {
  if (!open()) return;
  try {
    cat_->ReadWaiting();
  } catch (const std::system_error&) {
    ++counts_.line_errors;
  }
  while (auto answer = cat_->TakeAnswer()) Sort(*answer, now_s);
}

void ChaosClient::Step(double now_s) {
  if (!open()) return;
  WriteBacklog();
  if (reading_) Drain(now_s);
  if (in_flight_ && BenchClock::now() >= due_) {
    ++counts_.lost;
    in_flight_ = false;
  }
  if (!paused_ && !in_flight_ && backlog_.empty()) SendPoll();
}

std::string ChaosClient::Reads(int count) const {
  std::string reads;
  for (int i = 0; i < count; ++i) reads += polls_[i % polls_.size()].query;
  return reads;
}

std::string ChaosClient::SetsAndReads() const {
  std::string commands;
  // A read's answer is also the set that gives it: "FA14070000;", "MD02;".
  for (const PollRead& read : polls_) commands += read.answer + read.query;
  return commands;
}

}  // namespace corvane
