// What each client may ask of the shared transceiver, and the one transmitter: who keyed it,
// unkeying it when that client goes away or keeps it too long.
#include <algorithm>
#include <cctype>
#include <exception>

#include "app/router/router.h"

namespace corvane {

std::optional<Access> AccessFromText(const std::string& text) {
  for (Access access : {Access::Full, Access::NoTx, Access::Read}) {
    const std::string name = AccessText(access);
    if (text.size() == name.size() &&
        std::equal(text.begin(), text.end(), name.begin(),
                   [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
      return access;
  }
  return std::nullopt;
}

const char* AccessText(Access access) {
  switch (access) {
    case Access::NoTx:
      return "NOTX";
    case Access::Read:
      return "READ";
    default:
      return "FULL";
  }
}

bool Router::RefuseByAccess(uint8_t client, const std::string& command) {
  const Access access = clients_[client].access;
  const bool keys = cat::KeysTransmitter(command);
  const char* why = nullptr;
  if (access == Access::Read) {
    // The client's own auto-information setting touches nothing but the bridge.
    const bool own_setting = command.compare(0, 2, "AI") == 0 && command.size() <= 4;
    if (cat::Classify(command) != cat::CommandKind::Read && !own_setting) why = "access READ";
  } else if (access == Access::NoTx && keys) {
    why = "access NOTX";
  } else if (keys && tx_owner_ >= 0 && tx_owner_ != client) {
    why = "the transmitter is keyed by another port";
  }
  if (!why) return false;
  Trace(1, " <ProcessBuffer> *WARNING* " + PortName(client) + " command (" + command +
               ") refused, " + why);
  LocalAnswer(client, "?;");
  return true;
}

void Router::FollowTransmitter(uint8_t client, const std::string& command) {
  if (cat::KeysTransmitter(command)) {
    if (tx_owner_ != client) {
      tx_owner_ = client;
      tx_since_ = clock_();
      Trace(1, " <ProcessBuffer> Transmitter keyed by " + PortName(client) + " (" + command + ")");
    }
  } else if (cat::UnkeysTransmitter(command) && tx_owner_ >= 0) {
    Trace(1, " <ProcessBuffer> Transmitter unkeyed by " + PortName(client) + " (" + command + ")");
    tx_owner_ = -1;
  }
}

void Router::Unkey(const std::string& why) {
  Trace(1, "<ProcessBuffer> *WARNING* " + PortName(static_cast<size_t>(tx_owner_)) +
               " keyed the transmitter and " + why + ": (TX0;) sent");
  tx_owner_ = -1;
  if (!rig_up_) return;
  try {
    lines_.WriteToRig("TX0;");
  } catch (const std::exception& e) {
    Trace(1, " <ProcessBuffer> *ERROR* command (TX0;) not sent: " + std::string(e.what()));
    SetRigLineUp(false);
    return;
  }
  silent_.emplace_back(next_seq_++, clock_());
}

void Router::ReleaseTransmitter(size_t client, const std::string& why) {
  if (tx_owner_ >= 0 && static_cast<size_t>(tx_owner_) == client) Unkey(why);
}

void Router::CheckTransmitLimit() {
  if (tx_owner_ < 0 || tx_limit_ms_ <= 0 || clock_() - tx_since_ < tx_limit_ms_) return;
  const std::string port = PortName(static_cast<size_t>(tx_owner_));
  Unkey("kept it past the time limit of (" + std::to_string(tx_limit_ms_ / 1000) + ") s");
  if (notice_) {
    notice_("The transmitter keyed by " + port + " was unkeyed after " +
            std::to_string(tx_limit_ms_ / 1000) + " s (TXLIMIT).");
  }
}

}  // namespace corvane
