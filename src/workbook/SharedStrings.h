// The workbook's shared string table (SST with its CONTINUE records, and EXTSST) for appending texts.
#pragma once

#include "workbook/BiffLayout.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace veltrum::workbook {

constexpr std::size_t kMaxRecordBody = 8224;

class SharedStrings {
public:
    // Reads the table the layout found (an empty table when the workbook has none).
    static SharedStrings parse(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                               const std::string& displayName);

    std::uint32_t uniqueCount() const { return m_unique; }
    std::uint32_t totalCount() const { return m_total; }
    std::string text(std::uint32_t index) const; // UTF-8; "" outside the table
    bool changed() const { return m_changed; }
    // Stream position of string `index` in the table as parsed from `layout` (before any addition).
    std::uint32_t stringPosition(std::uint32_t index, const BiffLayout& layout) const;

    // Index of a text (UTF-16), adding it when the table lacks it; counts one more cell referring to it.
    std::uint32_t reference(const std::u16string& text);

    // The SST, its CONTINUE records and an EXTSST, for a table whose SST header lands at `streamOffset`.
    std::vector<std::uint8_t> serialize(std::uint32_t streamOffset) const;

private:
    void appendString(const std::u16string& text);
    void startContinue();
    std::u16string units(std::uint32_t index) const;
    void buildLookup();

    std::vector<std::vector<std::uint8_t>> m_bodies; // [0] is the SST body, then CONTINUE bodies
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_starts; // per string: body, offset in it
    // Texts by a hash of their UTF-16 units, built on the first reference (only appends need it).
    std::unordered_map<std::uint64_t, std::uint32_t> m_lookup;
    bool m_lookupBuilt = false;
    std::pair<std::uint32_t, std::uint32_t> m_end{0, 8}; // just after the last counted string
    bool m_trimmed = false;
    std::string m_name;
    std::uint32_t m_unique = 0;
    std::uint32_t m_total = 0;
    bool m_changed = false;
};

} // namespace veltrum::workbook
