// The bridge's TCP client lines: port A or port B given as tcp:ADDRESS:PORT listens there,
// and every connection is a client of the router's with the port's options.
#include <stdexcept>

#include "app/corvane_form.h"
#include "rt/descriptor_watch.h"

namespace {

constexpr const char* kKeys[] = {"PORTA", "PORTB", "PORTO"};
constexpr const char* kLetters[] = {"A", "B"};

}  // namespace

bool TCorvaneForm::TcpListening(int index) const {
  // A port given another name in its settings dialog leaves its TCP line for the watchdog,
  // which opens the new one in its place.
  return index < 2 && tcp_[index] && tcp_[index]->Line().Listening() &&
         corvane::IsTcpLineName(index == 0 ? InPortA.Port() : InPortB.Port());
}

void TCorvaneForm::ListenAndShow(int index) {
  const PortView p = Ports(index);
  const std::string value = p.port.Port();
  const std::string named = std::string("TCP line \"") + value + "\" (" + kKeys[index] + "): ";
  if (index > 1) {
    throw std::runtime_error(named + "the transceiver's line is a serial line; tcp: lines are "
                                     "for clients (PORTA, PORTB)");
  }
  if (!TcpListening(index)) {
    try {
      if (!tcp_[index]) {
        tcp_[index] = std::make_unique<corvane::TcpClients>(
            kLetters[index], value, /*exchange_vfos=*/index == 1,
            static_cast<size_t>(max_clients_), CatRouter,
            corvane::TcpClients::Hooks{
                [this](uint8_t level) { return Tracing(level); },
                [this](uint8_t level, const std::string& text) { Trace(level, text); },
                [this] {
                  ShowQueueCaptions();
                  ArmWatchdog();
                },
                [this, index] {
                  ShowClientCount(index);
                  ShowTransmitter();  // a connection that keyed it and went has unkeyed it
                }});
        tcp_[index]->SetAccess(CatRouter.ClientAccess(static_cast<size_t>(index)));
      }
      tcp_[index]->Line().Listen(corvane::MainLoopWatcher());
    } catch (const std::exception& error) {
      throw std::runtime_error(named + error.what());
    }
    Trace(1, "<TcpLine> Port " + std::string(kLetters[index]) + " listening on " + value);
  }
  view_.SetLedOn(p.led, true);
  lost_[index] = false;
  ShowClientCount(index);
}

void TCorvaneForm::DropTcpLine(int index) {
  tcp_[index]->Line().Close();
  tcp_[index].reset();
  view_.SetLabelHint(Ports(index).label, "");
}

void TCorvaneForm::ShowClientCount(int index) {
  const size_t n = tcp_[index]->Line().Connections();
  view_.SetLabelHint(Ports(index).label,
                     std::to_string(n) + (n == 1 ? " client connected" : " clients connected"));
}

size_t TCorvaneForm::OfferToTcpClient(size_t client, const std::string& bytes) {
  for (auto& line : tcp_) {
    if (line && line->Owns(client)) return line->Offer(client, bytes);
  }
  throw std::logic_error("answer for client " + std::to_string(client) + ", which has no line");
}
