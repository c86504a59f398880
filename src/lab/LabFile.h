// The lab file veltrum-lab reads: one chamber a line, its name and then where its status page is
// served ("Chamber 3  192.168.1.23:8081", "Bench  [fe80::1]:8081", "Rig 2  rig2.lab:8081"); blank lines
// and lines beginning with '#' say nothing.
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrum::lab {

struct ChamberAddress {
    QString name;
    QString host; // an address or a host name, without brackets
    std::uint16_t port = 0;
    QString shown() const; // "192.168.1.23:8081", "[fe80::1]:8081"
};

constexpr int maxChambers = 64;

// Throws std::invalid_argument naming the line and saying what is wrong.
std::vector<ChamberAddress> parseLabFile(const std::string& text);
// Reads and parses the file (a regular file of at most 64 KiB); throws std::runtime_error naming it.
std::vector<ChamberAddress> readLabFile(const QString& path);

} // namespace veltrum::lab
