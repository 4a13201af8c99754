// The dynamic symbol table and the needed libraries of a shared object,
// read from the file itself (32- or 64-bit ELF), so that the tests read
// the router's ARM libraries as well as this machine's.
#ifndef ORVANTA_TESTS_SUPPORT_DYNAMICSYMBOLS_H
#define ORVANTA_TESTS_SUPPORT_DYNAMICSYMBOLS_H

#include <map>
#include <string>
#include <vector>

namespace orvanta::test {

struct DynamicSymbol {
    bool defined;
    unsigned char bind;
    unsigned char type;
};

// Global and weak symbols by their (mangled) names.
struct DynamicTable {
    unsigned machine = 0;
    std::map<std::string, DynamicSymbol> symbols;
    std::vector<std::string> needed;
};

// False when path is no ELF file or has no dynamic symbol table.
bool readDynamicTable(const std::string& path, DynamicTable& out);

// The readable form of a C++ symbol name; other names unchanged.
std::string demangled(const std::string& name);

} // namespace orvanta::test

#endif
