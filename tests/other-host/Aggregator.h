#ifndef OTHER_HOST_AGGREGATOR_H
#define OTHER_HOST_AGGREGATOR_H

#include "RequestData.h"

class Aggregator : public RequestData {
public:
    Aggregator(unsigned capacity, bool growable, bool managed);
    ~Aggregator() override;
    Aggregator(const Aggregator&) = delete;
    Aggregator& operator=(const Aggregator&) = delete;

    bool add(const Record& record);
    const Record& get(unsigned index) const;
    unsigned length() const;
    void clear();

    unsigned lineCount() const override;
    const Record& line(unsigned index) const override;

private:
    struct Rows;
    Rows* rows;
#ifdef OTHER_HOST_AGGREGATOR_SIZE
    [[maybe_unused]] unsigned char padding[OTHER_HOST_AGGREGATOR_SIZE - 2 * sizeof(void*)];
#endif
};

#endif
