#include "DynamicSymbols.h"

#include <cxxabi.h>
#include <elf.h>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace orvanta::test {

namespace {

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
        if (section.sh_link >= header->e_shnum || section.sh_offset + section.sh_size > file.size())
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
                out.symbols[name] = DynamicSymbol{symbols[i].st_shndx != SHN_UNDEF,
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

} // namespace

bool readDynamicTable(const std::string& path, DynamicTable& out)
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

std::string demangled(const std::string& name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

} // namespace orvanta::test
