// What a plug-in library offers and expects, read from its dynamic symbol
// table: the entry points exported under their plain names, the host
// types, the framework and libconfig left undefined, and no libconfig
// among the libraries it needs.
#include "DynamicSymbols.h"

#include <gtest/gtest.h>

#include <elf.h>
#include <set>
#include <string>
#include <vector>

using orvanta::test::DynamicTable;
using orvanta::test::readDynamicTable;

namespace {

#if defined(__arm__)
const unsigned ownMachine = EM_ARM;
#elif defined(__x86_64__)
const unsigned ownMachine = EM_X86_64;
#else
const unsigned ownMachine = EM_NONE;
#endif

// Symbols the static linker defines in every shared object.
const std::set<std::string> linkerSymbols = {"_edata",        "_end",        "__bss_start", "_init",  "_fini",
                                             "__bss_start__", "__bss_end__", "_bss_end__",  "__end__"};

class PluginSymbolsTest : public ::testing::Test {
protected:
    void expectEntryPoints(const DynamicTable& table)
    {
        for (const char* name : {"plugin_init", "plugin_finalize"}) {
            auto found = table.symbols.find(name);
            ASSERT_NE(found, table.symbols.end()) << name;
            EXPECT_TRUE(found->second.defined) << name;
            EXPECT_EQ(found->second.bind, STB_GLOBAL) << name;
            EXPECT_EQ(found->second.type, STT_FUNC) << name;
        }
    }

    void expectUndefined(const DynamicTable& table, const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            auto found = table.symbols.find(name);
            ASSERT_NE(found, table.symbols.end()) << name;
            EXPECT_FALSE(found->second.defined) << name;
        }
    }

    void expectNoLibconfig(const DynamicTable& table)
    {
        for (const std::string& needed : table.needed)
            EXPECT_EQ(needed.find("libconfig"), std::string::npos) << needed;
        for (const auto& [name, symbol] : table.symbols) {
            if (name.compare(0, 7, "config_") == 0) {
                EXPECT_FALSE(symbol.defined) << name;
            }
        }
    }
};

} // namespace

TEST_F(PluginSymbolsTest, APluginLibraryExportsItsEntryPointsAndTakesTheRestFromTheHost)
{
    DynamicTable table;
    ASSERT_TRUE(readDynamicTable(std::string(TEST_PLUGIN_DIR) + "/testplugin-alpha.so", table));
    EXPECT_EQ(table.machine, ownMachine);
    expectEntryPoints(table);
    expectUndefined(table, {
                               "_ZN13PluginManager9addPluginER6Plugin", // framework
                               "_ZN6Logger3logEhPKcz",
                               "_ZN13PluginHandlerC2ER19PluginConfigurationR13AbstractAgent",
                               "_ZN13PluginHandler4typeEv",
                               "_ZN14ComposedRecordC1Eb", // host
                               "_ZN14ComposedRecord3addERK5Value",
                               "_ZN12IntegerValueC1El",
                               "_ZN9CharValueC1EPKcb",
                               "_ZN10AggregatorC1Ejbb",
                               "config_read_string", // libconfig
                               "config_lookup_int",
                           });
    expectNoLibconfig(table);
    // Everything else it defines is hidden; only weak copies of vtables and
    // type information (of the exported Plugin interface, and of function
    // types where the sanitizer checks calls) may show.
    for (const auto& [name, symbol] : table.symbols) {
        if (!symbol.defined || linkerSymbols.count(name) || name == "plugin_init" ||
            name == "plugin_finalize")
            continue;
        EXPECT_EQ(symbol.bind, STB_WEAK) << name;
        EXPECT_EQ(name.compare(0, 3, "_ZT"), 0) << name;
    }
}

TEST_F(PluginSymbolsTest, ALibraryCarryingTheFrameworkExportsIt)
{
    DynamicTable table;
    ASSERT_TRUE(readDynamicTable(std::string(TEST_PLUGIN_DIR) + "/testplugin-framework.so", table));
    EXPECT_EQ(table.machine, ownMachine);
    expectEntryPoints(table);
    for (const char* name :
         {"_ZN13PluginManager9addPluginER6Plugin", "_ZN6Logger3logEhPKcz", "_ZN6Logger4dataEPKc",
          "_ZN12PluginLoader10loadPluginEPKc", "_ZN19PluginConfiguration8intValueEPKc",
          "_ZN13PluginHandlerD2Ev", "_ZTV5Value"}) {
        auto found = table.symbols.find(name);
        ASSERT_NE(found, table.symbols.end()) << name;
        EXPECT_TRUE(found->second.defined) << name;
    }
    expectUndefined(table, {"_ZN14ComposedRecordC1Eb", "_ZN12IntegerValueC1El", "config_setting_lookup_int",
                            "config_setting_lookup_string", "config_setting_lookup_bool",
                            "config_setting_lookup_float", "dlopen", "dlsym", "dlerror", "dlclose"});
    expectNoLibconfig(table);
    // What the framework keeps to itself stays hidden: nothing plain-C
    // beyond the entry points, nothing from an anonymous namespace.
    for (const auto& [name, symbol] : table.symbols) {
        if (!symbol.defined || linkerSymbols.count(name) || name == "plugin_init" ||
            name == "plugin_finalize")
            continue;
        EXPECT_EQ(name.compare(0, 2, "_Z"), 0) << name;
        EXPECT_EQ(name.find("_GLOBAL__N"), std::string::npos) << name;
    }
}
