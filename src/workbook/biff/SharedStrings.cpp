#include "workbook/biff/SharedStrings.h"

#include "workbook/biff/Strings.h"
#include "workbook/encoding/LittleEndian.h"
#include "workbook/encoding/Unicode.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

struct Hasher {
    std::uint64_t value = 1469598103934665603ull;
    void add(std::u16string_view units) {
        for (char16_t unit : units)
            value = (value ^ unit) * 1099511628211ull;
    }
};

std::uint64_t hashOf(std::u16string_view text) {
    Hasher hasher;
    hasher.add(text);
    return hasher.value;
}

} // namespace

void SharedStrings::own() {
    if (m_owned)
        return;
    m_bodies.assign(m_views.size(), {});
    for (std::size_t i = 0; i < m_views.size(); ++i)
        m_bodies[i].assign(m_views[i].begin(), m_views[i].end());
    m_owned = true;
    refreshViews();
}

void SharedStrings::refreshViews() {
    m_views.assign(m_bodies.begin(), m_bodies.end());
}

SharedStrings SharedStrings::parse(const std::vector<BiffRecord>& records) {
    SharedStrings table;
    if (records.empty()) {
        table.m_bodies.push_back(std::vector<std::uint8_t>(8, 0));
        table.m_owned = true;
        table.refreshViews();
        return table;
    }
    for (const BiffRecord& record : records) {
        table.m_views.push_back(record.data);
        table.m_bodyOffsets.push_back(record.offset + 4);
    }
    if (table.m_views[0].size() < 8)
        throw BiffError("the shared text table is cut short");
    table.m_total = get32(table.m_views[0].data());
    const std::uint32_t stated = get32(table.m_views[0].data() + 4);
    const auto& pieces = table.m_views;
    PieceReader reader(pieces, 8);
    std::size_t totalBytes = 0;
    for (const auto& piece : pieces)
        totalBytes += piece.size();
    // Each string takes at least three bytes, which bounds what a lying count can reserve.
    table.m_starts.reserve(std::min<std::size_t>(stated, totalBytes / 3));
    std::u16string scratch;
    for (std::uint32_t i = 0; i < stated && !reader.atEnd(); ++i) {
        const auto [piece, offset] = reader.position();
        table.m_starts.emplace_back(static_cast<std::uint32_t>(piece), static_cast<std::uint32_t>(offset));
        const StringHeader header = readStringHeader(reader);
        scratch.clear();
        reader.units(header.count, header.utf16, scratch);
        reader.skip(std::size_t{header.runs} * 4 + header.phoneticBytes);
    }
    table.m_unique = static_cast<std::uint32_t>(table.m_starts.size());
    const auto [endPiece, endOffset] = reader.position();
    table.m_end = {static_cast<std::uint32_t>(endPiece), static_cast<std::uint32_t>(endOffset)};
    return table;
}

std::u16string SharedStrings::units(std::uint32_t index) const {
    PieceReader reader(m_views);
    reader.seek(m_starts[index].first, m_starts[index].second);
    const StringHeader header = readStringHeader(reader);
    std::u16string text;
    text.reserve(header.count);
    reader.units(header.count, header.utf16, text);
    return text;
}

void SharedStrings::buildLookup() {
    m_lookupBuilt = true;
    m_lookup.reserve(m_starts.size() * 2);
    for (std::uint32_t i = 0; i < m_starts.size(); ++i)
        m_lookup.emplace(hashOf(units(i)), i);
}

std::string SharedStrings::text(std::uint32_t index) const {
    std::string out;
    if (index < m_starts.size())
        appendUtf8(units(index), out);
    return out;
}

std::uint32_t SharedStrings::stringPosition(std::uint32_t index) const {
    if (index >= m_starts.size() || m_starts[index].first >= m_bodyOffsets.size())
        return 0;
    return static_cast<std::uint32_t>(m_bodyOffsets[m_starts[index].first] + m_starts[index].second);
}

std::uint32_t SharedStrings::reference(const std::u16string& text) {
    if (!m_lookupBuilt)
        buildLookup();
    ++m_total;
    m_changed = true;
    const std::uint64_t hash = hashOf(text);
    auto found = m_lookup.find(hash);
    if (found != m_lookup.end() && units(found->second) == text)
        return found->second;
    const std::uint32_t index = m_unique++;
    own();
    appendString(text);
    refreshViews();
    m_lookup.emplace(hash, index);
    return index;
}

void SharedStrings::appendString(const std::u16string& text) {
    // Bytes after the last counted string (left by some writer) would be read as the first new string.
    if (!m_trimmed) {
        m_trimmed = true;
        m_bodies.resize(m_end.first + 1);
        m_bodies.back().resize(m_end.second);
    }
    m_starts.push_back(appendContinuedString(m_bodies, text));
}

std::vector<std::uint8_t> SharedStrings::serialize(std::uint32_t streamOffset) const {
    std::vector<std::uint8_t> out;
    const std::vector<std::size_t> recordStarts = writeContinuedRecord(out, record::Sst, m_views);
    put32(out, recordStarts[0] + 4, m_total);
    put32(out, recordStarts[0] + 8, m_unique);
    // The index Excel uses to find strings quickly: every dsst-th string's position, at most 128 buckets.
    const std::uint32_t perBucket = std::max<std::uint32_t>(8, m_unique / 128 + 1);
    const std::uint32_t buckets = (m_unique + perBucket - 1) / perBucket;
    std::vector<std::uint8_t> index;
    append16(index, static_cast<std::uint16_t>(perBucket));
    for (std::uint32_t b = 0; b < buckets; ++b) {
        const auto [body, offset] = m_starts[b * perBucket];
        append32(index, streamOffset + static_cast<std::uint32_t>(recordStarts[body]) + 4 + offset);
        append16(index, static_cast<std::uint16_t>(4 + offset));
        append16(index, 0);
    }
    writeRecord(out, record::ExtSst, index);
    return out;
}

} // namespace veltrum::workbook
