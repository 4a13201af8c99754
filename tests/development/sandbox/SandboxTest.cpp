// The sandbox tool in a chroot whose root folder is no mount point, as
// package builders make them: it stops and says what to do, and with the
// folder bound onto itself it works. The chroot is made in a private mount
// namespace of a child, from this machine's /usr, /etc, /dev and the build
// tree, so nothing of it shows outside.
#include "SandboxTesting.h"
#include "TempDir.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

using namespace orvanta::test;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string err;
};

// Runs the tool in a chroot made in dir, with its folder bound onto
// itself first when bound is set.
ToolRun inChroot(const TempDir& dir, bool bound)
{
    const std::string root = dir.file(bound ? "bound" : "plain");
    const std::string errPath = dir.file(bound ? "bound.err" : "plain.err");
    // What the chroot takes from this machine, and where.
    std::vector<std::pair<std::string, std::string>> binds;
    for (const char* folder : {"/usr", "/etc", "/dev", ORVANTA_BUILD_TREE})
        binds.emplace_back(folder, root + folder);
    const std::string proc = root + "/proc";
    for (const auto& bind : binds)
        std::filesystem::create_directories(bind.second);
    for (const std::string& folder : {proc, root + "/opt", root + "/var"})
        std::filesystem::create_directories(folder);
    for (const char* link : {"bin", "lib", "lib64", "sbin"})
        std::filesystem::create_directory_symlink(std::string("usr/") + link, root + "/" + link);

    pid_t pid = fork();
    if (pid == 0) {
        auto failed = [](const char* step) {
            ssize_t ignored = write(2, step, std::strlen(step));
            (void)ignored;
            _exit(125);
        };
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (err < 0 || dup2(err, 2) < 0)
            _exit(125);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            failed("private namespace");
        for (const auto& bind : binds)
            if (mount(bind.first.c_str(), bind.second.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
                failed(bind.first.c_str());
        if (mount("proc", proc.c_str(), "proc", 0, nullptr) != 0)
            failed("proc");
        if (bound && mount(root.c_str(), root.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            failed("bind onto itself");
        if (chroot(root.c_str()) != 0 || chdir("/") != 0)
            failed("chroot");
        // As in CI, where a test that cannot make its sandbox fails.
        setenv("CI", "true", 1);
        execl(ORVANTA_SANDBOX_TOOL, ORVANTA_SANDBOX_TOOL, "--", "/bin/sh", "-c", "test -d /var/orvanta",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.err = readFileBytes(errPath).value_or("");

    // Folder by folder, never recursively: were anything still mounted
    // there, a recursive removal would reach into this machine's folders.
    std::error_code ignored;
    for (const char* link : {"bin", "lib", "lib64", "sbin"})
        std::filesystem::remove(root + "/" + link, ignored);
    for (std::string folder : {proc, root + "/opt", root + "/var"})
        std::filesystem::remove(folder, ignored);
    for (const auto& bind : binds)
        for (std::string folder = bind.second; folder.size() > root.size(); folder.erase(folder.rfind('/')))
            std::filesystem::remove(folder, ignored);
    EXPECT_TRUE(std::filesystem::remove(root, ignored)) << root << " is left: " << ignored.message();
    return run;
}

TEST(SandboxInAChroot, WhoseRootIsNoMountPointSaysWhatToDo)
{
    ORVANTA_REQUIRE_SANDBOX();
    if (geteuid() != 0)
        GTEST_SKIP() << "making a chroot needs root";
    TempDir dir;
    ASSERT_TRUE(dir.ok());

    ToolRun plain = inChroot(dir, false);
    EXPECT_EQ(plain.exitCode, 2);
    EXPECT_EQ(plain.err,
              "orvanta-sandbox: no sandbox on this machine: make / private: Invalid argument (/ is "
              "no mount point here, as in a plain chroot, and what the sandbox mounts could show "
              "outside it: bind-mount the chroot's folder onto itself before entering it, mount "
              "--rbind DIR DIR)\n");

    ToolRun bound = inChroot(dir, true);
    EXPECT_EQ(bound.exitCode, 0) << bound.err;
    EXPECT_EQ(bound.err, "");
}

} // namespace
