// The workbook's shared string table (SST with its CONTINUE records, and EXTSST), for the reader (a
// text decoded when a cell is read, from the stream itself) and the appender (texts added, the table
// written back). Until a text is added the table refers to the stream, which must outlive it.
#pragma once

#include "workbook/biff/RecordWriter.h"
#include "workbook/biff/Records.h"

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace veltrum::workbook {

class SharedStrings {
public:
    // Reads the table from its SST record and the CONTINUE records after it (none: an empty table).
    // Some writers state more strings than they store; those that are there are kept. Throws BiffError
    // when a string is cut short.
    static SharedStrings parse(const std::vector<BiffRecord>& records);

    std::uint32_t uniqueCount() const { return m_unique; }
    std::uint32_t totalCount() const { return m_total; }
    std::string text(std::uint32_t index) const; // UTF-8; "" outside the table
    bool changed() const { return m_changed; }
    // Stream position of string `index` as parsed (before any addition); 0 when unknown.
    std::uint32_t stringPosition(std::uint32_t index) const;

    // Index of a text (UTF-16), adding it when the table lacks it; counts one more cell referring to it.
    std::uint32_t reference(const std::u16string& text);

    // The SST, its CONTINUE records and an EXTSST, for a table whose SST header lands at `streamOffset`.
    std::vector<std::uint8_t> serialize(std::uint32_t streamOffset) const;

private:
    void appendString(const std::u16string& text);
    std::u16string units(std::uint32_t index) const;
    void buildLookup();
    // Copies the records' bodies out of the stream, before the first change.
    void own();
    void refreshViews();

    // The SST body, then CONTINUE bodies: views into the stream until the first change, then views of
    // m_bodies, the table's own copy.
    std::vector<std::span<const std::uint8_t>> m_views;
    std::vector<std::vector<std::uint8_t>> m_bodies;
    bool m_owned = false;
    std::vector<std::size_t> m_bodyOffsets;                        // stream offset of each body as read
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_starts; // per string: body, offset in it
    // Texts by a hash of their UTF-16 units, built on the first reference (only appends need it).
    std::unordered_map<std::uint64_t, std::uint32_t> m_lookup;
    bool m_lookupBuilt = false;
    std::pair<std::uint32_t, std::uint32_t> m_end{0, 8}; // just after the last string
    bool m_trimmed = false;
    std::uint32_t m_unique = 0;
    std::uint32_t m_total = 0;
    bool m_changed = false;
};

} // namespace veltrum::workbook
