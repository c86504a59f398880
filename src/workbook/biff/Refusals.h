// Finding the Workbook stream of a file and refusing what cannot be read or appended to: one set of
// checks and one set of messages, so that a file the reader refuses the appender refuses alike.
// Every message names the file and says what to do.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

class CompoundFile;

[[noreturn]] void refuseDamaged(const std::string& file, const std::string& detail,
                                const std::string& sheet = {});
[[noreturn]] void refuseOldFormat(const std::string& file);
[[noreturn]] void refuseNotWorkbook(const std::string& file, const std::string& what);
[[noreturn]] void refuseEncrypted(const std::string& file);
[[noreturn]] void refuseNoSuchSheet(const std::string& file, std::string_view sheet,
                                    const std::vector<std::string>& sheets);
[[noreturn]] void refuseNotWorksheet(const std::string& file, std::string_view sheet);
[[noreturn]] void refuseNoSuchColumn(const std::string& file, const std::string& sheet,
                                     std::string_view column, const std::vector<std::string>& headers);

// Refuses bytes that are not a compound file: a zipped (.xlsx) document, an old bare BIFF stream, or
// anything else.
[[noreturn]] void refuseNonCompoundFile(std::span<const std::uint8_t> bytes, const std::string& file);

// The id of the Workbook stream; refuses encrypted (newer format), shared, Excel 5.0/95 and foreign files.
std::uint32_t workbookStreamEntry(const CompoundFile& compound, const std::string& file);

// Refuses a stream that does not begin with the BOF record of BIFF8 workbook globals.
void checkStreamBeginning(std::span<const std::uint8_t> stream, const std::string& file);

// Whether two names are the same ignoring ASCII case, as sheet and column names are compared.
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace veltrum::workbook
