#pragma once
// Key paths of the registry object, shared by its files for each OS.
#include <string>

namespace corvane {

// Drops empty parts so "a\\b\" and "a\b" name the same key.
std::string Normalize(const std::string& path);

}  // namespace corvane
