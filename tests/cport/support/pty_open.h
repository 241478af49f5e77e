#pragma once
#include <string>

namespace corvane::test {

// openpty: returns 0 and both descriptors (close-on-exec) with the slave's path, or errno.
int OpenPty(int& master, int& slave, std::string& slavePath);

}  // namespace corvane::test
