// orvanta-soak: the long run. Loads the plug-in library as a host does,
// inside the tests' sandbox with substitute router tools, and drives the
// system_resources handler and the measurement queue round after round:
//
//   orvanta-soak [-r RUNS] [-o OUTAGE_RUNS]
//
// First RUNS rounds (run() and a send) against a platform that works, with
// a transport failure every 7th request and an error row every 11th; then
// OUTAGE_RUNS rounds against a platform that cannot be reached (10080 are a
// week at the 60 s interval); then one send when it is back. It checks that
// every working send empties the queue, that the queue stops at its bound
// during the outage with one warning per block dropped, that the heap
// stays flat once the bound is reached, and that the send after the outage
// carries the newest records. Built with AddressSanitizer, LeakSanitizer
// checks at exit that nothing leaked. Prints its figures; exits non-zero
// when a check fails.
#include "Agent.h"
#include "Aggregator.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "LogCapture.h"
#include "Logger.h"
#include "MeasurementSupport.h"
#include "Plugin.h"
#include "PluginConfiguration.h"
#include "PluginHandler.h"
#include "PluginManager.h"
#include "RequestClient.h"
#include "RouterTools.h"
#include "Sandbox.h"
#include "TempDir.h"
#include "TemplateCollection.h"

#include <libconfig.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#endif
#ifdef SOAK_ASAN
#include <sanitizer/allocator_interface.h>
#endif

using orvanta::test::RouterTools;
using orvanta::test::Sandbox;

namespace {

// Bytes the program holds on the heap now, as AddressSanitizer's allocator
// counts them. Without it the figures are left out: glibc's own count takes
// the chunks that its per-thread caches keep for reuse as in use.
size_t heapInUse()
{
#ifdef SOAK_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return 0;
#endif
}

// The platform: reachable or not, and when reachable answering the n-th
// request with a transport failure (every 7th) or an error row naming
// line 1 (every 11th).
class SoakClient : public RequestClient {
public:
    bool reachable = true;
    unsigned long requests = 0;
    unsigned lastLines = 0;

    bool configure(const char*, const char*, const char*) override { return true; }
    int registerTemplates(const char*, const char*) override { return 0; }
    int request(const RequestData& data, Aggregator& response, void*) override
    {
        ++requests;
        lastLines = data.lineCount();
        if (!reachable || requests % 7 == 0)
            return 1;
        if (requests % 11 == 0) {
            ComposedRecord row(false);
            if (!row.add(IntegerValue(40)) || !row.add(IntegerValue(1)) || !response.add(row))
                return -1;
        }
        return 0;
    }
};

int failures = 0;

void check(bool condition, const std::string& what)
{
    if (!condition && ++failures <= 10)
        std::printf("FAILED: %s\n", what.c_str());
}

unsigned long count(const std::string& text, const std::string& piece)
{
    unsigned long n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

struct Options {
    unsigned long runs = 100000;
    unsigned long outageRuns = 10080;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int opt; (opt = getopt(argc, argv, "r:o:")) != -1;) {
        char* end = nullptr;
        unsigned long value = std::strtoul(optarg, &end, 10);
        if (!end || *end != '\0')
            return false;
        if (opt == 'r')
            options.runs = value;
        else if (opt == 'o')
            options.outageRuns = value;
        else
            return false;
    }
    return optind == argc && options.runs > 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [-r RUNS] [-o OUTAGE_RUNS]\n", argv[0]);
        return 2;
    }
    // The queue's bound and its drop block, as the README gives them.
    const unsigned long bound = 2000;
    const unsigned long block = 250;
    if (options.outageRuns > 0 && options.outageRuns < bound + 3 * block) {
        std::fprintf(stderr, "%s: an outage shorter than %lu rounds does not show a flat heap\n", argv[0],
                     bound + 3 * block);
        return 2;
    }
    if (!Sandbox::unavailableReason().empty()) {
        std::fprintf(stderr, "%s: no sandbox: %s\n", argv[0], Sandbox::unavailableReason().c_str());
        return 2;
    }
    Sandbox sandbox;
    RouterTools tools(sandbox);
    if (!sandbox.ok() || !tools.installed() || !sandbox.enter()) {
        std::fprintf(stderr, "%s: cannot enter the sandbox: %s\n", argv[0], sandbox.lastError().c_str());
        return 2;
    }
    tools.modemReady("351234567890123", "4711", "89490200001234567890");

    // The log is captured; warnings are counted.
    StderrCapture capture;
    Logger::instance()->setVerbosity(1);

    config_t config;
    config_init(&config);
    config_read_string(&config, "type = \"system_resources\"; interval = 60;");
    PluginConfiguration group(config_root_setting(&config));
    size_t heapStart = 0, heapAtBound = 0, heapFlatMax = 0, heapOutageMax = 0, heapEnd = 0;
    size_t heapWorking1000 = 0, heapWorkingEnd = 0;
    unsigned long maxLines = 0, linesAfterOutage = 0, warnings = 0, workingRequests = 0;
    {
        SoakClient client;
        TemplateCollection templates;
        Agent agent(client, templates, 4242);
        MeasurementSupport measurements(agent);
        agent.setMeasurementSupport(&measurements);
        PluginManager manager;
        check(manager.loadPlugin(ORVANTA_PLUGIN), "the library loads");
        check(manager.pluginCount() == 1, "one plug-in registered");
        std::unique_ptr<PluginHandler> handler(
            manager.pluginCount() == 1 ? manager.getPlugin(0)->createHandler(group, agent) : nullptr);
        check(handler != nullptr, "a handler");
        check(measurements.init() && handler && handler->init(), "initialised");
        if (failures)
            return 1;

        heapStart = heapInUse();
        for (unsigned long round = 1; round <= options.runs; ++round) {
            unsigned long before = client.requests;
            check(handler->run(), "run " + std::to_string(round));
            check(measurements.sendAddedMeasurements(), "send " + std::to_string(round));
            // The first request of each send carries one record: the queue
            // was emptied by the send before.
            check(client.requests > before, "a request in round " + std::to_string(round));
            if (round == std::min(options.runs, 1000ul))
                heapWorking1000 = heapInUse();
        }
        heapWorkingEnd = heapInUse();
        workingRequests = client.requests;

        client.reachable = false;
        for (unsigned long round = 1; round <= options.outageRuns; ++round) {
            check(handler->run(), "outage run " + std::to_string(round));
            check(!measurements.sendAddedMeasurements(), "outage send " + std::to_string(round));
            maxLines = std::max<unsigned long>(maxLines, client.lastLines);
            size_t heap = heapInUse();
            if (round == bound)
                heapAtBound = heap;
            if (round >= bound && round < bound + 2 * block)
                heapFlatMax = std::max(heapFlatMax, heap);
            if (round >= bound)
                heapOutageMax = std::max(heapOutageMax, heap);
        }

        client.reachable = true;
        client.requests = 0; // no failure pattern for this one
        if (options.outageRuns > 0) {
            check(measurements.sendAddedMeasurements(), "the send after the outage");
            linesAfterOutage = client.lastLines;
        }
        heapEnd = heapInUse();
    }
    config_destroy(&config);

    std::string log = capture.text();
    capture.restore();
    warnings = count(log, "Measurement queue full: ");
    Logger::instance()->setVerbosity(0);

    unsigned long expectedWarnings =
        options.outageRuns > bound ? (options.outageRuns - bound - 1) / block + 1 : 0;
    unsigned long expectedAfter = options.outageRuns <= bound
                                      ? options.outageRuns
                                      : bound - block + 1 + (options.outageRuns - bound - 1) % block;
    check(warnings == expectedWarnings, "one warning per block dropped: " + std::to_string(warnings) +
                                            " warnings, " + std::to_string(expectedWarnings) + " expected");
    check(maxLines == std::min(options.outageRuns, bound), "the largest request during the outage");
    check(linesAfterOutage == expectedAfter, "the send after the outage carries " +
                                                 std::to_string(linesAfterOutage) + " records, " +
                                                 std::to_string(expectedAfter) + " expected");
    check(heapWorkingEnd <= heapWorking1000 + 4096, "the heap stays flat while the platform works");
    if (options.outageRuns > 0)
        check(heapOutageMax <= heapFlatMax + 16384, "the heap stays flat after the bound");

    std::printf("rounds with the platform working: %lu (%lu requests)\n", options.runs, workingRequests);
    std::printf("heap: %zu bytes at the start, %zu after %lu rounds, %zu after %lu rounds\n", heapStart,
                heapWorking1000, std::min(options.runs, 1000ul), heapWorkingEnd, options.runs);
    std::printf("outage rounds: %lu; largest request %lu lines; %lu warnings of records dropped\n",
                options.outageRuns, maxLines, warnings);
    std::printf(
        "heap during the outage: %zu bytes when the queue first held %lu records, at most "
        "%zu in the next %lu rounds, at most %zu up to the end\n",
        heapAtBound, bound, heapFlatMax, 2 * block, heapOutageMax);
    std::printf("platform back: one send of %lu records; heap %zu bytes\n", linesAfterOutage, heapEnd);
    std::printf("checks: %s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
