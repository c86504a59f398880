#include "devices/SimulatedIoCard.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::devices {

namespace {

std::string systemError(int error) {
    return std::strerror(error);
}

} // namespace

SimulatedIoCard::SimulatedIoCard(const platform::Scheduler& scheduler, PortMap map)
    : m_scheduler(scheduler)
    , m_map(std::move(map)) {}

SimulatedIoCard::~SimulatedIoCard() {
    closeSensor();
}

void SimulatedIoCard::openTrace(const std::string& path) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file)
        throw std::runtime_error("The I/O card trace \"" + path + "\" cannot be created: " +
                                 systemError(errno) + ". Choose a writable file with --card-trace.");
    m_trace = std::move(file);
    m_tracePath = path;
}

void SimulatedIoCard::openSensor(const std::string& path) {
    closeSensor();
    bool created = false;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT || ::mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("The sensor pipe \"" + path +
                                     "\" cannot be created: " + systemError(errno) + ".");
        created = true;
    } else if (!S_ISFIFO(status.st_mode)) {
        throw std::runtime_error("The sensor path \"" + path +
                                 "\" is not a named pipe. Give a new path (it is created) or one made "
                                 "with mkfifo.");
    }
    // Opened for reading and writing, the pipe never reaches end-of-file when a writer closes it, and
    // the open itself does not wait for a writer.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (created)
            ::unlink(path.c_str());
        throw std::runtime_error("The sensor pipe \"" + path + "\" cannot be opened: " + systemError(error) +
                                 ".");
    }
    m_sensor = descriptor;
    m_sensorPath = path;
    m_createdSensor = created;
}

void SimulatedIoCard::closeSensor() {
    if (m_sensor < 0)
        return;
    ::close(m_sensor);
    if (m_createdSensor)
        ::unlink(m_sensorPath.c_str());
    m_sensor = -1;
    m_createdSensor = false;
    m_sensorPath.clear();
}

bool SimulatedIoCard::lineLevel(unsigned line) const {
    if (line == m_map.hopper.number)
        return m_map.hopper.level(m_outputs.hopper);
    if (line == m_map.interTrial.number)
        return m_map.interTrial.level(m_outputs.interTrial);
    if (line == m_map.sensor.number)
        return m_map.sensor.level(m_headIn);
    return false;
}

std::int16_t SimulatedIoCard::portRead(std::int32_t, std::int32_t port, std::int32_t) {
    PortMap::requireSensorPort(port);
    drainSensor();
    const std::int16_t value = m_map.sensorValue(m_map.sensor.level(m_headIn));
    trace("read", port, value);
    return value;
}

void SimulatedIoCard::portWrite(std::int32_t, std::int32_t port, std::int32_t, std::int32_t value) {
    m_outputs = PortMap::outputsFor(port, value);
    trace("write", port, value);
}

void SimulatedIoCard::drainSensor() {
    if (m_sensor < 0)
        return;
    // Everything written since the last poll is taken; the last "0" or "1" in it wins. The amount taken
    // per poll is bounded so a writer that never stops cannot hold up the controller.
    char buffer[256];
    for (int round = 0; round < 64; ++round) {
        const ssize_t count = ::read(m_sensor, buffer, sizeof buffer);
        if (count <= 0)
            return;
        for (ssize_t i = 0; i < count; ++i) {
            if (buffer[i] == '1')
                m_headIn = true;
            else if (buffer[i] == '0')
                m_headIn = false;
        }
    }
}

void SimulatedIoCard::trace(const char* operation, std::int32_t port, std::int32_t value) {
    if (!m_trace.is_open())
        return;
    const std::int64_t ms = m_scheduler.nowMs();
    char line[96];
    std::snprintf(line, sizeof line, "%" PRId64 ".%03" PRId64 " %s %" PRId32 " %" PRId32 "\n", ms / 1000,
                  ms % 1000, operation, port, value);
    // Flushed line by line: an operator follows the file while the session runs, and a crash keeps
    // every operation up to it.
    m_trace << line << std::flush;
    if (!m_trace)
        throw std::runtime_error("The I/O card trace \"" + m_tracePath + "\" could not be written.");
}

} // namespace veltrum::devices
