#include "app/net/listen_addresses.h"

#include <string>

namespace corvane {

int ResolveListenAddresses(const TcpAddress& address, AddressList& found) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  const std::string port = std::to_string(address.port);
  const char* host = address.host.empty() ? "::" : address.host.c_str();
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host, port.c_str(), &hints, &list);
  if (rc != 0 && address.host.empty()) rc = ::getaddrinfo("0.0.0.0", port.c_str(), &hints, &list);
  if (rc == 0) found.reset(list);
  return rc;
}

}  // namespace corvane
