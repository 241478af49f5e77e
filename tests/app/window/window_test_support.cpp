#include "tests/app/window/window_test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rt/main_thread.h"

namespace corvane::test {

bool WaitFor(const std::function<bool()>& condition, int ms) {
  return QTest::qWaitFor([&] { return condition(); }, ms);
}

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

ModalWatcher::~ModalWatcher() {
  timer_.stop();
}

void ModalWatcher::Poll() {
  QWidget* box = QApplication::activeModalWidget();
  if (box == nullptr || !box->isVisible() || box == last_) return;
  last_ = box;
  Seen seen;
  seen.title = box->windowTitle();
  if (auto* message = qobject_cast<QMessageBox*>(box)) seen.text = message->text();
  seen.openTopLevelBoxes = OpenMessageBoxes();
  seen_.push_back(seen);
  answer_(box);
}

void ClickButton(QWidget* box, QMessageBox::StandardButton which) {
  auto* message = qobject_cast<QMessageBox*>(box);
  if (message == nullptr || message->button(which) == nullptr) {
    if (box != nullptr) box->close();
    return;
  }
  message->button(which)->click();
}

int OpenMessageBoxes() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) ++count;
  }
  return count;
}

ScopedWorkDir::ScopedWorkDir() {
  char pattern[] = "/tmp/corvane-window-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  char* cwd = getcwd(nullptr, 0);
  previous_ = cwd != nullptr ? cwd : "/";
  std::free(cwd);
  if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

ScopedWorkDir::~ScopedWorkDir() {
  if (chdir(previous_.c_str()) != 0) return;
  std::string command = "rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0) return;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string IniText(const std::string& a, const std::string& b, const std::string& out) {
  return "[SETTINGS]\nPORTA=" + a + "\nPORTB=" + b + "\nPORTO=" + out + "\nTRACE=YES\n";
}

Pty::Pty() {
  char name[128] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  path_ = name;
  termios raw{};
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
  Close();
}

void Pty::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR && errno != EAGAIN) throw std::runtime_error("pty write failed");
    if (n > 0) done += static_cast<size_t>(n);
  }
}

std::string Pty::ReceiveUntil(const std::string& expected, int ms) {
  std::string received;
  auto arrived = [&] {
    char buffer[256];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0) {
      received.append(buffer, static_cast<size_t>(n));
    }
    return received.size() >= expected.size() &&
           received.compare(received.size() - expected.size(), expected.size(), expected) == 0;
  };
  // The bridge answers on this thread, so the loop must keep serving while we wait.
  WaitFor(arrived, ms);
  return received;
}

void Pty::Close() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = slave_ = -1;
}

}  // namespace corvane::test
