// Which cell formats (XF records) show numbers as dates or times, and picking one for a new cell.
#pragma once

#include "workbook/biff/Layout.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace veltrum::workbook {

enum class FormatClass { General, Date, Time, DateTime };

// The class of format that shows a number as the reader reads it back.
FormatClass formatClassOf(CellKind kind);

class CellFormats {
public:
    CellFormats(std::span<const std::uint8_t> stream, const BiffLayout& layout);

    std::size_t count() const { return m_classes.size(); }
    FormatClass classOf(std::uint16_t xf) const;
    // The first cell format (not a style) that shows a `wanted` value as such, or -1.
    int findCellFormat(FormatClass wanted) const;
    // The workbook's default cell format: the first cell format with the General number format.
    std::uint16_t defaultCellFormat() const;
    // Body of a new XF record: a copy of the default cell format showing numbers through `formatNumber`.
    std::vector<std::uint8_t> derivedFormat(std::uint16_t formatNumber) const;

private:
    std::span<const std::uint8_t> m_stream;
    const BiffLayout& m_layout;
    std::vector<FormatClass> m_classes;
    std::vector<bool> m_isStyle;
    std::vector<std::uint16_t> m_formatNumbers;
};

// Whether a value of class `value` shows as such through a format of class `format`.
bool formatShows(FormatClass format, FormatClass value);

} // namespace veltrum::workbook
