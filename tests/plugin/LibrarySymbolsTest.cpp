// The library's dynamic symbol table is its interface with the host agent
// and the other plug-in libraries: the framework and the two entry points
// are exported, the plug-in's own classes are not, and the host's types
// and libconfig are left for the host process to supply.
#include "DynamicSymbols.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct DynamicSymbols {
    std::set<std::string> defined;    // demangled
    std::set<std::string> undefined;  // demangled
};

DynamicSymbols librarySymbols()
{
    orvanta::test::DynamicTable table;
    EXPECT_TRUE(orvanta::test::readDynamicTable(TESSARD_SYSTEM_RESOURCES, table))
        << TESSARD_SYSTEM_RESOURCES;
    DynamicSymbols symbols;
    for (const auto& [name, symbol] : table.symbols)
        (symbol.defined ? symbols.defined : symbols.undefined).insert(orvanta::test::demangled(name));
    return symbols;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Everything the library may export: its entry points, the operations and
// type information of the framework classes, and what the linker defines.
bool exportable(const std::string& symbol)
{
    static const char* const framework[] = {
        "Logger",     "Buffer",     "Plugin",             "PluginManager", "PluginLoader",
        "PluginConfiguration",      "PluginHandler",      "Template",      "TemplateCollection",
        "MeasurementSupport",       "DateValue",          "Value",
    };
    if (symbol == "plugin_init" || symbol == "plugin_finalize" || symbol == "_init" ||
        symbol == "_fini" || symbol == "_edata" || symbol == "_end" || symbol == "__bss_start")
        return true;
    // UndefinedBehaviorSanitizer's type information of the function types
    // whose calls it checks, e.g. "typeinfo for void (char const*)".
    if ((startsWith(symbol, "typeinfo for ") || startsWith(symbol, "typeinfo name for ")) &&
        symbol.find('(') != std::string::npos)
        return true;
    for (const char* name : framework) {
        std::string type = name;
        if (startsWith(symbol, type + "::") || symbol == "vtable for " + type ||
            symbol == "typeinfo for " + type || symbol == "typeinfo name for " + type)
            return true;
    }
    return false;
}

} // namespace

TEST(LibrarySymbols, ExportsTheFrameworkAndTheEntryPointsOnly)
{
    DynamicSymbols symbols = librarySymbols();
    for (const std::string& symbol : symbols.defined)
        EXPECT_TRUE(exportable(symbol)) << "exported: " << symbol;

    const char* const required[] = {
        "plugin_init",
        "plugin_finalize",
        "Logger::log(unsigned char, char const*, ...)",
        "Logger::instance()",
        "PluginManager::addPlugin(Plugin&)",
        "PluginManager::loadPlugin(char const*)",
        "PluginConfiguration::type()",
        "PluginHandler::PluginHandler(PluginConfiguration&, AbstractAgent&)",
        "TemplateCollection::add(Template&)",
        "MeasurementSupport::addMeasurement(Record&)",
        "MeasurementSupport::sendAddedMeasurements()",
    };
    for (const char* symbol : required)
        EXPECT_EQ(symbols.defined.count(symbol), 1u) << "not exported: " << symbol;
}

TEST(LibrarySymbols, KeepsThePluginsOwnClassesHidden)
{
    DynamicSymbols symbols = librarySymbols();
    for (const std::string& symbol : symbols.defined) {
        EXPECT_EQ(symbol.find("MobileInfo"), std::string::npos) << symbol;
        EXPECT_EQ(symbol.find("SystemResources"), std::string::npos) << symbol;
        EXPECT_EQ(symbol.find("aSystemResourcesPlugin"), std::string::npos) << symbol;
    }
}

TEST(LibrarySymbols, LeavesHostTypesAndLibconfigToTheHost)
{
    DynamicSymbols symbols = librarySymbols();
    const char* const host[] = {"ComposedRecord::", "CharValue::", "IntegerValue::",
                                "Aggregator::", "config_"};
    for (const std::string& symbol : symbols.defined)
        for (const char* prefix : host)
            EXPECT_FALSE(startsWith(symbol, prefix)) << "defined: " << symbol;

    EXPECT_EQ(symbols.undefined.count("CharValue::CharValue(char const*, bool)"), 1u);
    EXPECT_EQ(symbols.undefined.count("ComposedRecord::add(Value const&)"), 1u);
    EXPECT_EQ(symbols.undefined.count("config_setting_lookup_string"), 1u);
}
