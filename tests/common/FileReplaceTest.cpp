// What interrupted replacements leave behind, and only that, is removed; a
// folder that cannot be synced is reported, with the new file in place.
#include "TempDir.h"
#include "file_replace.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

using orvanta::test::readFileBytes;
using orvanta::test::TempDir;
using orvanta::test::writeFileBytes;

namespace {
bool failFolderSync = false;
}

// The test links with --wrap=fsync: a folder's sync can be made to fail as
// flash that has gone bad does.
extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd)
{
    struct stat st;
    if (failFolderSync && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return __real_fsync(fd);
}

namespace {

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* entry = d ? readdir(d) : nullptr)
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    if (d)
        closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileReplace, RemovesLeftoversOfInterruptedReplacementsAndNothingElse)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    for (const char* file :
         {"settings", "settings.Ab3dE9", "settings.zzzzzz", "settings.default", "settings.lock",
          "settings.ab12", "settings.ab_123", "settings.Ab3dE9x", "other.Ab3dE9"})
        ASSERT_TRUE(writeFileBytes(dir.file(file), "MOD_ORVANTA_PASSWORD=secret\n")) << file;
    ASSERT_EQ(symlink(dir.file("other.Ab3dE9").c_str(), dir.file("settings.LINKED").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("settings.FOLDER").c_str(), 0700), 0);

    EXPECT_EQ(file_replace_remove_leftovers(dir.file("settings").c_str()), 2);
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{"other.Ab3dE9", "settings", "settings.Ab3dE9x", "settings.FOLDER",
                                        "settings.LINKED", "settings.ab12", "settings.ab_123",
                                        "settings.default", "settings.lock"}));
    EXPECT_EQ(file_replace_remove_leftovers(dir.file("no/such/settings").c_str()), -1);
}

int writeNew(FILE* f, void*)
{
    return fputs("MOD_ORVANTA_USERNAME=new\n", f) >= 0;
}

TEST(FileReplace, AFolderThatCannotBeSyncedIsReportedWithTheNewFileInPlace)
{
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(writeFileBytes(dir.file("settings"), "MOD_ORVANTA_USERNAME=old\n"));

    failFolderSync = true;
    errno = 0;
    int result = file_replace(dir.file("settings").c_str(), writeNew, nullptr, 1);
    int err = errno;
    failFolderSync = false;

    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, EIO);
    EXPECT_EQ(readFileBytes(dir.file("settings")), "MOD_ORVANTA_USERNAME=new\n");
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"settings"}));
    // A file in RAM is not synced at all, so the same failure cannot touch it.
    failFolderSync = true;
    EXPECT_EQ(file_replace(dir.file("settings").c_str(), writeNew, nullptr, 0), 1);
    failFolderSync = false;
}

} // namespace
