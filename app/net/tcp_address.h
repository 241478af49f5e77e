#pragma once
// A client line over TCP, named "tcp:ADDRESS:PORT": the program listens there and every
// connection is a client of its own. ADDRESS is an IPv4 address, an IPv6 address in
// brackets, a host name, or "*" for every address.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane {

struct TcpAddress {
  std::string host;  // without brackets; empty for every address ("*")
  uint16_t port = 0;
};

// Whether a port's value names a TCP line: "tcp:" in front, in any letter case.
bool IsTcpLineName(const std::string& value);

// The address in such a value; raises std::invalid_argument saying what is wrong with it.
TcpAddress ParseTcpAddress(const std::string& value);

}  // namespace corvane
