#include "qt/LocalFileSystem.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace veltrum::qt {

namespace fs = std::filesystem;

bool LocalFileSystem::exists(const std::string& path) const {
    std::error_code error;
    return fs::exists(fs::u8path(path), error);
}

void LocalFileSystem::copyFile(const std::string& source, const std::string& destination) {
    std::error_code error;
    fs::copy_file(fs::u8path(source), fs::u8path(destination), fs::copy_options::overwrite_existing, error);
    if (error)
        throw std::runtime_error("Cannot copy \"" + source + "\" to \"" + destination +
                                 "\": " + error.message());
}

void LocalFileSystem::removeFile(const std::string& path) {
    std::error_code error;
    if (!fs::remove(fs::u8path(path), error)) {
        const std::string reason = error ? error.message() : std::string("no such file");
        throw std::runtime_error("Cannot delete \"" + path + "\": " + reason);
    }
}

std::string LocalFileSystem::readText(const std::string& path) const {
    std::ifstream in(fs::u8path(path), std::ios::binary | std::ios::ate);
    if (!in)
        throw std::runtime_error("Cannot open \"" + path + "\" for reading.");
    // One read of the whole file: the summary workbook is read at every subject change.
    const std::streamoff size = in.tellg();
    if (size < 0)
        throw std::runtime_error("Cannot read \"" + path + "\".");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size))
        throw std::runtime_error("Cannot read \"" + path + "\".");
    return bytes;
}

} // namespace veltrum::qt
