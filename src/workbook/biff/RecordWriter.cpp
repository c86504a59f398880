#include "workbook/biff/RecordWriter.h"

#include "workbook/biff/Records.h"
#include "workbook/encoding/LittleEndian.h"

#include <algorithm>
#include <bit>

namespace veltrum::workbook {

namespace {

void writeCellHead(std::vector<std::uint8_t>& out, std::uint16_t type, std::size_t bodySize,
                   std::uint16_t row, std::uint16_t column, std::uint16_t xf) {
    writeRecordHeader(out, type, bodySize);
    append16(out, row);
    append16(out, column);
    append16(out, xf);
}

bool needsUtf16(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
}

} // namespace

void writeRecordHeader(std::vector<std::uint8_t>& out, std::uint16_t type, std::size_t bodySize) {
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(bodySize));
}

void writeRecord(std::vector<std::uint8_t>& out, std::uint16_t type, std::span<const std::uint8_t> body) {
    writeRecordHeader(out, type, body.size());
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::size_t> writeContinuedRecord(std::vector<std::uint8_t>& out, std::uint16_t type,
                                              std::span<const std::span<const std::uint8_t>> bodies) {
    std::vector<std::size_t> starts;
    starts.reserve(bodies.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        starts.push_back(out.size());
        writeRecord(out, i == 0 ? type : record::Continue, bodies[i]);
    }
    return starts;
}

void writeRow(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t firstColumn,
              std::uint16_t endColumn, const RowTemplate& format) {
    writeRecordHeader(out, record::Row, 16);
    append16(out, row);
    append16(out, firstColumn);
    append16(out, endColumn);
    out.insert(out.end(), format.begin(), format.end());
}

void writeNumber(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                 double value) {
    writeCellHead(out, record::Number, 14, row, column, xf);
    const auto bits = std::bit_cast<std::uint64_t>(value);
    append32(out, static_cast<std::uint32_t>(bits));
    append32(out, static_cast<std::uint32_t>(bits >> 32));
}

void writeLabelSst(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                   std::uint32_t index) {
    writeCellHead(out, record::LabelSst, 10, row, column, xf);
    append32(out, index);
}

void writeLabel(std::vector<std::uint8_t>& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                std::u16string_view text) {
    const bool wide = needsUtf16(text);
    writeCellHead(out, record::Label, 9 + text.size() * (wide ? 2 : 1), row, column, xf);
    append16(out, static_cast<std::uint16_t>(text.size()));
    out.push_back(wide ? 1 : 0);
    for (const char16_t c : text) {
        if (wide)
            append16(out, static_cast<std::uint16_t>(c));
        else
            out.push_back(static_cast<std::uint8_t>(c));
    }
}

void writeDbCell(std::vector<std::uint8_t>& out, std::uint32_t backToFirstRow,
                 std::span<const std::uint16_t> cellSteps) {
    writeRecordHeader(out, record::DbCell, 4 + 2 * cellSteps.size());
    append32(out, backToFirstRow);
    for (const std::uint16_t step : cellSteps)
        append16(out, step);
}

std::pair<std::uint32_t, std::uint32_t> appendContinuedString(std::vector<std::vector<std::uint8_t>>& bodies,
                                                              std::u16string_view text) {
    if (bodies.empty())
        bodies.emplace_back();
    const bool wide = needsUtf16(text);
    const std::size_t width = wide ? 2 : 1;
    const std::size_t whole = 3 + text.size() * width;
    const std::size_t room = kMaxRecordBody - bodies.back().size();
    if (whole > room && (whole <= kMaxRecordBody || room < 3 + width * 2))
        bodies.emplace_back();
    const std::pair start{static_cast<std::uint32_t>(bodies.size() - 1),
                          static_cast<std::uint32_t>(bodies.back().size())};
    append16(bodies.back(), static_cast<std::uint16_t>(text.size()));
    bodies.back().push_back(wide ? 1 : 0);
    std::size_t done = 0;
    while (done < text.size()) {
        if (bodies.back().size() + width > kMaxRecordBody) {
            bodies.emplace_back();
            bodies.back().push_back(wide ? 1 : 0);
        }
        std::vector<std::uint8_t>& body = bodies.back();
        std::size_t take = std::min(text.size() - done, (kMaxRecordBody - body.size()) / width);
        // Keep a surrogate pair in one record so each piece decodes on its own.
        if (done + take < text.size() && take > 1 && text[done + take - 1] >= 0xD800 &&
            text[done + take - 1] < 0xDC00)
            --take;
        for (std::size_t i = 0; i < take; ++i) {
            if (wide)
                append16(body, text[done + i]);
            else
                body.push_back(static_cast<std::uint8_t>(text[done + i]));
        }
        done += take;
    }
    return start;
}

} // namespace veltrum::workbook
