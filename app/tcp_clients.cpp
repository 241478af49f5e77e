#include "app/tcp_clients.h"

namespace corvane {

TcpClients::TcpClients(std::string letter, const std::string& value, bool exchange_vfos,
                       size_t max_connections, Router& router, Hooks hooks)
    : letter_(std::move(letter)),
      exchange_vfos_(exchange_vfos),
      router_(router),
      hooks_(std::move(hooks)),
      line_(value, max_connections,
            {
                [this](int conn, const std::string& peer) {
                  const size_t client =
                      router_.AddClient({RouterName(conn), exchange_vfos_, access_});
                  clients_[conn] = client;
                  conns_[client] = conn;
                  hooks_.trace(1, "<TcpLine> " + Name(conn) + " connected from " + peer + ", (" +
                                      std::to_string(clients_.size()) + ") clients");
                  hooks_.count_changed();
                },
                [this](int conn, const std::string& bytes) {
                  if (hooks_.tracing(2)) {
                    hooks_.trace(2, "------");
                    hooks_.trace(2, "<TcpLineRx> (" + Name(conn) + ") CAT Command Received (" +
                                        bytes + ") Len(" + std::to_string(bytes.size()) + ")");
                  }
                  router_.ProcessBuffer(static_cast<uint8_t>(clients_.at(conn)), bytes);
                  hooks_.routed();
                },
                [this](int conn, const std::string& why) {
                  const size_t client = clients_.at(conn);
                  router_.RemoveClient(client);
                  clients_.erase(conn);
                  conns_.erase(client);
                  hooks_.trace(1, "<TcpLine> " + Name(conn) + " disconnected (" + why + "), (" +
                                      std::to_string(clients_.size()) + ") clients");
                  hooks_.count_changed();
                },
                [this](const std::string& peer) {
                  hooks_.trace(1, "<TcpLine> *WARNING* Port " + letter_ +
                                      " refused a connection from " + peer + ", (" +
                                      std::to_string(clients_.size()) +
                                      ") clients connected already");
                },
                [this](int) { router_.OfferHeldAnswers(); },
            }) {}

size_t TcpClients::Offer(size_t client, const std::string& bytes) {
  return line_.Offer(conns_.at(client), bytes);
}

}  // namespace corvane
