#pragma once
// Linux names are case-sensitive while the program upper-cases configuration names.
#include <string>

namespace corvane {

// path itself when it exists; else the existing path whose components match path's
// without regard to ASCII case (where several entries match, the first in byte order);
// else path unchanged, so a new file is created under the name as given.
std::string FindFileIgnoringCase(const std::string& path);

}  // namespace corvane
