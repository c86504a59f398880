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
    const bool high = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const std::size_t width = high ? 2 : 1;
    const std::size_t whole = 3 + text.size() * width;
    // A string that fits in a fresh record is never split; only one longer than a record is, with the
    // header and at least one character kept together.
    std::size_t room = kMaxRecordBody - m_bodies.back().size();
    if (whole > room && (whole <= kMaxRecordBody || room < 3 + width * 2))
        m_bodies.emplace_back();
    auto& first = m_bodies.back();
    m_starts.emplace_back(static_cast<std::uint32_t>(m_bodies.size() - 1),
                          static_cast<std::uint32_t>(first.size()));
    append16(first, static_cast<std::uint16_t>(text.size()));
    first.push_back(high ? 1 : 0);
    std::size_t done = 0;
    while (done < text.size()) {
        auto* body = &m_bodies.back();
        if (body->size() + width > kMaxRecordBody) {
            m_bodies.emplace_back();
            body = &m_bodies.back();
            body->push_back(high ? 1 : 0);
        }
        std::size_t take = std::min(text.size() - done, (kMaxRecordBody - body->size()) / width);
        // Keep a surrogate pair in one record so each piece decodes on its own.
        if (done + take < text.size() && take > 1 && text[done + take - 1] >= 0xD800 &&
            text[done + take - 1] < 0xDC00)
            --take;
        for (std::size_t i = 0; i < take; ++i) {
            if (high)
                append16(*body, text[done + i]);
            else
                body->push_back(static_cast<std::uint8_t>(text[done + i]));
        }
        done += take;
    }
}

std::vector<std::uint8_t> SharedStrings::serialize(std::uint32_t streamOffset) const {
    std::vector<std::uint8_t> out;
    std::vector<std::uint32_t> recordStarts;
    for (std::size_t i = 0; i < m_views.size(); ++i) {
        recordStarts.push_back(streamOffset + static_cast<std::uint32_t>(out.size()));
        append16(out, i == 0 ? record::Sst : record::Continue);
        append16(out, static_cast<std::uint16_t>(m_views[i].size()));
        const std::size_t bodyAt = out.size();
        out.insert(out.end(), m_views[i].begin(), m_views[i].end());
        if (i == 0) {
            put32(out, bodyAt, m_total);
            put32(out, bodyAt + 4, m_unique);
        }
    }
    // The index Excel uses to find strings quickly: every dsst-th string's position, at most 128 buckets.
    const std::uint32_t perBucket = std::max<std::uint32_t>(8, m_unique / 128 + 1);
    const std::uint32_t buckets = (m_unique + perBucket - 1) / perBucket;
    append16(out, record::ExtSst);
    append16(out, static_cast<std::uint16_t>(2 + 8 * buckets));
    append16(out, static_cast<std::uint16_t>(perBucket));
    for (std::uint32_t b = 0; b < buckets; ++b) {
        const auto [body, offset] = m_starts[b * perBucket];
        append32(out, recordStarts[body] + 4 + offset);
        append16(out, static_cast<std::uint16_t>(4 + offset));
        append16(out, 0);
    }
    return out;
}

} // namespace veltrum::workbook
