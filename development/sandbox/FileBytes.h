// Whole files as bytes.
#ifndef ORVANTA_SANDBOX_FILEBYTES_H
#define ORVANTA_SANDBOX_FILEBYTES_H

#include <optional>
#include <string>

namespace orvanta::test {

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::string& path);
// Creates or replaces a file; false on failure.
bool writeFileBytes(const std::string& path, const std::string& bytes);

} // namespace orvanta::test

#endif
