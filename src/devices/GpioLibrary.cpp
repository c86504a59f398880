// GpioCalls on libgpiod (version 1, as Debian 12 ships it).
#include "devices/GpioIoCard.h"

#include "devices/FileGroup.h"

#include <gpiod.h>

#include <cerrno>
#include <map>

namespace veltrum::devices {

namespace {

class LibraryGpio : public GpioCalls {
public:
    ~LibraryGpio() override { closeChip(); }

    int openChip(const std::string& chip) override {
        closeChip();
        errno = 0;
        m_chip = gpiod_chip_open_lookup(chip.c_str());
        return m_chip ? 0 : failure();
    }
    void closeChip() override {
        for (const auto& [offset, line] : m_requested)
            gpiod_line_release(line);
        m_requested.clear();
        if (m_chip)
            gpiod_chip_close(m_chip);
        m_chip = nullptr;
    }
    unsigned lineCount() override { return m_chip ? gpiod_chip_num_lines(m_chip) : 0; }
    int requestOutput(unsigned offset, const std::string& consumer, bool level) override {
        gpiod_line* line = lineAt(offset);
        if (!line || gpiod_line_request_output(line, consumer.c_str(), level ? 1 : 0) != 0)
            return failure();
        m_requested[offset] = line;
        return 0;
    }
    int requestInput(unsigned offset, const std::string& consumer) override {
        gpiod_line* line = lineAt(offset);
        if (!line || gpiod_line_request_input(line, consumer.c_str()) != 0)
            return failure();
        m_requested[offset] = line;
        return 0;
    }
    std::string lineConsumer(unsigned offset) override {
        gpiod_line* line = m_chip ? gpiod_chip_get_line(m_chip, offset) : nullptr;
        if (!line || gpiod_line_update(line) != 0)
            return {};
        const char* name = gpiod_line_consumer(line);
        return name ? name : "";
    }
    int setLevel(unsigned offset, bool level) override {
        const auto found = m_requested.find(offset);
        if (found == m_requested.end())
            return EINVAL;
        errno = 0;
        return gpiod_line_set_value(found->second, level ? 1 : 0) != 0 ? failure() : 0;
    }
    int getLevel(unsigned offset, bool& level) override {
        const auto found = m_requested.find(offset);
        if (found == m_requested.end())
            return EINVAL;
        errno = 0;
        const int value = gpiod_line_get_value(found->second);
        if (value < 0)
            return failure();
        level = value != 0;
        return 0;
    }
    std::string fileGroup(const std::string& path) override { return owningGroup(path); }

private:
    gpiod_line* lineAt(unsigned offset) {
        errno = 0;
        return m_chip ? gpiod_chip_get_line(m_chip, offset) : nullptr;
    }
    static int failure() { return errno != 0 ? errno : EIO; }

    gpiod_chip* m_chip = nullptr;
    std::map<unsigned, gpiod_line*> m_requested;
};

} // namespace

std::unique_ptr<GpioCalls> systemGpio() {
    return std::make_unique<LibraryGpio>();
}

} // namespace veltrum::devices
