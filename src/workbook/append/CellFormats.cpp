#include "workbook/append/CellFormats.h"

#include "workbook/biff/NumberFormats.h"

#include <algorithm>

namespace veltrum::workbook {

FormatClass formatClassOf(CellKind kind) {
    // The reader's own rules, so that a cell written as a date reads back as one.
    switch (kind) {
    case CellKind::Date:
        return FormatClass::Date;
    case CellKind::Time:
        return FormatClass::Time;
    case CellKind::DateTime:
        return FormatClass::DateTime;
    default:
        return FormatClass::General;
    }
}

bool formatShows(FormatClass format, FormatClass value) {
    switch (value) {
    case FormatClass::General:
        return format == FormatClass::General;
    case FormatClass::Date:
        return format == FormatClass::Date || format == FormatClass::DateTime;
    case FormatClass::Time:
        return format == FormatClass::Time;
    case FormatClass::DateTime:
        return format == FormatClass::DateTime;
    }
    return false;
}

CellFormats::CellFormats(std::span<const std::uint8_t> stream, const BiffLayout& layout)
    : m_stream(stream)
    , m_layout(layout) {
    for (const CellFormat& format : layout.globals.cellFormats) {
        m_classes.push_back(formatClassOf(layout.globals.kindOf(format)));
        m_isStyle.push_back(format.isStyle);
        m_formatNumbers.push_back(format.numberFormat);
    }
}

FormatClass CellFormats::classOf(std::uint16_t xf) const {
    return xf < m_classes.size() ? m_classes[xf] : FormatClass::General;
}

int CellFormats::findCellFormat(FormatClass wanted) const {
    for (std::size_t i = 0; i < m_classes.size(); ++i) {
        if (!m_isStyle[i] && m_classes[i] == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

std::uint16_t CellFormats::defaultCellFormat() const {
    for (std::size_t i = 0; i < m_classes.size(); ++i) {
        if (!m_isStyle[i] && m_formatNumbers[i] == 0)
            return static_cast<std::uint16_t>(i);
    }
    return m_classes.size() > 15 ? 15 : 0;
}

std::vector<std::uint8_t> CellFormats::derivedFormat(std::uint16_t formatNumber) const {
    const std::uint16_t base = defaultCellFormat();
    std::vector<std::uint8_t> body(20, 0);
    if (base < m_layout.xfs.size()) {
        const RecordRef& ref = m_layout.records[m_layout.xfs[base]];
        for (std::size_t i = 0; i < std::min<std::size_t>(20, ref.size); ++i)
            body[i] = m_stream[ref.body() + i];
    }
    put16(body, 2, formatNumber);
    // Mark the number format as set on the cell itself rather than inherited from the style.
    body[9] |= 0x04;
    return body;
}

} // namespace veltrum::workbook
