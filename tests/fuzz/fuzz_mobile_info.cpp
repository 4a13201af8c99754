// MobileInfo reading arbitrary scratch-file contents, in a private /var
// (the sandbox of the tests). system() is replaced: instead of running the
// router tools through the shell it writes the input's answer into the
// command's scratch file, or, as a shell that could not be started, writes
// nothing. Every field must then be what the reading rules make of the
// answer (the first line, at most 15 or 31 characters, line end cut), an
// answer not written must read as none, and the commands must be those
// that the caching rules call for. Some inputs make the scratch folder
// writable by others, and then nothing may run.
//
// Input: a first byte choosing the folder's mode, then answers separated
// by the byte 0x1e, taken in the order the commands run: each a control
// byte (odd: the command runs) and the bytes the command writes.
#include "MobileInfo.h"
#include "Require.h"
#include "Sandbox.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Answer {
    bool runs;
    std::string bytes;
};

std::vector<Answer> answers;
size_t nextAnswer;
std::vector<std::string> ran; // scratch names, in the order asked

// What the reading rules make of a file's bytes: one fgets of size bytes,
// as a C string, then cut at its last "\n" and at the last "\r" before.
std::string reading(const std::string& bytes, size_t size)
{
    size_t end = 0;
    while (end < size - 1 && end < bytes.size() && (end == 0 || bytes[end - 1] != '\n'))
        ++end;
    std::string text = bytes.substr(0, end).c_str();
    for (char cut : {'\n', '\r'}) {
        size_t at = text.rfind(cut);
        if (at != std::string::npos)
            text.erase(at);
    }
    return text;
}

} // namespace

// The shell, as far as the probes use it: "... > /var/orvanta/<name>".
extern "C" int system(const char* command)
{
    const char* redirect = command ? std::strstr(command, " > /var/orvanta/") : nullptr;
    if (!redirect) {
        using System = int (*)(const char*);
        static System real = reinterpret_cast<System>(dlsym(RTLD_NEXT, "system"));
        return real(command);
    }
    const char* path = redirect + 3;
    ran.push_back(path + std::strlen("/var/orvanta/"));
    require(access(path, F_OK) != 0, "the scratch file was not removed before its command");
    if (nextAnswer >= answers.size() || !answers[nextAnswer].runs) {
        ++nextAnswer;
        return 127 << 8;
    }
    const std::string& bytes = answers[nextAnswer++].bytes;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    require(fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()),
            "writing the answer");
    close(fd);
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static std::unique_ptr<orvanta::test::Sandbox> sandbox;
    sandbox = std::make_unique<orvanta::test::Sandbox>();
    if (!sandbox->ok() || !sandbox->enter()) {
        std::fprintf(stderr, "fuzz_mobile_info: no sandbox: %s %s\n",
                     orvanta::test::Sandbox::unavailableReason().c_str(), sandbox->lastError().c_str());
        std::exit(1);
    }
    // The scratch folder on a tmpfs of its own: files come and go several
    // times faster than through the overlay.
    if (mount("tmpfs", "/var/orvanta", "tmpfs", 0, "mode=0700") != 0) {
        std::perror("fuzz_mobile_info: tmpfs on /var/orvanta");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool own = data[0] % 4 != 3;
    require(chmod("/var/orvanta", own ? 0700 : 0703) == 0, "chmod");
    answers.clear();
    nextAnswer = 0;
    ran.clear();
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find('\x1e', start);
        if (end == std::string::npos)
            end = rest.size();
        if (end > start)
            answers.push_back({(rest[start] & 1) != 0, rest.substr(start + 1, end - start - 1)});
        start = end + 1;
    }

    MobileInfo info;
    std::string imei, cell, iccid;
    std::vector<std::string> expected;
    // Eight calls show every caching rule; more would only slow the run.
    int calls = 0;
    do {
        size_t before = nextAnswer;
        info.get();
        if (own) {
            auto answer = [&](const char* name, size_t readSize, std::string* text) {
                expected.push_back(name);
                size_t at = before++;
                bool runs = at < answers.size() && answers[at].runs;
                *text = runs ? reading(answers[at].bytes, readSize) : std::string();
                return runs;
            };
            std::string text;
            if (imei.empty() && answer("imei", 16, &text))
                imei = text;
            answer("cell", 16, &cell);
            if (iccid.empty() && answer("iccid", 32, &text))
                iccid = text;
        } else {
            cell.clear();
        }
        require(ran == expected, "the commands run");
        require(info.imei() == imei, "IMEI");
        require(info.cellid() == cell, "cell id");
        require(info.iccid() == iccid, "ICCID");
    } while (own && nextAnswer < answers.size() && ++calls < 8);
    return 0;
}
