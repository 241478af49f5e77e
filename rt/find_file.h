#pragma once
// Linux names are case-sensitive while the program upper-cases configuration names.
#include <string>

namespace corvane {

// path itself when it exists; else an existing entry of the same directory whose name
// matches the last component without regard to ASCII case (the first in byte order when
// several do); else path unchanged, so a new file is created under the name as given.
std::string FindFileIgnoringCase(const std::string& path);

}  // namespace corvane
