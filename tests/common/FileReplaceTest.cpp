// What interrupted replacements leave behind, and only that, is removed.
#include "TempDir.h"
#include "file_replace.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>

using orvanta::test::TempDir;
using orvanta::test::writeFileBytes;

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
    for (const char* file : {"settings", "settings.Ab3dE9", "settings.zzzzzz", "settings.default", "settings.lock",
                             "settings.ab12", "settings.ab_123", "settings.Ab3dE9x", "other.Ab3dE9"})
        ASSERT_TRUE(writeFileBytes(dir.file(file), "MOD_ORVANTA_PASSWORD=secret\n")) << file;
    ASSERT_EQ(symlink(dir.file("other.Ab3dE9").c_str(), dir.file("settings.LINKED").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("settings.FOLDER").c_str(), 0700), 0);

    EXPECT_EQ(file_replace_remove_leftovers(dir.file("settings").c_str()), 2);
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{"other.Ab3dE9", "settings", "settings.Ab3dE9x", "settings.FOLDER",
                                        "settings.LINKED", "settings.ab12", "settings.ab_123", "settings.default",
                                        "settings.lock"}));
    EXPECT_EQ(file_replace_remove_leftovers(dir.file("no/such/settings").c_str()), -1);
}

} // namespace
