// A scenario's syslog messages as one text, to compare whole with the
// transcript written down in the test: a line per message as logread shows
// it ("notice.daemon orvanta[PID]: started").
#ifndef ORVANTA_TESTS_SUPPORT_TRANSCRIPT_H
#define ORVANTA_TESTS_SUPPORT_TRANSCRIPT_H

#include "SyslogRecorder.h"

#include <sys/types.h>
#include <string>
#include <vector>

namespace orvanta::test {

// The first `limit` messages (all by default) of the identity given (any
// when null), the id of process pid shown as PID.
inline std::string transcript(const std::vector<SyslogMessage>& messages, pid_t pid,
                              const char* ident = nullptr, std::size_t limit = std::string::npos)
{
    const std::string id = "[" + std::to_string(pid) + "]: ";
    std::string text;
    for (const SyslogMessage& m : messages) {
        if (ident && m.ident != ident)
            continue;
        if (limit-- == 0)
            break;
        std::string line = m.line();
        std::size_t at = line.find(id);
        if (at != std::string::npos)
            line.replace(at, id.size(), "[PID]: ");
        text += line + "\n";
    }
    return text;
}

// The supervisor's log of a start and a stop while the agent runs.
inline const char stoppedWhileRunning[] = R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: sending SIGKILL to agent
notice.daemon orvanta[PID]: terminated
)";

} // namespace orvanta::test

#endif
