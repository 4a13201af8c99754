// The library's dynamic symbol table is its interface with the host agent
// and the other plug-in libraries: the framework and the two entry points
// are exported, the plug-in's own classes are not, and the host's types
// and libconfig are left for the host process to supply.
#include <elf.h>
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct DynamicSymbols {
    std::set<std::string> defined;    // demangled
    std::set<std::string> undefined;  // demangled
};

std::string demangled(const char* name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

template <typename Ehdr, typename Shdr, typename Sym>
bool readSymbols(const std::vector<char>& file, DynamicSymbols& symbols)
{
    if (file.size() < sizeof(Ehdr))
        return false;
    const Ehdr* header = reinterpret_cast<const Ehdr*>(file.data());
    if (header->e_shoff + header->e_shnum * sizeof(Shdr) > file.size())
        return false;
    const Shdr* sections = reinterpret_cast<const Shdr*>(file.data() + header->e_shoff);
    for (unsigned i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Shdr& names = sections[sections[i].sh_link];
        const Sym* table = reinterpret_cast<const Sym*>(file.data() + sections[i].sh_offset);
        size_t count = sections[i].sh_size / sizeof(Sym);
        for (size_t s = 1; s < count; ++s) {
            const char* name = file.data() + names.sh_offset + table[s].st_name;
            if (!*name)
                continue;
            if (table[s].st_shndx == SHN_UNDEF)
                symbols.undefined.insert(demangled(name));
            else
                symbols.defined.insert(demangled(name));
        }
        return true;
    }
    return false;
}

DynamicSymbols librarySymbols()
{
    std::ifstream in(TESSARD_SYSTEM_RESOURCES, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    DynamicSymbols symbols;
    bool read = file.size() > EI_CLASS && file[EI_CLASS] == ELFCLASS32
                    ? readSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(file, symbols)
                    : readSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(file, symbols);
    EXPECT_TRUE(read) << TESSARD_SYSTEM_RESOURCES;
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
