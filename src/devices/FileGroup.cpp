#include "devices/FileGroup.h"

#include <grp.h>
#include <sys/stat.h>

namespace veltrum::devices {

std::string owningGroup(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    const group* entry = ::getgrgid(status.st_gid);
    return entry ? entry->gr_name : std::to_string(status.st_gid);
}

} // namespace veltrum::devices
