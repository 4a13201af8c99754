#ifndef ORVANTA_SYSTEMRESOURCES_SYSTEMRESOURCESHANDLER_H
#define ORVANTA_SYSTEMRESOURCES_SYSTEMRESOURCESHANDLER_H

#include "MobileInfo.h"
#include "PluginHandler.h"
#include "Template.h"

class MeasurementSupport;

// Reports the modem's IMEI, cell id and SIM ICCID as the ovx_Mobile
// fragment of the device's managed object: one record per run, queued in
// the agent's measurement support, which sends it.
class SystemResourcesHandler : public PluginHandler {
public:
    // Takes the agent's measurement support, which must outlive the handler.
    SystemResourcesHandler(PluginConfiguration& configuration, AbstractAgent& agent);

    // Registers the mobile template in the agent's template collection.
    // True once it is registered; false when it was already registered by
    // an earlier init() or the collection refused it (then a later init()
    // tries again).
    bool init() override;
    // One mobile report; see mobileInfo().
    bool run() override;

    // Asks the router for the identifiers and queues one record: message
    // id, device id, IMEI, cell id, ICCID. Without an IMEI nothing is
    // queued and the run still counts as done (true). False when the
    // record could not be built or the queue refused it.
    bool mobileInfo();

private:
    MeasurementSupport& measurementSupport;
    bool initialised;
    MobileInfo mobile;
    Template mobileTemplate;
};

#endif
