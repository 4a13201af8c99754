// Buffer: arbitrary sequences of raw appends, formatted writes, room
// requests and reads. After every step the text equals a model built with
// std::string and snprintf, is NUL-terminated, and the storage is exactly
// what the growth rule (256 bytes, then steps of 64) gives for what was
// asked so far.
#include "Buffer.h"
#include "Require.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

__attribute__((format(printf, 1, 2))) std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    va_end(args);
    return text;
}

// The growth rule: the size the storage has after asking for need bytes.
unsigned grown(unsigned capacity, unsigned long long need)
{
    if (capacity == 0)
        return need <= 256 ? 256 : static_cast<unsigned>(256 + (need - 256 + 63) / 64 * 64);
    if (need <= capacity)
        return capacity;
    return static_cast<unsigned>(capacity + (need - capacity + 63) / 64 * 64);
}

struct Model {
    std::string text;
    unsigned capacity = 0;

    void ask(unsigned long long need) { capacity = grown(capacity, need); }
    void append(const std::string& more)
    {
        ask(text.size() + more.size() + 1);
        text += more;
    }
};

void check(Buffer& buffer, const Model& model)
{
    require(buffer.length() == model.text.size(), "length");
    require(buffer.storageSize() == model.capacity, "storage size");
    if (model.capacity == 0)
        return;
    const char* value = buffer.value();
    require(value != nullptr, "value");
    require(std::memcmp(value, model.text.data(), model.text.size()) == 0, "text");
    require(value[model.text.size()] == '\0', "terminator");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Buffer buffer;
    Model model;
    while (input.remaining_bytes() > 0 && model.text.size() < (1u << 20)) {
        switch (input.ConsumeIntegralInRange(0, 6)) {
        case 0: {
            std::string bytes = input.ConsumeRandomLengthString(1000);
            unsigned n = static_cast<unsigned>(bytes.size());
            require(buffer.write(bytes.data(), n) == n, "write");
            model.append(bytes);
            break;
        }
        case 1: {
            std::string s = input.ConsumeRandomLengthString(300);
            unsigned limit = input.ConsumeIntegralInRange<unsigned>(0, 400);
            std::string full = formatted("%s", s.c_str());
            std::string kept = full.substr(0, limit);
            require(buffer.nwritef(limit, "%s", s.c_str()) == kept.size(), "nwritef");
            model.ask(model.text.size() + limit + 1);
            model.text += kept;
            break;
        }
        case 2: {
            int i = input.ConsumeIntegral<int>();
            unsigned u = input.ConsumeIntegral<unsigned>();
            std::string s = input.ConsumeRandomLengthString(100);
            std::string full = formatted("%d|%s|%x", i, s.c_str(), u);
            require(buffer.writef("%d|%s|%x", i, s.c_str(), u) == full.size(), "writef");
            model.append(full);
            break;
        }
        case 3: {
            int precision = input.ConsumeIntegralInRange(0, 200);
            int width = input.ConsumeIntegralInRange(-300, 300);
            std::string s = input.ConsumeRandomLengthString(200);
            std::string full = formatted("%.*s%*d", precision, s.c_str(), width, precision);
            require(buffer.writef("%.*s%*d", precision, s.c_str(), width, precision) == full.size(),
                    "writef with precision and width");
            model.append(full);
            break;
        }
        case 4: {
            unsigned n = input.ConsumeIntegralInRange<unsigned>(0, 5000);
            require(buffer.ensureFreeCapacity(n), "ensureFreeCapacity");
            model.ask(model.text.size() + n);
            break;
        }
        case 5:
            require(buffer.writef("%s", "") == 0, "empty writef");
            model.ask(model.text.size() + 1);
            break;
        default:
            require(buffer.value() != nullptr, "value");
            model.ask(1);
            break;
        }
        check(buffer, model);
    }
    return 0;
}
