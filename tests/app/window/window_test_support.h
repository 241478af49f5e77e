#pragma once
// What the window tests share: answering modal boxes from inside their event loop, a
// working directory of its own for each test, and pseudo-terminals for the ports.
#include <QMessageBox>
#include <QString>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace corvane::test {

// Long enough never to be reached in a passing run.
constexpr int kDeadlineMs = 10000;

// Waits (serving the event loop) until the condition holds or the deadline passes.
bool WaitFor(const std::function<bool()>& condition, int ms = kDeadlineMs);

// Watches for modal boxes while the code under test runs its own loop. Each box that
// appears is handed to `answer`, which must close it; the boxes seen are recorded.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(QWidget*)> answer);
  ~ModalWatcher();

  struct Seen {
    QString title;
    QString text;
    int openTopLevelBoxes = 0;  // message boxes open at that moment, this one included
  };
  const std::vector<Seen>& seen() const { return seen_; }

 private:
  void Poll();

  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  std::vector<Seen> seen_;
  // Cleared when the box is destroyed, so a new box at the same address counts as new.
  QPointer<QWidget> last_;
};

// Clicks the message box's button for `which`.
void ClickButton(QWidget* box, QMessageBox::StandardButton which);
int OpenMessageBoxes();

// A fresh temporary directory that is the working directory while this object lives.
class ScopedWorkDir {
 public:
  ScopedWorkDir();
  ~ScopedWorkDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// A configuration file naming the three ports.
std::string IniText(const std::string& a, const std::string& b, const std::string& out);

// A pseudo-terminal: the bridge opens the slave path, the test talks on the master. The
// test keeps a slave descriptor open so the line survives the bridge's close and reopen.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  void Send(const std::string& bytes);
  // Bytes received on the master until they end with `expected` or the deadline passes.
  std::string ReceiveUntil(const std::string& expected, int ms = kDeadlineMs);
  // Closes both sides: the device disappears.
  void Close();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace corvane::test
