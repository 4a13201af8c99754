// What a plug-in library offers and expects, read from its dynamic symbol
// table: the entry points exported under their plain names, the host
// types, the framework and libconfig left undefined, and no libconfig
// among the libraries it needs.
#include <gtest/gtest.h>

#include <elf.h>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Symbol {
    bool defined;
    unsigned char bind;
    unsigned char type;
};

struct DynamicTable {
    unsigned machine = 0;
    std::map<std::string, Symbol> symbols;
    std::vector<std::string> needed;
};

std::string textAt(const std::vector<char>& file, size_t table, size_t tableSize, size_t offset)
{
    if (offset >= tableSize || table + tableSize > file.size())
        return std::string();
    const char* start = file.data() + table + offset;
    size_t length = 0;
    while (offset + length < tableSize && start[length])
        ++length;
    return std::string(start, length);
}

template <typename Ehdr, typename Shdr, typename Sym, typename Dyn>
bool readTables(const std::vector<char>& file, DynamicTable& out)
{
    if (file.size() < sizeof(Ehdr))
        return false;
    const Ehdr* header = reinterpret_cast<const Ehdr*>(file.data());
    out.machine = header->e_machine;
    if (header->e_shentsize != sizeof(Shdr) ||
        header->e_shoff + size_t(header->e_shnum) * sizeof(Shdr) > file.size())
        return false;
    const Shdr* sections = reinterpret_cast<const Shdr*>(file.data() + header->e_shoff);
    bool found = false;
    for (unsigned s = 0; s < header->e_shnum; ++s) {
        const Shdr& section = sections[s];
        if (section.sh_type != SHT_DYNSYM && section.sh_type != SHT_DYNAMIC)
            continue;
        if (section.sh_link >= header->e_shnum ||
            section.sh_offset + section.sh_size > file.size())
            return false;
        const Shdr& strings = sections[section.sh_link];
        if (section.sh_type == SHT_DYNSYM) {
            found = true;
            const Sym* symbols = reinterpret_cast<const Sym*>(file.data() + section.sh_offset);
            for (size_t i = 1; i < section.sh_size / sizeof(Sym); ++i) {
                // Some linkers list section symbols, which are local.
                if ((symbols[i].st_info >> 4) == STB_LOCAL)
                    continue;
                std::string name = textAt(file, strings.sh_offset, strings.sh_size, symbols[i].st_name);
                out.symbols[name] = Symbol{symbols[i].st_shndx != SHN_UNDEF,
                                           static_cast<unsigned char>(symbols[i].st_info >> 4),
                                           static_cast<unsigned char>(symbols[i].st_info & 0xf)};
            }
        } else {
            const Dyn* entries = reinterpret_cast<const Dyn*>(file.data() + section.sh_offset);
            for (size_t i = 0; i < section.sh_size / sizeof(Dyn) && entries[i].d_tag != DT_NULL; ++i) {
                if (entries[i].d_tag == DT_NEEDED)
                    out.needed.push_back(
                        textAt(file, strings.sh_offset, strings.sh_size, entries[i].d_un.d_val));
            }
        }
    }
    return found;
}

bool readLibrary(const std::string& path, DynamicTable& out)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < EI_NIDENT || file[EI_MAG0] != ELFMAG0 || file[EI_MAG1] != ELFMAG1 ||
        file[EI_MAG2] != ELFMAG2 || file[EI_MAG3] != ELFMAG3)
        return false;
    if (file[EI_CLASS] == ELFCLASS32)
        return readTables<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym, Elf32_Dyn>(file, out);
    return readTables<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym, Elf64_Dyn>(file, out);
}

#if defined(__arm__)
const unsigned ownMachine = EM_ARM;
#elif defined(__x86_64__)
const unsigned ownMachine = EM_X86_64;
#else
const unsigned ownMachine = EM_NONE;
#endif

// Symbols the static linker defines in every shared object.
const std::set<std::string> linkerSymbols = {"_edata", "_end", "__bss_start", "_init", "_fini",
                                             "__bss_start__", "__bss_end__", "_bss_end__",
                                             "__end__"};

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
    ASSERT_TRUE(readLibrary(std::string(TEST_PLUGIN_DIR) + "/testplugin-alpha.so", table));
    EXPECT_EQ(table.machine, ownMachine);
    expectEntryPoints(table);
    expectUndefined(table, {
        "_ZN13PluginManager9addPluginER6Plugin",                          // framework
        "_ZN6Logger3logEhPKcz",
        "_ZN13PluginHandlerC2ER19PluginConfigurationR13AbstractAgent",
        "_ZN13PluginHandler4typeEv",
        "_ZN14ComposedRecordC1Eb",                                        // host
        "_ZN14ComposedRecord3addERK5Value",
        "_ZN12IntegerValueC1El",
        "_ZN9CharValueC1EPKcb",
        "_ZN10AggregatorC1Ejbb",
        "config_read_string",                                             // libconfig
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
    ASSERT_TRUE(readLibrary(std::string(TEST_PLUGIN_DIR) + "/testplugin-framework.so", table));
    EXPECT_EQ(table.machine, ownMachine);
    expectEntryPoints(table);
    for (const char* name : {"_ZN13PluginManager9addPluginER6Plugin", "_ZN6Logger3logEhPKcz",
                             "_ZN6Logger4dataEPKc", "_ZN12PluginLoader10loadPluginEPKc",
                             "_ZN19PluginConfiguration8intValueEPKc",
                             "_ZN13PluginHandlerD2Ev", "_ZTV5Value"}) {
        auto found = table.symbols.find(name);
        ASSERT_NE(found, table.symbols.end()) << name;
        EXPECT_TRUE(found->second.defined) << name;
    }
    expectUndefined(table, {"_ZN14ComposedRecordC1Eb", "_ZN12IntegerValueC1El",
                            "config_setting_lookup_int", "config_setting_lookup_string",
                            "config_setting_lookup_bool", "config_setting_lookup_float", "dlopen",
                            "dlsym", "dlerror", "dlclose"});
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
