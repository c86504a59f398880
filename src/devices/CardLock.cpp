#include "devices/CardLock.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::devices {

namespace {

std::string fileName(const std::string& card) {
    std::string name = "veltrum-card-";
    for (const char c : card)
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.') ? c : '-';
    return name + ".lock";
}

std::string contents(int descriptor) {
    std::string text;
    char buffer[128];
    ssize_t count = 0;
    while ((count = ::pread(descriptor, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0 &&
           text.size() < 512)
        text.append(buffer, static_cast<std::size_t>(count));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string CardLock::lockFolder() {
    if (const char* folder = std::getenv("VELTRUM_LOCK_DIR"); folder && *folder)
        return folder;
    return ::access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
}

CardLock::CardLock(const std::string& card, const std::string& holder, const std::string& folder)
    : m_path(folder + "/" + fileName(card)) {
    // The lock lives in a folder every user may write (/run/lock, /tmp): it is never opened through a
    // link someone planted under its name, and must be a regular file. Whoever made it first owns it;
    // the others open it for reading, which is all a lock needs.
    m_descriptor = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (m_descriptor < 0 && (errno == EACCES || errno == EPERM))
        m_descriptor = ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (m_descriptor >= 0 && (::fstat(m_descriptor, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(m_descriptor);
        m_descriptor = -1;
        errno = ELOOP;
    }
    if (m_descriptor < 0)
        throw std::runtime_error(
            "The lock file \"" + m_path + "\" of the I/O card cannot be opened: " +
            (errno == ELOOP ? std::string("something that is not a plain file (a link?) stands "
                                          "under its name")
                            : std::string(std::strerror(errno))) +
            ". Set VELTRUM_LOCK_DIR to a folder every operator may write, or remove it.");
    if (::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const std::string other = contents(m_descriptor);
        ::close(m_descriptor);
        m_descriptor = -1;
        if (error != EWOULDBLOCK)
            throw std::runtime_error("The lock file \"" + m_path +
                                     "\" of the I/O card cannot be locked: " + std::strerror(error) + ".");
        throw std::runtime_error("The I/O card " + card + " is in use by " +
                                 (other.empty() ? std::string("another program") : other) +
                                 ". Close that program first (its lock is \"" + m_path + "\").");
    }
    const std::string text = holder + " (process " + std::to_string(::getpid()) + ")\n";
    if (::ftruncate(m_descriptor, 0) != 0 || ::pwrite(m_descriptor, text.data(), text.size(), 0) < 0) {
        // The lock is held all the same; only the name shown to a refused program is missing (the file
        // is another user's, or its folder is read-only).
    }
}

CardLock::~CardLock() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

} // namespace veltrum::devices
