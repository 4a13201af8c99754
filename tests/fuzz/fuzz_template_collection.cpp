// TemplateCollection: arbitrary texts and kinds, templates added twice,
// destroyed while the collection lives on, and made again with an earlier
// text. After every step the registration text is exactly the lines of the
// accepted templates, IDs count from 1000 (requests) and 2000 (responses),
// a text already registered (by hash) shares its ID, and the identifier
// and hash follow the text.
#include "Require.h"
#include "Template.h"
#include "TemplateCollection.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

uint64_t djb2(const std::string& text)
{
    uint64_t h = 5381;
    for (unsigned char byte : text)
        h = h * 33 + byte;
    return h;
}

struct Registered {
    uint64_t hash;
    uint16_t id;
};

struct Model {
    std::string text;
    std::vector<Registered> registered;
    uint16_t nextRequest = 1000;
    uint16_t nextResponse = 2000;

    // add() of a template of this kind, text and current ID: the result
    // and the ID afterwards.
    bool add(unsigned char kind, const std::string& templateText, uint16_t& id)
    {
        if (id != 0)
            return false;
        uint64_t hash = djb2(templateText);
        for (const Registered& r : registered)
            if (r.hash == hash)
                return id = r.id, true;
        if (kind != 1 && kind != 2)
            return false;
        id = kind == 1 ? nextRequest++ : nextResponse++;
        text += (kind == 1 ? "10," : "11,") + std::to_string(id) + "," + templateText + "\r\n";
        registered.push_back({hash, id});
        return true;
    }
};

struct Live {
    std::unique_ptr<Template> t;
    std::string text; // as the template sees it: up to the first NUL
    uint16_t id = 0;
};

void check(const TemplateCollection& collection, const Model& model)
{
    require(collection.templateString() == model.text, "registration text");
    require(collection.templateHash() == djb2(model.text), "hash");
    char identifier[64] = "";
    if (!model.text.empty())
        std::snprintf(identifier, sizeof identifier, "com_orvanta_posix_agent_%llx",
                      static_cast<unsigned long long>(djb2(model.text)));
    require(std::string(collection.templateIdentifier()) == identifier, "identifier");
    require(collection.bufferSize() % 512 == 0 && collection.bufferSize() > model.text.size(), "buffer size");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    TemplateCollection collection;
    Model model;
    std::deque<std::string> texts; // outlive every template
    std::vector<Live> live;
    while (input.remaining_bytes() > 0 && live.size() < 200) {
        unsigned op = input.ConsumeIntegralInRange(0, 3);
        if (op == 0 || live.empty() || (op == 3 && texts.empty())) {
            unsigned char kind = input.ConsumeIntegralInRange<unsigned char>(0, 3);
            texts.push_back(input.ConsumeRandomLengthString(300));
            live.push_back({std::make_unique<Template>(kind, texts.back().c_str()),
                            std::string(texts.back().c_str()), 0});
        } else if (op == 1) {
            // The same object again: refused, nothing changes.
            Live& again = live[input.ConsumeIntegralInRange<size_t>(0, live.size() - 1)];
            if (!again.t)
                continue;
            require(collection.add(*again.t) == model.add(again.t->type(), again.text, again.id),
                    "add again");
            require(again.t->msgId() == again.id, "ID after add again");
            check(collection, model);
            continue;
        } else if (op == 2) {
            live[input.ConsumeIntegralInRange<size_t>(0, live.size() - 1)].t.reset();
            continue;
        } else {
            const std::string& old = texts[input.ConsumeIntegralInRange<size_t>(0, texts.size() - 1)];
            unsigned char kind = input.ConsumeIntegralInRange<unsigned char>(0, 3);
            live.push_back({std::make_unique<Template>(kind, old.c_str()), std::string(old.c_str()), 0});
        }
        Live& made = live.back();
        require(made.t->msgId() == 0, "a new template is unregistered");
        require(collection.add(*made.t) == model.add(made.t->type(), made.text, made.id), "add");
        require(made.t->msgId() == made.id, "ID after add");
        check(collection, model);
    }
    return 0;
}
