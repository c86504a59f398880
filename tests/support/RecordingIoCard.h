// An I/O card that logs every port write with its virtual time and reads inputs the test sets.
#pragma once

#include "platform/IoCard.h"
#include "platform/Scheduler.h"

#include <cstdint>
#include <map>
#include <vector>

namespace veltrum::testing {

class RecordingIoCard : public platform::IoCard {
public:
    struct Write {
        std::int64_t atMs;
        std::int32_t card;
        std::int32_t port;
        std::int32_t mode;
        std::int32_t value;
        bool operator==(const Write&) const = default;
    };
    struct Read {
        std::int64_t atMs;
        std::int32_t card;
        std::int32_t port;
        std::int32_t mode;
    };

    explicit RecordingIoCard(const platform::Scheduler& scheduler)
        : m_scheduler(scheduler) {}
    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override {
        m_reads.push_back({m_scheduler.nowMs(), card, port, mode});
        const auto found = m_inputs.find(port);
        return found == m_inputs.end() ? std::int16_t{0} : found->second;
    }
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override {
        m_writes.push_back({m_scheduler.nowMs(), card, port, mode, value});
    }

    // What portRead returns for `port` from now on (0 until set).
    void setInput(std::int32_t port, std::int16_t value) { m_inputs[port] = value; }
    const std::vector<Write>& writes() const { return m_writes; }
    const std::vector<Read>& reads() const { return m_reads; }

private:
    const platform::Scheduler& m_scheduler;
    std::map<std::int32_t, std::int16_t> m_inputs;
    std::vector<Write> m_writes;
    std::vector<Read> m_reads;
};

} // namespace veltrum::testing
