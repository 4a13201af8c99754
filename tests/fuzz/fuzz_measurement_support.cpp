// MeasurementSupport against a request client whose every answer comes
// from the input: transport failures, rows of any length, error rows
// (40 to 59) naming any line, texts where numbers belong. Records are
// queued and sent in any order, and the supported-measurements fragment is
// set and cleared. Each send is checked against the rules: the first
// request carries the queue in order, a failed attempt is repeated as it
// was (3 at most), each re-send pass carries exactly the records that the
// last answer's error rows named (3 passes at most), and the queue is
// emptied exactly when a pass ends without such a row. Nothing may leak.
// (The model drops the oldest 250 records at 2000, the README's figures, as
// the queue must, but inputs seldom queue that many: a full queue makes an
// input a hundred times slower. The unit tests and the long run cover it.)
#include "Agent.h"
#include "ComposedRecord.h"
#include "Csv.h"
#include "IntegerValue.h"
#include "MeasurementSupport.h"
#include "Require.h"
#include "ScriptedRequestClient.h"
#include "TemplateCollection.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace {

using Field = ScriptedRequestClient::Field;
using Lines = std::vector<std::string>;

struct Exchange {
    Lines lines;
    ScriptedRequestClient::Answer answer;
};

ScriptedRequestClient::Answer answerFrom(FuzzedDataProvider& input)
{
    ScriptedRequestClient::Answer answer;
    if (input.ConsumeIntegralInRange(0, 3) == 0) {
        answer.status = input.ConsumeIntegral<int>() | 1;
        return answer;
    }
    for (int rows = input.ConsumeIntegralInRange(0, 4); rows > 0; --rows) {
        ScriptedRequestClient::Row row;
        for (int values = input.ConsumeIntegralInRange(0, 3); values > 0; --values) {
            switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                row.push_back(Field::string(input.ConsumeRandomLengthString(8)));
                break;
            case 1:
                row.push_back(Field::integer(input.ConsumeIntegral<long>()));
                break;
            default:
                // Error codes and line numbers, and the values around them.
                row.push_back(Field::integer(input.ConsumeIntegralInRange<long>(-1, 62)));
                break;
            }
        }
        answer.rows.push_back(row);
    }
    return answer;
}

// The lines of a pass's next batch: the records that the answer's error
// rows name, in the order of the rows.
Lines named(const Lines& batch, const ScriptedRequestClient::Answer& answer)
{
    Lines failed;
    for (const ScriptedRequestClient::Row& row : answer.rows) {
        if (row.size() <= 1 || row[0].isText || row[0].number < 40 || row[0].number > 59 || row[1].isText)
            continue;
        long n = row[1].number;
        if (n >= 1 && static_cast<unsigned long>(n) <= batch.size())
            failed.push_back(batch[static_cast<size_t>(n - 1)]);
    }
    return failed;
}

// Checks one send's exchanges and result against the rules; gives whether
// the queue must be empty afterwards.
bool checkSend(const std::deque<long>& queue, const std::vector<Exchange>& exchanges, bool result)
{
    Lines batch;
    for (long id : queue)
        batch.push_back(std::to_string(id));
    size_t at = 0;
    bool emptied = false;
    if (!batch.empty()) {
        for (int pass = 0; pass < 3 && !emptied; ++pass) {
            int attempt = 0;
            for (; attempt < 3; ++attempt, ++at) {
                require(at < exchanges.size(), "too few requests");
                require(exchanges[at].lines == batch, "request lines");
                if (exchanges[at].answer.status == 0)
                    break;
            }
            if (attempt == 3)
                break;
            batch = named(batch, exchanges[at++].answer);
            emptied = batch.empty();
        }
    } else {
        emptied = true;
    }
    require(at == exchanges.size(), "too many requests");
    require(result == emptied, "result");
    return emptied;
}

// The queue's bound and its drop block.
const size_t bound = 2000;
const size_t block = 250;

// Queues n records numbered from next on, and the same in the model: a
// full queue loses its oldest records first.
void queueRecords(MeasurementSupport& support, std::deque<long>& queue, long& next, unsigned n)
{
    for (; n > 0; --n) {
        ComposedRecord record(false);
        require(record.add(IntegerValue(next)), "record");
        require(support.addMeasurement(record), "addMeasurement");
        if (queue.size() >= bound)
            queue.erase(queue.begin(), queue.begin() + static_cast<long>(block));
        queue.push_back(next++);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The logger's error lines, one per failed attempt, would bury the
    // fuzzer's own output (which keeps the original stream) and slow it.
    stderr = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    ScriptedRequestClient client;
    TemplateCollection templates;
    Agent agent(client, templates, 4711);
    MeasurementSupport support(agent);
    agent.setMeasurementSupport(&support);
    require(support.init(), "init");

    std::vector<Exchange> exchanges;
    client.setResponder([&](const RequestData& sent) {
        exchanges.push_back({csvLines(sent), answerFrom(input)});
        return exchanges.back().answer;
    });
    std::deque<long> queue;
    long next = 1;
    // A send copies the whole queue, so that long inputs with long queues
    // would slow the run to a crawl; 32 steps reach every rule.
    for (int step = 0; step < 32 && input.remaining_bytes() > 0; ++step) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0: {
            exchanges.clear();
            bool result = support.sendAddedMeasurements();
            if (checkSend(queue, exchanges, result))
                queue.clear();
            break;
        }
        case 1:
            support.addSupportedMeasurement(input.ConsumeRandomLengthString(20).c_str());
            break;
        case 2:
            support.updateSupportedMeasurements();
            break;
        default:
            queueRecords(support, queue, next, input.ConsumeIntegralInRange(1u, 4u));
            break;
        }
    }
    return 0;
}
