#include "SystemResourcesHandler.h"

#include "HostObject.h"
#include "HostTypes.h"
#include "Logger.h"
#include "MeasurementSupport.h"
#include "TemplateCollection.h"

namespace {

const char mobileTemplateText[] =
    "PUT,/inventory/managedObjects/%%,"
    "application/vnd.com.zel.orvanta.managedObject+json,"
    "application/vnd.com.zel.orvanta.managedObject+json,"
    "%%,UNSIGNED STRING STRING STRING,"
    "\"{\"\"ovx_Mobile\"\":{\"\"imei\"\":\"\"%%\"\",\"\"cellId\"\":\"\"%%\"\",\"\"iccid\"\":\"\"%%\"\"}}\"";

} // namespace

SystemResourcesHandler::SystemResourcesHandler(PluginConfiguration& configuration, AbstractAgent& agent)
    : PluginHandler(configuration, agent),
      measurementSupport(*agent.measurementSupport()),
      initialised(false),
      mobile(),
      mobileTemplate(1, mobileTemplateText)
{
}

bool SystemResourcesHandler::init()
{
    if (initialised)
        return false;
    if (!templateCollection->add(mobileTemplate))
        return false;
    initialised = true;
    return true;
}

bool SystemResourcesHandler::run()
{
    return mobileInfo();
}

bool SystemResourcesHandler::mobileInfo()
{
    Logger::log(Logger::DBG, "Creating mobile info.");
    mobile.get();
    if (mobile.imei()[0] == '\0') {
        Logger::log(Logger::WRN, "No mobile info available");
        return true;
    }

    // The host's objects may be larger than the declarations built with.
    HostObject<ComposedRecord> record(false);
    HostObject<IntegerValue> messageId(mobileTemplate.msgId());
    HostObject<IntegerValue> device(*deviceId);
    HostObject<CharValue> imei(mobile.imei(), false);
    HostObject<CharValue> cellid(mobile.cellid(), false);
    HostObject<CharValue> iccid(mobile.iccid(), false);
    if (!record->add(*messageId) || !record->add(*device) || !record->add(*imei) || !record->add(*cellid) ||
        !record->add(*iccid))
        return false;
    return measurementSupport.addMeasurement(*record);
}
