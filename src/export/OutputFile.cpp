#include "export/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>

namespace veltrum::exporting {

namespace {

constexpr std::size_t BufferBytes = 1 << 20;

std::runtime_error failure(const std::string& what, const std::string& name) {
    return std::runtime_error("cannot " + what + " " + name + ": " + std::strerror(errno));
}

} // namespace

OutputFile::OutputFile(int folderFd, std::string name)
    : m_folderFd(folderFd)
    , m_name(std::move(name)) {
    std::random_device random;
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        m_temporary = "." + m_name + "." + std::to_string(random()) + ".tmp";
        m_fd = openat(m_folderFd, m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0644);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        throw failure("create a new file for", m_name);
    m_buffer.reserve(BufferBytes);
}

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_renamed)
        unlinkat(m_folderFd, m_temporary.c_str(), 0);
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t wrote = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (wrote == 0)
                errno = ENOSPC;
            throw failure("write", m_name);
        }
        done += static_cast<std::size_t>(wrote);
    }
    m_written += m_buffer.size();
    m_buffer.clear();
}

void OutputFile::write(std::string_view bytes) {
    copyPending();
    if (m_buffer.size() + bytes.size() > BufferBytes)
        flush();
    if (bytes.size() >= BufferBytes) {
        m_buffer.assign(bytes);
        flush();
        return;
    }
    m_buffer += bytes;
}

void OutputFile::copyFrom(int fd, std::uint64_t offset, std::uint64_t length) {
    if (m_copyLength > 0 && fd == m_copyFd && offset == m_copyOffset + m_copyLength) {
        m_copyLength += length;
        return;
    }
    copyPending();
    m_copyFd = fd;
    m_copyOffset = offset;
    m_copyLength = length;
}

void OutputFile::copyPending() {
    if (m_copyLength == 0)
        return;
    flush();
    const int fd = m_copyFd;
    auto from = static_cast<off_t>(m_copyOffset);
    std::uint64_t length = m_copyLength;
    m_copyLength = 0;
    while (length > 0) {
        const ssize_t copied = copy_file_range(fd, &from, m_fd, nullptr, length, 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied > 0) {
            length -= static_cast<std::uint64_t>(copied);
            m_written += static_cast<std::uint64_t>(copied);
            continue;
        }
        if (copied == 0) {
            errno = EIO; // the earlier table is shorter than its index said
            throw failure("copy the earlier rows into", m_name);
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            throw failure("copy the earlier rows into", m_name);
        // No copy in the kernel here: through memory, a block at a time.
        std::string block;
        while (length > 0) {
            block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, BufferBytes)));
            const ssize_t got = pread(fd, block.data(), block.size(), from);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0)
                    errno = EIO;
                throw failure("copy the earlier rows into", m_name);
            }
            block.resize(static_cast<std::size_t>(got));
            m_buffer = block;
            flush();
            from += got;
            length -= static_cast<std::uint64_t>(got);
        }
    }
}

FileKey OutputFile::finish() {
    copyPending();
    flush();
    if (fsync(m_fd) != 0)
        throw failure("write", m_name);
    const std::optional<FileKey> key = keyOfOpenFile(m_fd);
    if (!key)
        throw failure("write", m_name);
    return *key;
}

void OutputFile::rename() {
    if (renameat(m_folderFd, m_temporary.c_str(), m_folderFd, m_name.c_str()) != 0)
        throw failure("put in place", m_name);
    m_renamed = true;
}

std::string readOwnFile(int folderFd, const std::string& name) {
    ReadPolicy policy;
    policy.attempts = 1;
    policy.settleNs = 0;
    policy.maxBytes = 1u << 30;
    ReadOutcome outcome = readConsistently(folderFd, name, policy);
    return outcome.status == ReadStatus::Read ? std::move(outcome.bytes) : std::string();
}

} // namespace veltrum::exporting
