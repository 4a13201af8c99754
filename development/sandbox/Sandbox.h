// A private filesystem view for testing programs that use fixed paths.
//
// Inside a sandbox /opt, /var, /usr/bin and /dev are overlays: the real
// directory below, a fresh upper directory (under the build tree) on top.
// What a test places at an absolute path, and what a sandboxed program
// writes there, lands in the upper directory; the real filesystem is never
// touched. The module's own folders, /opt/orvanta and /var/orvanta, start
// empty (or absent) whatever the machine has there. A syslog recorder is
// bound at "/dev/log" inside.
#ifndef ORVANTA_SANDBOX_SANDBOX_H
#define ORVANTA_SANDBOX_SANDBOX_H

#include "SyslogRecorder.h"

#include <sys/types.h>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvanta::test {

struct SandboxOptions {
    // Create the directory /var/orvanta; when false it is absent inside.
    bool varOrvanta = true;
    // When set, DIR/opt, DIR/var, DIR/usr_bin and DIR/dev are the upper
    // directories (created when missing) and are kept afterwards. DIR must
    // lie on the filesystem of the build tree.
    std::string upperRoot;
};

class Sandbox {
public:
    using Clock = std::chrono::steady_clock;
    // Runs in the forked child right before execve (after the mounts). The
    // parent may have threads (the recorder's, qemu-user's): keep to system
    // calls such as setrlimit and signal.
    using ChildSetup = std::function<void()>;

    // Creates the temporary directory; ok() tells whether that worked.
    explicit Sandbox(SandboxOptions options = {});
    // Sends SIGKILL to every process start() created (and to its process
    // group) that has not been reaped, reaps them, leaves the namespace that
    // enter() set up and removes the temporary directory.
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Empty when sandboxes can be made on this machine, else why not.
    static const std::string& unavailableReason();

    bool ok() const { return !sandboxDir.empty(); }
    const std::string& dir() const { return sandboxDir; }

    // Where the upper layer keeps absPath (an absolute path below /opt,
    // /var, /usr/bin or /dev); empty for other paths.
    std::string hostPath(const std::string& absPath) const;

    // Place content at absPath inside (parents created with mode 0755):
    // in the upper layer before start(), through the overlay after enter().
    // A folder made so is empty inside, even where the machine has one
    // with files.
    bool writeFile(const std::string& absPath, const std::string& bytes, mode_t mode = 0644);
    bool makeDir(const std::string& absPath, mode_t mode = 0755);
    // Makes absPath absent inside (an overlay whiteout).
    bool hide(const std::string& absPath);

    // What absPath holds inside, as far as a program changed or a test
    // placed it (the upper layer), else the real file; nothing when absent.
    std::optional<std::string> readFile(const std::string& absPath) const;
    std::optional<mode_t> fileMode(const std::string& absPath) const; // permission bits
    bool exists(const std::string& absPath) const;

    // PATH and the sanitizers' options of the calling process.
    static std::vector<std::string> defaultEnvironment();

    // Forks; the child enters a new mount namespace (and user namespace
    // when not root), mounts the overlays, binds the recorder at "/dev/log"
    // (first start only), runs setup and execve()s argv[0] (an absolute
    // path). Gives the child's pid (a real pid: signal and reap it with
    // waitExit), or -1 with lastError()/lastErrno() (ENOEXEC when the
    // program's architecture cannot be run). The calling process becomes a
    // child subreaper, so that descendants of the program that it orphans
    // can be reaped with waitExit as well.
    pid_t start(const std::vector<std::string>& argv,
                const std::vector<std::string>& env = defaultEnvironment(), const ChildSetup& setup = {});

    // The same namespace and overlays for the calling process itself (as
    // root; otherwise only while single-threaded). Binds the recorder.
    bool enter();

    // Waits up to timeout for pid (a child or an adopted orphan) to end;
    // true with its wait status when it did.
    bool waitExit(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr);

    // Whether this process could become a child subreaper (qemu-user, for
    // one, does not pass that on): only then can waitExit reap orphans.
    bool adoptsOrphans() const { return isSubreaper; }

    SyslogRecorder& syslog() { return syslogRecorder; }
    const std::string& lastError() const { return errorText; }
    int lastErrno() const { return errorNumber; }

private:
    // Where a path's bytes come from, seen from outside the namespace.
    enum class Seen { Upper, Absent, Lower };
    Seen upperView(const std::string& absPath, std::string& upperPath, int hops) const;

    struct Layer {
        std::string target, upper, work;
    };
    bool fail(const std::string& what, int err);
    std::string placePath(const std::string& absPath) const;
    bool makeFolders(const std::string& path) const;
    // The upper and work folder of each layer, in the order of the targets.
    std::vector<std::pair<std::string, std::string>> upperAndWork() const;

    SandboxOptions chosen;
    std::string sandboxDir;
    std::vector<Layer> layerStack;
    std::vector<pid_t> unreaped;     // not reaped yet
    std::vector<pid_t> groupLeaders; // every pid started: the process groups the programs may make
    bool inNamespace = false;
    bool syslogBound = false;
    bool isSubreaper = false;
    SyslogRecorder syslogRecorder;
    std::string errorText;
    int errorNumber = 0;
};

} // namespace orvanta::test

#endif
