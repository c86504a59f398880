#include "DiskFileSystem.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace veltrum::testing {

bool DiskFileSystem::exists(const std::string& path) const {
    m_calls.push_back({"exists", path});
    std::error_code error;
    return std::filesystem::exists(path, error);
}

void DiskFileSystem::copyFile(const std::string& source, const std::string& destination) {
    m_calls.push_back({"copy", destination});
    std::error_code error;
    std::filesystem::copy_file(source, destination, std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        throw std::runtime_error("Cannot copy " + source + " to " + destination + ": " + error.message());
}

void DiskFileSystem::removeFile(const std::string& path) {
    m_calls.push_back({"remove", path});
    std::error_code error;
    if (!std::filesystem::remove(path, error))
        throw std::runtime_error("Cannot delete " + path + ": " +
                                 (error ? error.message() : std::string("no such file")));
}

std::string DiskFileSystem::readText(const std::string& path) const {
    m_calls.push_back({"read", path});
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Cannot read " + path + ".");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> DiskFileSystem::reads() const {
    std::vector<std::string> paths;
    for (const Call& call : m_calls)
        if (call.operation == "read")
            paths.push_back(call.path);
    return paths;
}

} // namespace veltrum::testing
