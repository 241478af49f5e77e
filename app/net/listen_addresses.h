#pragma once
// Where a TCP line listens: the addresses its ADDRESS stands for, and the first of them
// that takes the listener.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <exception>
#include <memory>

#include "app/net/tcp_address.h"
#include "app/net/tcp_line.h"

namespace corvane {

using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;

// The addresses to listen on; for every address ("*"), IPv6 with IPv4 beside it where the
// machine has IPv6, IPv4 alone otherwise. Returns getaddrinfo's code; found holds the
// list when that is 0.
int ResolveListenAddresses(const TcpAddress& address, AddressList& found);

// Listens on the first address of list that takes it, through listen, which raises
// TcpLineError for one that does not; when none does, the first failure is raised.
template <typename Listen>
auto ListenOnFirst(const addrinfo* list, Listen listen) -> decltype(listen(*list)) {
  std::exception_ptr failure;
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    try {
      return listen(*a);
    } catch (const TcpLineError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (!failure) throw TcpLineError("no address to listen on", 0);
  std::rethrow_exception(failure);
}

}  // namespace corvane
