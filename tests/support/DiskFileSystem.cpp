#include "DiskFileSystem.h"

namespace veltrum::testing {

bool DiskFileSystem::exists(const std::string& path) const {
    m_calls.push_back({"exists", path});
    return LocalFileSystem::exists(path);
}

void DiskFileSystem::copyFile(const std::string& source, const std::string& destination) {
    m_calls.push_back({"copy", destination});
    LocalFileSystem::copyFile(source, destination);
}

void DiskFileSystem::moveFile(const std::string& source, const std::string& destination) {
    m_calls.push_back({"move", destination});
    LocalFileSystem::moveFile(source, destination);
}

void DiskFileSystem::removeFile(const std::string& path) {
    m_calls.push_back({"remove", path});
    LocalFileSystem::removeFile(path);
}

std::string DiskFileSystem::readText(const std::string& path, std::size_t maxBytes) const {
    m_calls.push_back({"read", path});
    return LocalFileSystem::readText(path, maxBytes);
}

std::vector<std::string> DiskFileSystem::reads() const {
    std::vector<std::string> paths;
    for (const Call& call : m_calls)
        if (call.operation == "read")
            paths.push_back(call.path);
    return paths;
}

} // namespace veltrum::testing
