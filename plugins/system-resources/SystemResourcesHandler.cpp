#include "SystemResourcesHandler.h"

#include "AbstractAgent.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
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

SystemResourcesHandler::SystemResourcesHandler(PluginConfiguration& configuration,
                                               AbstractAgent& agent)
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

    ComposedRecord record(false);
    IntegerValue messageId(mobileTemplate.msgId());
    IntegerValue device(*deviceId);
    CharValue imei(mobile.imei(), false);
    CharValue cellid(mobile.cellid(), false);
    CharValue iccid(mobile.iccid(), false);
    if (!record.add(messageId) || !record.add(device) || !record.add(imei) ||
        !record.add(cellid) || !record.add(iccid))
        return false;
    return measurementSupport.addMeasurement(record);
}
