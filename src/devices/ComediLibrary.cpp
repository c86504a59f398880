// ComediCalls on libcomedi.
#include "devices/ComediIoCard.h"

#include "devices/FileGroup.h"

#include <comedilib.h>

#include <cerrno>

namespace veltrum::devices {

namespace {

class LibraryComedi : public ComediCalls {
public:
    LibraryComedi() {
        // The library prints its own errors to stderr by default; the card reports them itself.
        comedi_loglevel(0);
    }
    ~LibraryComedi() override { close(); }

    int open(const std::string& path) override {
        close();
        errno = 0;
        m_device = comedi_open(path.c_str());
        return m_device ? 0 : lastError();
    }
    void close() override {
        if (m_device)
            comedi_close(m_device);
        m_device = nullptr;
    }
    unsigned subdeviceCount() override {
        const int count = comedi_get_n_subdevices(m_device);
        return count > 0 ? static_cast<unsigned>(count) : 0;
    }
    ComediSubdeviceKind subdeviceKind(unsigned subdevice) override {
        switch (comedi_get_subdevice_type(m_device, subdevice)) {
        case -1:
            return ComediSubdeviceKind::Missing;
        case COMEDI_SUBD_DIO:
            return ComediSubdeviceKind::DigitalInputOutput;
        case COMEDI_SUBD_DI:
            return ComediSubdeviceKind::DigitalInput;
        case COMEDI_SUBD_DO:
            return ComediSubdeviceKind::DigitalOutput;
        default:
            return ComediSubdeviceKind::Other;
        }
    }
    unsigned channelCount(unsigned subdevice) override {
        const int count = comedi_get_n_channels(m_device, subdevice);
        return count > 0 ? static_cast<unsigned>(count) : 0;
    }
    int configure(unsigned subdevice, unsigned channel, bool output) override {
        errno = 0;
        return comedi_dio_config(m_device, subdevice, channel, output ? COMEDI_OUTPUT : COMEDI_INPUT) < 0
                   ? lastError()
                   : 0;
    }
    int write(unsigned subdevice, unsigned channel, bool level) override {
        errno = 0;
        return comedi_dio_write(m_device, subdevice, channel, level ? 1 : 0) < 0 ? lastError() : 0;
    }
    int read(unsigned subdevice, unsigned channel, bool& level) override {
        unsigned bit = 0;
        errno = 0;
        if (comedi_dio_read(m_device, subdevice, channel, &bit) < 0)
            return lastError();
        level = bit != 0;
        return 0;
    }
    std::string errorText(int error) override { return comedi_strerror(error); }
    std::string fileGroup(const std::string& path) override { return owningGroup(path); }

private:
    // errno is cleared before each call: when a system call failed it holds the reason; otherwise the
    // library's own error number (from COMEDI_NOERROR up) does. comedi_strerror words both.
    static int lastError() {
        if (errno != 0)
            return errno;
        const int error = comedi_errno();
        return error != 0 ? error : EIO;
    }

    comedi_t* m_device = nullptr;
};

} // namespace

std::unique_ptr<ComediCalls> systemComedi() {
    return std::make_unique<LibraryComedi>();
}

} // namespace veltrum::devices
