// A fresh folder below the build tree, removed with everything in it by the
// destructor.
#ifndef ORVANTA_TESTS_SUPPORT_TEMPDIR_H
#define ORVANTA_TESTS_SUPPORT_TEMPDIR_H

#include "FileBytes.h"

#include <string>

namespace orvanta::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !location.empty(); }
    const std::string& path() const { return location; }
    // path()/name
    std::string file(const std::string& name) const { return location + "/" + name; }

private:
    std::string location;
};

} // namespace orvanta::test

#endif
