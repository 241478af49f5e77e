#include "app/net/tcp_address.h"

#include <cctype>

namespace corvane {
namespace {

constexpr const char kPrefix[] = "tcp:";
constexpr size_t kPrefixSize = sizeof kPrefix - 1;

[[noreturn]] void Bad(const std::string& value, const std::string& why) {
  throw std::invalid_argument("\"" + value + "\" is no TCP line (tcp:ADDRESS:PORT): " + why);
}

}  // namespace

bool IsTcpLineName(const std::string& value) {
  if (value.size() < kPrefixSize) return false;
  for (size_t i = 0; i < kPrefixSize; ++i) {
    if (std::tolower(static_cast<unsigned char>(value[i])) != kPrefix[i]) return false;
  }
  return true;
}

TcpAddress ParseTcpAddress(const std::string& value) {
  if (!IsTcpLineName(value)) Bad(value, "it does not start with tcp:");
  const std::string rest = value.substr(kPrefixSize);
  TcpAddress address;
  size_t port_colon;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) Bad(value, "the IPv6 address has no closing \"]\"");
    address.host = rest.substr(1, close - 1);
    if (address.host.empty()) Bad(value, "the address is empty");
    if (close + 1 >= rest.size() || rest[close + 1] != ':') Bad(value, "no port after the address");
    port_colon = close + 1;
  } else {
    port_colon = rest.rfind(':');
    if (port_colon == std::string::npos) Bad(value, "no port after the address");
    address.host = rest.substr(0, port_colon);
    if (address.host.find(':') != std::string::npos) {
      Bad(value, "an IPv6 address goes in brackets, as in tcp:[::1]:4532");
    }
    if (address.host.empty()) Bad(value, "the address is empty (\"*\" listens on every address)");
    if (address.host == "*") address.host.clear();
  }
  const std::string port = rest.substr(port_colon + 1);
  if (port.empty() || port.size() > 5) Bad(value, "the port is not a number from 1 to 65535");
  unsigned number = 0;
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      Bad(value, "the port is not a number from 1 to 65535");
    }
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number == 0 || number > 65535) Bad(value, "the port is not a number from 1 to 65535");
  address.port = static_cast<uint16_t>(number);
  return address;
}

}  // namespace corvane
