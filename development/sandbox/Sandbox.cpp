#include "Sandbox.h"

#include "FileBytes.h"

#include <fcntl.h>
#include <ftw.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#ifndef ORVANTA_SANDBOX_BASE
#error "ORVANTA_SANDBOX_BASE: the folder in the build tree that holds the sandboxes"
#endif

extern char** environ;

namespace orvanta::test {

namespace {

struct Target {
    const char* path;
    const char* name; // of its upper directory
};
const Target targets[] = {{"/opt", "opt"}, {"/var", "var"}, {"/usr/bin", "usr_bin"}, {"/dev", "dev"}};

// Device nodes that must stay usable when the overlays are mounted from a
// user namespace (which makes them nodev).
const char* const devices[] = {"/dev/null",   "/dev/zero",    "/dev/full",
                               "/dev/random", "/dev/urandom", "/dev/tty"};

// Everything the namespace set-up needs, prepared before fork: the child
// of a multi-threaded process may only make system calls.
struct Plan {
    bool userNamespace = geteuid() != 0;
    std::string uidMap, gidMap;
    std::vector<std::string> targets, options;
    std::vector<std::string> deviceSources; // "/proc/self/fd/N", or "" when absent
    std::vector<int> deviceFds;

    explicit Plan(const std::vector<std::pair<std::string, std::string>>& layers) // upper, work
    {
        uidMap = "0 " + std::to_string(geteuid()) + " 1\n";
        gidMap = "0 " + std::to_string(getegid()) + " 1\n";
        for (std::size_t i = 0; i < layers.size(); ++i) {
            targets.push_back(orvanta::test::targets[i].path);
            options.push_back(std::string("lowerdir=") + orvanta::test::targets[i].path +
                              ",upperdir=" + layers[i].first + ",workdir=" + layers[i].second +
                              (userNamespace ? ",userxattr" : ""));
        }
        if (!userNamespace)
            return;
        for (const char* device : devices) {
            int fd = open(device, O_PATH | O_CLOEXEC);
            deviceFds.push_back(fd);
            deviceSources.push_back(fd < 0 ? "" : "/proc/self/fd/" + std::to_string(fd));
        }
    }
    ~Plan()
    {
        for (int fd : deviceFds)
            if (fd >= 0)
                close(fd);
    }
};

const char makeRootPrivate[] = "make / private";

int writeProcFile(const char* path, const std::string& text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : errno;
    close(fd);
    return err;
}

// System calls only. Gives 0, or an errno with *step naming what failed.
int enterNamespace(const Plan& plan, const char** step)
{
    *step = "unshare";
    if (unshare(plan.userNamespace ? CLONE_NEWUSER | CLONE_NEWNS : CLONE_NEWNS) != 0)
        return errno;
    if (plan.userNamespace) {
        *step = "user namespace maps";
        int err = writeProcFile("/proc/self/setgroups", "deny");
        if (!err)
            err = writeProcFile("/proc/self/uid_map", plan.uidMap);
        if (!err)
            err = writeProcFile("/proc/self/gid_map", plan.gidMap);
        if (err)
            return err;
    }
    *step = makeRootPrivate;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return errno;
    for (std::size_t i = 0; i < plan.targets.size(); ++i) {
        *step = plan.targets[i].c_str();
        if (mount("overlay", plan.targets[i].c_str(), "overlay", 0, plan.options[i].c_str()) != 0)
            return errno;
    }
    for (std::size_t i = 0; i < plan.deviceSources.size(); ++i)
        if (!plan.deviceSources[i].empty())
            mount(plan.deviceSources[i].c_str(), devices[i], nullptr, MS_BIND, nullptr);
    return 0;
}

// A step that failed, with its errno: what a child reports through its
// error pipe.
struct ChildError {
    int err;
    char step[120];
};

ChildError childError(const char* step, int err)
{
    ChildError e{};
    e.err = err;
    std::strncpy(e.step, step, sizeof e.step - 1);
    return e;
}

[[noreturn]] void childFail(int pipeFd, const char* step, int err)
{
    ChildError e = childError(step, err);
    ssize_t ignored = write(pipeFd, &e, sizeof e);
    (void)ignored;
    _exit(127);
}

// Forks a child that enters the namespace of plan and then runs inside,
// which may make system calls only, reports a failure with childFail on
// the pipe it is given, and execs or returns (the child then ends with 0).
// Gives the child's pid; -1 with failure set when the pipe or the fork
// failed or the child reported a failure (it is reaped then).
pid_t spawnInNamespace(const Plan& plan, const std::function<void(int errFd)>& inside, ChildError& failure)
{
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        failure = childError("pipe", errno);
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(errPipe[0]);
        const char* step = "";
        if (int err = enterNamespace(plan, &step))
            childFail(errPipe[1], step, err);
        inside(errPipe[1]);
        _exit(0);
    }
    close(errPipe[1]);
    if (pid < 0) {
        failure = childError("fork", errno);
        close(errPipe[0]);
        return -1;
    }
    ssize_t n;
    do
        n = read(errPipe[0], &failure, sizeof failure);
    while (n < 0 && errno == EINTR);
    close(errPipe[0]);
    if (n == static_cast<ssize_t>(sizeof failure)) {
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

bool makeDirs(const std::string& path, mode_t mode)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

int removeEntry(const char* path, const struct stat*, int, FTW*)
{
    chmod(path, 0700); // overlay work dirs are left without permissions
    remove(path);
    return 0;
}

void removeTree(const std::string& path)
{
    chmod(path.c_str(), 0700);
    nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// Makes an upper directory hide what the lower one of the same path
// holds: overlayfs reads the mark as trusted.* where root mounted it, as
// user.* where a user namespace did (mount option userxattr).
bool makeOpaque(const std::string& upperPath)
{
    bool root = geteuid() == 0;
    return setxattr(upperPath.c_str(), root ? "trusted.overlay.opaque" : "user.overlay.opaque", "y", 1, 0) ==
           0;
}

bool isWhiteout(const struct stat& st)
{
    return S_ISCHR(st.st_mode) && st.st_rdev == makedev(0, 0);
}

// What to do where this machine keeps the sandbox from being made.
//
// In a chroot whose root folder is no mount point (as package builders
// such as pbuilder make them), / cannot be made private. The mount that
// holds the chroot lies outside it and may share its mounts with the rest
// of the machine: every mount made below / (a bind mount of / onto itself
// as well as the overlays) could then show outside and outlive the
// sandbox, and from inside nothing tells whether it does. So the sandbox
// stops and says how to make / a mount point before entering the chroot.
const char* advice(const char* step, int err, bool userNamespace)
{
    if (std::strcmp(step, makeRootPrivate) == 0 && err == EINVAL)
        return " (/ is no mount point here, as in a plain chroot, and what the sandbox mounts could show"
               " outside it: bind-mount the chroot's folder onto itself before entering it,"
               " mount --rbind DIR DIR)";
    return userNamespace ? " (not root: needs unprivileged user namespaces with overlayfs)" : "";
}

std::string probe()
{
    std::string base = ORVANTA_SANDBOX_BASE;
    if (!makeDirs(base, 0755))
        return "cannot create " + base + ": " + std::strerror(errno);
    std::string dir = base + "/probe.XXXXXX";
    if (!mkdtemp(dir.data()))
        return "cannot create a folder in " + base + ": " + std::strerror(errno);
    std::vector<std::pair<std::string, std::string>> layers;
    for (const Target& t : targets) {
        layers.emplace_back(dir + "/upper/" + t.name, dir + "/work/" + t.name);
        makeDirs(layers.back().first, 0755);
        makeDirs(layers.back().second, 0755);
    }
    Plan plan(layers);
    ChildError e{};
    pid_t pid = spawnInNamespace(
        plan, [](int) {}, e);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    removeTree(dir);
    if (pid < 0)
        return std::string(e.step) + ": " + std::strerror(e.err) + advice(e.step, e.err, plan.userNamespace);
    return "";
}

} // namespace

const std::string& Sandbox::unavailableReason()
{
    static const std::string reason = probe();
    return reason;
}

Sandbox::Sandbox(SandboxOptions options) : chosen(std::move(options))
{
    std::string base = ORVANTA_SANDBOX_BASE;
    std::string dir = base + "/sandbox.XXXXXX";
    if (!makeDirs(base, 0755) || !mkdtemp(dir.data())) {
        fail("cannot create a folder in " + base, errno);
        return;
    }
    std::string upperRoot = chosen.upperRoot.empty() ? dir + "/upper" : chosen.upperRoot;
    for (const Target& t : targets) {
        Layer layer{t.path, upperRoot + "/" + t.name, dir + "/work/" + t.name};
        if (!makeDirs(layer.upper, 0755) || !makeDirs(layer.work, 0755)) {
            fail("cannot create " + layer.upper, errno);
            removeTree(dir);
            return;
        }
        layerStack.push_back(layer);
    }
    sandboxDir = dir;
    // Whatever this machine keeps in the module's own folders stays out.
    makeDir("/opt/orvanta");
    if (chosen.varOrvanta)
        makeDir("/var/orvanta");
    else
        hide("/var/orvanta");
}

Sandbox::~Sandbox()
{
    for (pid_t pid : unreaped) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (pid_t pid : groupLeaders) {
        // The group of a program reaped long ago may be another program's
        // by now, its id a recycled pid: only a group in which this
        // subreaper still has a child (what the program left, adopted) is
        // the sandbox's.
        if (isSubreaper && waitpid(-pid, nullptr, WNOHANG) < 0 && errno == ECHILD)
            continue;
        kill(-pid, SIGKILL);
        // Descendants in its process group, adopted by this subreaper.
        for (int i = 0; i < 100 && waitpid(-pid, nullptr, WNOHANG) >= 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (inNamespace)
        for (auto layer = layerStack.rbegin(); layer != layerStack.rend(); ++layer)
            umount2(layer->target.c_str(), MNT_DETACH);
    if (!sandboxDir.empty())
        removeTree(sandboxDir);
}

bool Sandbox::fail(const std::string& what, int err)
{
    errorNumber = err;
    errorText = what + ": " + std::strerror(err);
    return false;
}

std::string Sandbox::hostPath(const std::string& absPath) const
{
    for (const Layer& layer : layerStack) {
        const std::string& t = layer.target;
        if (absPath == t)
            return layer.upper;
        if (absPath.compare(0, t.size(), t) == 0 && absPath.size() > t.size() && absPath[t.size()] == '/')
            return layer.upper + absPath.substr(t.size());
    }
    return "";
}

std::vector<std::pair<std::string, std::string>> Sandbox::upperAndWork() const
{
    std::vector<std::pair<std::string, std::string>> layers;
    for (const Layer& layer : layerStack)
        layers.emplace_back(layer.upper, layer.work);
    return layers;
}

std::string Sandbox::placePath(const std::string& absPath) const
{
    std::string path = hostPath(absPath);
    return inNamespace && !path.empty() ? absPath : path;
}

bool Sandbox::makeFolders(const std::string& path) const
{
    if (inNamespace)
        return makeDirs(path, 0755);
    // In the upper layer, a folder made where a whiteout hides the
    // machine's is opaque, as overlayfs makes it from inside.
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        struct stat st;
        bool hidden = lstat(part.c_str(), &st) == 0 && isWhiteout(st) && unlink(part.c_str()) == 0;
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (hidden && !makeOpaque(part))
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

bool Sandbox::makeDir(const std::string& absPath, mode_t mode)
{
    std::string path = placePath(absPath);
    if (path.empty() || !makeFolders(path))
        return fail("cannot create " + absPath, errno ? errno : EINVAL);
    if (!inNamespace && !makeOpaque(path))
        return fail("cannot make " + absPath + " hide the machine's", errno);
    return chmod(path.c_str(), mode) == 0 || fail("chmod " + absPath, errno);
}

bool Sandbox::writeFile(const std::string& absPath, const std::string& bytes, mode_t mode)
{
    std::string path = placePath(absPath);
    if (path.empty())
        return fail("not below a sandboxed folder: " + absPath, EINVAL);
    std::size_t slash = path.rfind('/');
    if (!makeFolders(path.substr(0, slash)))
        return fail("cannot create the folder of " + absPath, errno);
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return fail("cannot create " + absPath, errno);
    bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    int err = errno;
    close(fd);
    if (!written)
        return fail("cannot write " + absPath, err);
    return chmod(path.c_str(), mode) == 0 || fail("chmod " + absPath, errno);
}

bool Sandbox::hide(const std::string& absPath)
{
    std::string path = placePath(absPath);
    if (path.empty())
        return fail("not below a sandboxed folder: " + absPath, EINVAL);
    if (inNamespace) {
        removeTree(path);
        return access(path.c_str(), F_OK) != 0 || fail("cannot remove " + absPath, errno);
    }
    makeDirs(path.substr(0, path.rfind('/')), 0755);
    removeTree(path);
    return mknod(path.c_str(), S_IFCHR, makedev(0, 0)) == 0 || fail("whiteout " + absPath, errno);
}

Sandbox::Seen Sandbox::upperView(const std::string& absPath, std::string& upperPath, int hops) const
{
    upperPath = inNamespace ? std::string() : hostPath(absPath);
    if (upperPath.empty())
        return Seen::Lower;
    // From the layer's root down: a whiteout or a file hides the rest, an
    // opaque folder hides what the machine has below it, a link leads on,
    // and where the upper layer holds nothing of the path (and nothing above
    // was opaque) the machine's file shows through.
    std::size_t root = upperPath.size();
    for (const Layer& layer : layerStack)
        if (upperPath.compare(0, layer.upper.size(), layer.upper) == 0)
            root = layer.upper.size();
    bool opaque = false;
    for (std::size_t at = root;;) {
        std::string prefix = upperPath.substr(0, at);
        struct stat st;
        if (lstat(prefix.c_str(), &st) != 0)
            return opaque ? Seen::Absent : Seen::Lower;
        if (at == upperPath.size())
            return isWhiteout(st) ? Seen::Absent : Seen::Upper;
        if (S_ISLNK(st.st_mode) && hops < 8) {
            char target[4096] = {};
            if (readlink(prefix.c_str(), target, sizeof target - 1) <= 0)
                return Seen::Absent;
            std::string inside = absPath.substr(0, absPath.size() - (upperPath.size() - at));
            std::string base = inside.substr(0, inside.rfind('/') + 1);
            std::string next =
                (target[0] == '/' ? std::string(target) : base + target) + upperPath.substr(at);
            return upperView(next, upperPath, hops + 1);
        }
        if (!S_ISDIR(st.st_mode))
            return Seen::Absent;
        char mark[2] = {};
        opaque = opaque || lgetxattr(prefix.c_str(), "trusted.overlay.opaque", mark, 1) == 1 ||
                 lgetxattr(prefix.c_str(), "user.overlay.opaque", mark, 1) == 1;
        at = upperPath.find('/', at + 1);
        if (at == std::string::npos)
            at = upperPath.size();
    }
}

std::optional<std::string> Sandbox::readFile(const std::string& absPath) const
{
    std::string upper;
    switch (upperView(absPath, upper, 0)) {
    case Seen::Upper:
        return readFileBytes(upper);
    case Seen::Absent:
        return std::nullopt;
    case Seen::Lower:
        break;
    }
    return readFileBytes(absPath);
}

std::optional<mode_t> Sandbox::fileMode(const std::string& absPath) const
{
    std::string upper;
    Seen seen = upperView(absPath, upper, 0);
    struct stat st;
    if (seen == Seen::Absent || lstat(seen == Seen::Upper ? upper.c_str() : absPath.c_str(), &st) != 0)
        return std::nullopt;
    return st.st_mode & 07777;
}

bool Sandbox::exists(const std::string& absPath) const
{
    return fileMode(absPath).has_value();
}

std::vector<std::string> Sandbox::defaultEnvironment()
{
    std::vector<std::string> env{"PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"};
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        for (const char* prefix : {"ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS=", "QEMU_"})
            if (entry.compare(0, std::strlen(prefix), prefix) == 0)
                env.push_back(entry);
    }
    return env;
}

pid_t Sandbox::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const ChildSetup& setup)
{
    if (!ok() || argv.empty())
        return fail("no sandbox or no program", EINVAL), -1;
    Plan plan(upperAndWork());
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    bool bindSyslog = !syslogBound;
    int recorder = syslogRecorder.fd();

    isSubreaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    ChildError e{};
    pid_t pid = spawnInNamespace(
        plan,
        [&](int errFd) {
            if (bindSyslog) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::strcpy(address.sun_path, "/dev/log");
                unlink(address.sun_path);
                if (bind(recorder, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                    childFail(errFd, "bind /dev/log", errno);
            }
            if (setup)
                setup();
            execve(args[0], args.data(), envp.data());
            childFail(errFd, args[0], errno);
        },
        e);
    if (pid < 0)
        return fail(e.step, e.err), -1;
    unreaped.push_back(pid);
    groupLeaders.push_back(pid);
    if (bindSyslog) {
        syslogBound = true;
        syslogRecorder.start();
    }
    return pid;
}

bool Sandbox::enter()
{
    if (!ok() || inNamespace)
        return fail("no sandbox or entered already", EINVAL);
    Plan plan(upperAndWork());
    const char* step = "";
    if (int err = enterNamespace(plan, &step))
        return fail(step, err);
    inNamespace = true;
    if (!syslogBound) {
        if (int err = syslogRecorder.bind("/dev/log"))
            return fail("bind /dev/log", err);
        syslogBound = true;
    }
    return true;
}

bool Sandbox::waitExit(pid_t pid, std::chrono::milliseconds timeout, int* status)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            if (status)
                *status = st;
            for (auto it = unreaped.begin(); it != unreaped.end(); ++it)
                if (*it == pid) {
                    unreaped.erase(it);
                    break;
                }
            return true;
        }
        // ECHILD: an orphan that has not been handed to us yet.
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace orvanta::test
