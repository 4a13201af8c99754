// Arbitrary bytes as a settings file: every lookup (text, number, address)
// gives a sane result, and each value found, written back with the writers
// and read again, comes back as it was (text cut to 16000 bytes). So does
// the input itself as a text value, up to its first NUL, CR or LF. Each
// module key changed in a copy of the file reads as its new value, and
// every other key as before.
#include "cfg.h"

#include <strings.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t valueMax = 16000;

[[noreturn]] void fail(const char* what, const std::string& key)
{
    std::fprintf(stderr, "%s (key \"%s\")\n", what, key.c_str());
    std::abort();
}

// A read stream over bytes; null for none (the reader's missing file).
FILE* reading(const std::string& bytes)
{
    return bytes.empty() ? nullptr : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

struct Found {
    std::string key, text;
    uint32_t number, address;
};

const std::vector<std::string> moduleKeys = {"MOD_ORVANTA_ENABLED", "MOD_ORVANTA_USERNAME",
                                             "MOD_ORVANTA_PASSWORD", "MOD_ORVANTA_INTERVAL"};

std::vector<Found> lookUp(const std::string& file)
{
    // The module's keys, and the key of the first line, whatever it is.
    std::vector<std::string> keys = moduleKeys;
    keys.push_back("");
    std::size_t eq = file.find('=');
    std::string first = file.substr(0, eq == std::string::npos ? 0 : std::min<std::size_t>(eq, 64));
    keys.push_back(first.substr(0, std::strlen(first.c_str())));

    std::vector<Found> found;
    FILE* in = reading(file);
    for (const std::string& key : keys) {
        char* text = cfg_get_str(in, key.c_str());
        if (!text)
            fail("cfg_get_str gave null", key);
        std::string value = text;
        std::free(text);
        if (value.size() > 16382 || value.find_first_of("\r\n") != std::string::npos)
            fail("a value longer than a line, or holding CR or LF", key);
        found.push_back({key, value, cfg_get_int(in, key.c_str()), cfg_get_ip(in, key.c_str())});
    }
    cfg_close(in);
    return found;
}

// Writes each found value under keys of its own, and the raw text.
std::string writeBack(const std::vector<Found>& found, const std::string& raw)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (!out)
        std::abort();
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::string n = std::to_string(i);
        cfg_put_str(out, ("T" + n).c_str(), found[i].text.c_str());
        cfg_put_int(out, ("N" + n).c_str(), found[i].number, 1);
        cfg_put_ip(out, ("I" + n).c_str(), found[i].address);
    }
    cfg_put_str(out, "RAW", raw.c_str());
    std::fclose(out);
    std::string written(buffer, size);
    std::free(buffer);
    return written;
}

std::string text(FILE* in, const std::string& key)
{
    char* value = cfg_get_str(in, key.c_str());
    std::string out = value ? value : "<null>";
    std::free(value);
    return out;
}

const char changed[] = "changed value";

int putChanged(FILE* out, void* key)
{
    return int{cfg_put_str(out, static_cast<const char*>(key), changed) >= 0};
}

void checkChanges(const std::string& file, const std::vector<Found>& found)
{
    for (const std::string& key : moduleKeys) {
        char* buffer = nullptr;
        std::size_t size = 0;
        FILE* out = open_memstream(&buffer, &size);
        FILE* in = reading(file);
        if (!out || !cfg_copy_replacing(in, out, key.c_str(), putChanged, const_cast<char*>(key.c_str())))
            fail("a copy with the key changed failed", key);
        cfg_close(in);
        std::fclose(out);
        const std::string copy(buffer, size);
        std::free(buffer);
        FILE* back = reading(copy);
        if (text(back, key) != changed)
            fail("a changed key did not read as its new value", key);
        for (const Found& other : found)
            if (strcasecmp(other.key.c_str(), key.c_str()) != 0 && text(back, other.key) != other.text)
                fail("changing a key changed another", other.key + "\" changing \"" + key);
        cfg_close(back);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::vector<Found> found = lookUp(file);
    std::string raw = file.substr(0, std::strlen(file.c_str()));
    raw = raw.substr(0, raw.find_first_of("\r\n"));

    std::string written = writeBack(found, raw);
    FILE* in = reading(written);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::string n = std::to_string(i);
        if (text(in, "T" + n) != found[i].text.substr(0, valueMax))
            fail("a text value did not read back", found[i].key);
        if (cfg_get_int(in, ("N" + n).c_str()) != found[i].number)
            fail("a number did not read back", found[i].key);
        if (cfg_get_ip(in, ("I" + n).c_str()) != found[i].address)
            fail("an address did not read back", found[i].key);
    }
    if (text(in, "RAW") != raw.substr(0, valueMax))
        fail("the input as a text value did not read back", "RAW");
    cfg_close(in);
    checkChanges(file, found);
    return 0;
}
