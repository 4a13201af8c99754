#include "TempDir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace orvanta::test {

namespace {

int removeEntry(const char* path, const struct stat*, int, FTW*)
{
    std::remove(path);
    return 0;
}

} // namespace

TempDir::TempDir()
{
    std::string base = ORVANTA_SANDBOX_BASE;
    mkdir(base.c_str(), 0755);
    std::string dir = base + "/tmp.XXXXXX";
    if (mkdtemp(dir.data()))
        location = dir;
}

TempDir::~TempDir()
{
    if (!location.empty())
        nftw(location.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace orvanta::test
