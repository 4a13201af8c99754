// A fresh folder below the build tree, removed with everything in it by the
// destructor.
#pragma once

#include <optional>
#include <string>

namespace orvanta::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // path()/name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::string& path);
// Creates or replaces a file; false on failure.
bool writeFileBytes(const std::string& path, const std::string& bytes);

}  // namespace orvanta::test
