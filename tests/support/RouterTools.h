// Substitute router tools for sandboxed tests: /usr/bin/rtrinfo and
// /usr/bin/cellctl as shell scripts that answer like a router with a
// modem. Their answers are plain files in a directory of the build tree,
// which a test may change at any time, also while a program runs:
//
//   <answers>/module   what "rtrinfo module" prints (the IMEI report)
//   <answers>/mobile   what "rtrinfo mobile" prints (the cell report)
//   <answers>/scid     what cellctl prints for "AT^SCID"
//   <answers>/calls    one line per call: the tool's name and arguments
//
// A missing answer file makes the tool print nothing.
#ifndef ORVANTA_TESTS_SUPPORT_ROUTERTOOLS_H
#define ORVANTA_TESTS_SUPPORT_ROUTERTOOLS_H

#include "Sandbox.h"
#include "TempDir.h"

#include <sys/stat.h>
#include <string>

namespace orvanta::test {

class RouterTools {
public:
    // Answers under sandbox.dir()/router; the scripts go into the sandbox.
    explicit RouterTools(Sandbox& sandbox) : answerDir(sandbox.dir() + "/router")
    {
        ::mkdir(answerDir.c_str(), 0755);
        scriptsInstalled = sandbox.writeFile("/usr/bin/rtrinfo", script("rtrinfo", "$1"), 0755) &&
                           sandbox.writeFile("/usr/bin/cellctl", script("cellctl", "scid"), 0755);
    }

    bool installed() const { return scriptsInstalled; }
    const std::string& dir() const { return answerDir; }

    // A router whose modem is ready: the report lines around the values
    // are there as the real tools print them.
    void modemReady(const std::string& imei, const std::string& cell, const std::string& iccid)
    {
        answer("module", "Product Type: XR5i\nIMEI: " + imei + "\nFirmware: 6.3.5\n");
        answer("mobile", "Registration: home network\nCell: " + cell + "\r\nLAC: 0F2A\r\n");
        answer("scid", "^SCID: " + iccid + "\r\n\r\nOK\r\n");
    }

    // Replaces (or, with remove, deletes) one answer file.
    void answer(const std::string& report, const std::string& bytes)
    {
        std::string path = answerDir + "/" + report;
        std::string temporary = path + ".new";
        writeFileBytes(temporary, bytes);
        std::rename(temporary.c_str(), path.c_str());
    }
    void remove(const std::string& report) { std::remove((answerDir + "/" + report).c_str()); }

    // The calls so far, one line each ("rtrinfo module", "cellctl AT^SCID").
    std::string calls() const { return readFileBytes(answerDir + "/calls").value_or(""); }
    void forgetCalls() { std::remove((answerDir + "/calls").c_str()); }

private:
    std::string script(const std::string& tool, const std::string& report) const
    {
        return "#!/bin/sh\n"
               "echo \"" +
               tool + " $*\" >> '" + answerDir +
               "/calls'\n"
               "f='" +
               answerDir + "'/" + report +
               "\n"
               "[ -f \"$f\" ] && cat \"$f\"\n"
               "exit 0\n";
    }

    std::string answerDir;
    bool scriptsInstalled = false;
};

} // namespace orvanta::test

#endif
