// The library's dynamic symbol table is its interface with the host agent
// and the other plug-in libraries: the framework's interface and the two
// entry points are exported, nothing else (no private helper, nothing of
// the plug-in's own classes), and the host's types and libconfig are left
// for the host process to supply.
#include "DynamicSymbols.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct DynamicSymbols {
    std::set<std::string> defined;   // demangled
    std::set<std::string> undefined; // demangled
};

DynamicSymbols librarySymbols()
{
    orvanta::test::DynamicTable table;
    EXPECT_TRUE(orvanta::test::readDynamicTable(ORVANTA_PLUGIN, table)) << ORVANTA_PLUGIN;
    DynamicSymbols symbols;
    for (const auto& [name, symbol] : table.symbols)
        (symbol.defined ? symbols.defined : symbols.undefined).insert(orvanta::test::demangled(name));
    return symbols;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The library's interface: the entry points and the framework's public
// operations, no private helper and nothing of the plug-in's own classes.
// va_list is demangled per architecture; it is written "va_list" here.
const std::set<std::string> interface = {
    "plugin_init",
    "plugin_finalize",
    "Buffer::Buffer()",
    "Buffer::~Buffer()",
    "Buffer::length() const",
    "Buffer::storageSize() const",
    "Buffer::ensureFreeCapacity(unsigned int)",
    "Buffer::value()",
    "Buffer::write(char const*, unsigned int)",
    "Buffer::nwritef(unsigned int, char const*, ...)",
    "Buffer::vnwritef(unsigned int, char const*, va_list)",
    "Buffer::writef(char const*, ...)",
    "Buffer::vwritef(char const*, va_list)",
    "DateValue::DateValue(long const*)",
    "DateValue::~DateValue()",
    "DateValue::valueType() const",
    "DateValue::integerValue() const",
    "DateValue::floatValue() const",
    "DateValue::characterValue() const",
    "DateValue::write(AbstractDataSink&) const",
    "DateValue::length() const",
    "DateValue::copy() const",
    "Logger::Logger()",
    "Logger::instance()",
    "Logger::setVerbosity(unsigned char)",
    "Logger::getVerbosity()",
    "Logger::log(unsigned char, char const*, ...)",
    "Logger::logMessage(unsigned char, char const*, ...)",
    "Logger::vLogMessage(unsigned char, char const*, va_list)",
    "Logger::data(char const*)",
    "Logger::logData(char const*)",
    "Logger::logTime()",
    "MeasurementSupport::MeasurementSupport(AbstractAgent&)",
    "MeasurementSupport::init()",
    "MeasurementSupport::addMeasurement(Record&)",
    "MeasurementSupport::addSupportedMeasurement(char const*)",
    "MeasurementSupport::updateSupportedMeasurements()",
    "MeasurementSupport::setSupportedMeasurements()",
    "MeasurementSupport::clearSupportedMeasurements()",
    "MeasurementSupport::sendAddedMeasurements()",
    "PluginConfiguration::PluginConfiguration(config_setting_t*)",
    "PluginConfiguration::stringValue(char const*)",
    "PluginConfiguration::intValue(char const*)",
    "PluginConfiguration::boolValue(char const*)",
    "PluginConfiguration::doubleValue(char const*)",
    "PluginConfiguration::type()",
    "PluginConfiguration::interval()",
    "PluginConfiguration::next()",
    "PluginHandler::PluginHandler(PluginConfiguration&, AbstractAgent&)",
    "PluginHandler::~PluginHandler()",
    "PluginHandler::type()",
    "PluginHandler::interval()",
    "PluginLoader::PluginLoader(PluginManager&)",
    "PluginLoader::~PluginLoader()",
    "PluginLoader::loadPlugin(char const*)",
    "PluginLoader::unloadPlugin(unsigned int)",
    "PluginManager::PluginManager()",
    "PluginManager::pluginCount()",
    "PluginManager::getPlugin(unsigned int)",
    "PluginManager::addPlugin(Plugin&)",
    "PluginManager::loadPlugin(char const*)",
    "Template::Template(unsigned char, char const*)",
    "Template::type() const",
    "Template::msgId() const",
    "Template::templateString() const",
    "Template::templateHash() const",
    "Template::generateHash()",
    "Template::hashOf(char const*)",
    "TemplateCollection::TemplateCollection()",
    "TemplateCollection::~TemplateCollection()",
    "TemplateCollection::add(Template&)",
    "TemplateCollection::templateString() const",
    "TemplateCollection::templateIdentifier() const",
    "TemplateCollection::templateHash() const",
    "TemplateCollection::bufferSize() const",
    "Value::~Value()",
};

// Exported besides the interface: what the linker defines, the vtables and
// type information of the framework's polymorphic classes (emitted as the
// compiler sees fit), and UndefinedBehaviorSanitizer's type information of
// the function types whose calls it checks, e.g. "typeinfo for void (char
// const*)".
bool alsoExported(const std::string& symbol)
{
    static const std::set<std::string> linker = {"_init",       "_fini",       "_edata",
                                                 "_end",        "__bss_start", "__bss_start__",
                                                 "__bss_end__", "_bss_end__",  "__end__"};
    if (linker.count(symbol))
        return true;
    bool typeInformation = startsWith(symbol, "typeinfo for ") || startsWith(symbol, "typeinfo name for ");
    if (typeInformation && symbol.find('(') != std::string::npos)
        return true;
    for (const char* type : {"Plugin", "PluginHandler", "DateValue", "Value"}) {
        if (symbol == std::string("vtable for ") + type || symbol == std::string("typeinfo for ") + type ||
            symbol == std::string("typeinfo name for ") + type)
            return true;
    }
    return false;
}

std::string withPlainVaList(std::string symbol)
{
    for (const char* form : {"__va_list_tag*", "std::__va_list"}) {
        for (size_t at = symbol.find(form); at != std::string::npos; at = symbol.find(form))
            symbol.replace(at, std::string(form).size(), "va_list");
    }
    return symbol;
}

} // namespace

TEST(LibrarySymbols, ExportsTheFrameworksInterfaceAndNothingElse)
{
    DynamicSymbols symbols = librarySymbols();
    std::set<std::string> exported;
    for (const std::string& symbol : symbols.defined) {
        if (!alsoExported(symbol))
            exported.insert(withPlainVaList(symbol));
    }
    for (const std::string& symbol : exported)
        EXPECT_EQ(interface.count(symbol), 1u) << "exported: " << symbol;
    for (const std::string& symbol : interface)
        EXPECT_EQ(exported.count(symbol), 1u) << "not exported: " << symbol;
}

TEST(LibrarySymbols, LeavesHostTypesAndLibconfigToTheHost)
{
    DynamicSymbols symbols = librarySymbols();
    const char* const host[] = {
        "ComposedRecord::", "CharValue::", "IntegerValue::", "Aggregator::", "config_"};
    for (const std::string& symbol : symbols.defined)
        for (const char* prefix : host)
            EXPECT_FALSE(startsWith(symbol, prefix)) << "defined: " << symbol;

    EXPECT_EQ(symbols.undefined.count("CharValue::CharValue(char const*, bool)"), 1u);
    EXPECT_EQ(symbols.undefined.count("ComposedRecord::add(Value const&)"), 1u);
    EXPECT_EQ(symbols.undefined.count("config_setting_lookup_string"), 1u);
}
