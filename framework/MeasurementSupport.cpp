#include "MeasurementSupport.h"

#include "HostObject.h"
#include "Logger.h"
#include "TemplateCollection.h"

namespace {

const char setText[] =
    "PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,"
    "application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING,"
    "\"{\"\"ovx_SupportedMeasurements\"\":[%%]}\"";

const char clearText[] =
    "PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,"
    "application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED,"
    "\"{\"\"ovx_SupportedMeasurements\"\":[]}\"";

const char deviceCheckText[] = ",\"$.ovx_IsDevice\",\"$.id\"";

const int attempts = 3;
const int passes = 3;
const long firstErrorCode = 40;
const long lastErrorCode = 59;

void copyAll(const Aggregator& from, Aggregator& to)
{
    for (unsigned i = 0; i < from.length(); ++i)
        to.add(from.get(i));
}

// Makes room in a full queue: the oldest records go, the rest keep their
// order. False, with the queue unchanged, when memory ran out for the copy.
// Memory can also run out while the kept records go back into the emptied
// queue: those that do not fit are lost too, and the warning counts them.
bool dropOldest(Aggregator& queue)
{
    const unsigned kept = MeasurementSupport::maxPending - MeasurementSupport::droppedWhenFull;
    unsigned lost = queue.length() - kept;
    HostObject<Aggregator> rest(kept, true, false);
    for (unsigned i = lost; i < queue.length(); ++i)
        if (!rest->add(queue.get(i)))
            return false;
    queue.clear();
    for (unsigned i = 0; i < rest->length(); ++i)
        if (!queue.add(rest->get(i)))
            ++lost;
    Logger::log(Logger::WRN, "Measurement queue full: %u oldest measurements dropped.", lost);
    return true;
}

} // namespace

MeasurementSupport::MeasurementSupport(AbstractAgent& agent)
    : client(agent.requestClient()),
      templates(agent.templateCollection()),
      deviceId(agent.deviceId()),
      initialised(false),
      supported(),
      pending(50, true, true),
      setTemplate(Template::REQUEST, setText),
      clearTemplate(Template::REQUEST, clearText),
      deviceCheckTemplate(Template::RESPONSE, deviceCheckText)
{
}

bool MeasurementSupport::init()
{
    if (initialised)
        return false;
    if (!templates->add(setTemplate) || !templates->add(clearTemplate) ||
        !templates->add(deviceCheckTemplate))
        return false;
    initialised = true;
    return true;
}

bool MeasurementSupport::addMeasurement(Record& record)
{
    if (pending.length() >= maxPending && !dropOldest(pending))
        return false;
    return pending.add(record);
}

bool MeasurementSupport::addSupportedMeasurement(const char* name)
{
    if (!name)
        return false;
    Logger::log(Logger::DBG, "Adding supported measurement: %s", name);
    // One append for separator and name, so that a refusal leaves no
    // dangling comma behind.
    if (supported.length() != 0)
        return supported.writef(",\"%s\"", name) != 0;
    return supported.writef("\"%s\"", name) != 0;
}

bool MeasurementSupport::updateSupportedMeasurements()
{
    if (supported.length() != 0)
        return setSupportedMeasurements();
    return clearSupportedMeasurements();
}

bool MeasurementSupport::setSupportedMeasurements()
{
    HostObject<ComposedRecord> record(false);
    const char* list = supported.value();
    if (!list)
        return false;
    if (!record->add(*HostObject<IntegerValue>(setTemplate.msgId())) ||
        !record->add(*HostObject<IntegerValue>(*deviceId)) ||
        !record->add(*HostObject<CharValue>(list, false)))
        return false;
    return answeredByDevice(*record, true);
}

bool MeasurementSupport::clearSupportedMeasurements()
{
    HostObject<ComposedRecord> record(false);
    if (!record->add(*HostObject<IntegerValue>(clearTemplate.msgId())) ||
        !record->add(*HostObject<IntegerValue>(*deviceId)))
        return false;
    return answeredByDevice(*record, false);
}

int MeasurementSupport::request(const RequestData& data, Aggregator& response, bool logFailures)
{
    int result = -1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        result = client->request(data, response, nullptr);
        if (result == 0)
            break;
        response.clear();
        if (logFailures)
            Logger::log(Logger::ERR, "Fastline request failure.");
    }
    return result;
}

// Only the first row counts. A row too short to carry the device id is
// refused like one that answers something else.
bool MeasurementSupport::answeredByDevice(const Record& record, bool fromSet)
{
    HostObject<Aggregator> response(5u, false, true);
    if (request(record, *response, fromSet) != 0)
        return false;
    if (response->length() == 0) {
        if (fromSet)
            Logger::log(Logger::ERR, "No data received.");
        return false;
    }
    const Record& row = response->get(0);
    if (row.size() < 3 || row.value(0).integerValue() != deviceCheckTemplate.msgId())
        return false;
    long device = row.value(2).integerValue();
    if (device == *deviceId)
        return true;
    if (fromSet)
        Logger::log(Logger::ERR, "Device not matching.");
    else
        Logger::log(Logger::ERR, "Returned device ID %ld not matching.", device);
    return false;
}

bool MeasurementSupport::sendAddedMeasurements()
{
    if (pending.length() == 0)
        return true;
    Logger::log(Logger::DBG, "Attempting to send %lu measurements.",
                static_cast<unsigned long>(pending.length()));

    HostObject<Aggregator> batch(50u, true, false);
    HostObject<Aggregator> failed(50u, true, false);
    HostObject<Aggregator> response(50u, true, true);
    copyAll(pending, *batch);

    for (int budget = passes; budget > 0;) {
        if (request(*batch, *response, true) != 0)
            return false;

        collectFailed(*response, *batch, *failed);
        if (failed->length() == 0) {
            pending.clear();
            return true;
        }
        Logger::log(Logger::DBG, "Attempting to re-send failed measurements.");
        batch->clear();
        copyAll(*failed, *batch);
        failed->clear();
        response->clear();
        --budget;
    }
    return false;
}

void MeasurementSupport::collectFailed(const Aggregator& response, const Aggregator& batch,
                                       Aggregator& failed) const
{
    for (unsigned i = 0; i < response.length(); ++i) {
        const Record& row = response.get(i);
        if (row.size() <= 1)
            continue;
        const Value& code = row.value(0);
        if (code.valueType() != VALUE_TYPE_INTEGER || code.integerValue() < firstErrorCode ||
            code.integerValue() > lastErrorCode)
            continue;
        const Value& line = row.value(1);
        if (line.valueType() != VALUE_TYPE_INTEGER) {
            Logger::log(Logger::WRN, "Measurement error cannot be associated with a specific record.");
            continue;
        }
        long n = line.integerValue();
        if (n >= 1 && static_cast<unsigned long>(n) <= batch.length())
            failed.add(batch.get(static_cast<unsigned>(n - 1)));
        else
            Logger::log(Logger::WRN, "Measurement error not found in sent measurements.");
    }
}
