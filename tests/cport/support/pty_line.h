#pragma once
// A real pseudo-terminal whose line settings a test reads back: the test plays the far end
// on the master side, the port under test opens the slave by its path. The test keeps a
// slave descriptor of its own so the pair survives the port closing and reopening.
#include <cstdint>
#include <string>

namespace corvane::test {

// The line settings as the far end sees them, read from the master side.
struct LineState {
  uint32_t ispeed = 0;
  uint32_t ospeed = 0;
  int dataBits = 0;
  bool parityEnabled = false;
  bool parityOdd = false;
  bool markSpace = false;
  bool twoStopBits = false;
  bool rtsCts = false;
  bool xonOut = false;       // IXON
  bool xoffIn = false;       // IXOFF
  bool parityCheck = false;  // INPCK
  bool raw = false;          // no ICANON, ECHO, ISIG, OPOST
  unsigned char startChar = 0;
  unsigned char stopChar = 0;
};

class PtyLine {
 public:
  PtyLine();  // fails the current test when no pseudo-terminal can be had
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  LineState Line() const;
  // Sets the slave's rate from the far side, bypassing the port.
  void SetSpeed(uint32_t bps);
  // The far end goes away: the master closes and the slave hangs up.
  void CloseMaster();
  void CloseSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace corvane::test
