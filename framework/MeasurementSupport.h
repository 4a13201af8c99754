#ifndef ORVANTA_FRAMEWORK_MEASUREMENTSUPPORT_H
#define ORVANTA_FRAMEWORK_MEASUREMENTSUPPORT_H

#include "Buffer.h"
#include "Export.h"
#include "HostLayout.h"
#include "HostTypes.h"
#include "Template.h"

class TemplateCollection;

// The agent's outgoing queue of records and the keeper of the device's
// supported-measurements list (the ovx_SupportedMeasurements fragment).
//
// The agent's request client, template collection and device id must
// exist when this object is built and outlive it. The device id is read
// through the agent's pointer at each use, so an id set later is seen.
// init() must have succeeded before records built with the templates are
// sent, and the device id must be set before updateSupportedMeasurements().
// Not safe for concurrent use.
//
// The host allocates this object from its own declaration of the class,
// and the pending queue is an Aggregator held by value: the host's and the
// library's Aggregator must have the same size and alignment, or the
// templates that follow the queue land elsewhere than the host reserved
// for them. The check after the class holds every build against these
// headers to the Aggregator the library was built with (HostLayout.h).
class ORVANTA_EXPORT MeasurementSupport {
public:
    // The most records the queue holds. While the platform takes nothing,
    // every run adds one and every send carries them all; once the queue
    // is full, a new record makes the oldest droppedWhenFull records go
    // (one warning each time), the rest keep their order. Should memory run
    // out while the kept records go back into the queue, those that do not
    // fit are lost as well, and the warning counts them. With a working
    // platform the queue is emptied at each send and nothing is dropped.
    //
    // 2000 records are about 440 KiB on the router (221 bytes each on
    // 32-bit ARM, 394 on x86-64), twice that while a send holds its copy,
    // and a request of about 100 KiB: a weak cellular uplink still gets it
    // through when the platform is back. They cover 33 hours of reports at
    // a 60 s interval, or 5 hours with a plug-in that adds a record every
    // 10 s as well.
    static constexpr unsigned maxPending = 2000;
    // Records go a block at a time because the queue can only be cleared
    // and refilled: dropping one per run would copy the whole queue at
    // every run.
    static constexpr unsigned droppedWhenFull = 250;

    explicit MeasurementSupport(AbstractAgent& agent);
    MeasurementSupport(const MeasurementSupport&) = delete;
    MeasurementSupport& operator=(const MeasurementSupport&) = delete;

    // Registers the set, clear and device-check templates. False on a
    // second call, and when the collection refuses one of them.
    bool init();

    // Queues a copy of record, first dropping the oldest records when the
    // queue is full (see maxPending); false when the queue could not take
    // it.
    bool addMeasurement(Record& record);

    // Appends "name" (quoted, nothing escaped) to the comma-separated list.
    // False when the list could not take it (the list is then unchanged)
    // or name is null.
    bool addSupportedMeasurement(const char* name);

    // Writes the list into the managed object, or empties the fragment
    // when the list is empty. True when the platform's answer names this
    // device.
    bool updateSupportedMeasurements();
    bool setSupportedMeasurements();
    bool clearSupportedMeasurements();

    // Sends every queued record in one request and re-sends those that the
    // platform's error rows (40 to 59) name, for at most 3 passes of at
    // most 3 attempts each. The queue is emptied only when a pass ends
    // without an error row that names a line of its batch; on false it
    // keeps every record, including those accepted in an earlier pass.
    bool sendAddedMeasurements();

private:
    // Sends data with up to 3 attempts; 0 when an exchange took place.
    ORVANTA_INTERNAL int request(const RequestData& data, Aggregator& response, bool logFailures);
    // Sends the set (fromSet) or clear record; true when the first row of
    // the answer is the device check naming this device. Only the set
    // request reports failures, each with its own message.
    ORVANTA_INTERNAL bool answeredByDevice(const Record& record, bool fromSet);
    // Adds the batch records that the response's error rows name.
    ORVANTA_INTERNAL void collectFailed(const Aggregator& response, const Aggregator& batch,
                                        Aggregator& failed) const;

    RequestClient* client;
    TemplateCollection* templates;
    long* deviceId;
    bool initialised;
    Buffer supported;
    Aggregator pending;
    Template setTemplate;
    Template clearTemplate;
    Template deviceCheckTemplate;
};

static_assert(sizeof(Aggregator) == ORVANTA_LIBRARY_AGGREGATOR_SIZE &&
                  alignof(Aggregator) == ORVANTA_LIBRARY_AGGREGATOR_ALIGNMENT,
              "These host declarations give Aggregator another size or alignment than those the "
              "framework library was built with (HostLayout.h), so the host's MeasurementSupport "
              "and the library's differ in layout: build the library against these declarations "
              "(ORVANTA_HOST_INCLUDE_DIR)");

#endif
