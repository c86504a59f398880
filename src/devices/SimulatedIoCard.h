// An I/O card without hardware: keeps the output ports, takes the head-entry sensor from a named pipe or
// from code, and writes every port operation with its time to a trace file.
#pragma once

#include "devices/PortMap.h"
#include "platform/IoCard.h"
#include "platform/Scheduler.h"

#include <cstdint>
#include <fstream>
#include <string>

namespace veltrum::devices {

// Trace lines read "<seconds> write <port> <value>" and "<seconds> read <port> <value>", the seconds
// of the scheduler's clock with three decimals. The sensor pipe takes "1" (a head in the hopper
// opening) and "0" (no head); any other byte is ignored, and the pipe is read without ever waiting.
// Writes and reads go through the port map as on a real card, so a port or value a real card refuses is
// refused here too.
class SimulatedIoCard : public platform::IoCard {
public:
    explicit SimulatedIoCard(const platform::Scheduler& scheduler, PortMap map = {});
    ~SimulatedIoCard() override;
    SimulatedIoCard(const SimulatedIoCard&) = delete;
    SimulatedIoCard& operator=(const SimulatedIoCard&) = delete;

    // Writes every later operation to the file at path, replacing it, one flushed line each.
    // Throws std::runtime_error naming the file when it cannot be created.
    void openTrace(const std::string& path);
    // Reads the sensor from the named pipe at path, creating it when absent (and removing it again when
    // the card goes). Throws std::runtime_error when path is something else or cannot be opened.
    void openSensor(const std::string& path);

    // Puts a head into the hopper opening or takes it out, as the sensor pipe does.
    void setHeadIn(bool headIn) { m_headIn = headIn; }
    bool headIn() const { return m_headIn; }
    // The outputs as the last write left them; both off before any write.
    ChamberOutputs outputs() const { return m_outputs; }
    // The level of a line of the card, as a meter on the chamber's wiring would show it.
    bool lineLevel(unsigned line) const;

    // Port 780 gives 1 while a head is in the opening, else 0.
    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override;
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override;

private:
    void drainSensor();
    void trace(const char* operation, std::int32_t port, std::int32_t value);
    void closeSensor();

    const platform::Scheduler& m_scheduler;
    std::ofstream m_trace;
    std::string m_tracePath;
    int m_sensor = -1;
    std::string m_sensorPath;
    bool m_createdSensor = false;
    bool m_headIn = false;
    PortMap m_map;
    ChamberOutputs m_outputs;
};

} // namespace veltrum::devices
