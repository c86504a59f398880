#include "workbook/SharedStrings.h"

#include "workbook/Workbook.h"

#include <algorithm>

namespace veltrum::workbook {

namespace {

class Cursor {
public:
    Cursor(const std::vector<std::vector<std::uint8_t>>& bodies, const std::string& name)
        : m_bodies(bodies)
        , m_name(name) {}

    // Steps into the next record when the current one is used up; strings may start at a record start.
    bool atStringStart() {
        while (m_pos == m_bodies[m_body].size() && m_body + 1 < m_bodies.size()) {
            ++m_body;
            m_pos = 0;
        }
        return m_pos < m_bodies[m_body].size();
    }
    std::uint32_t body() const { return static_cast<std::uint32_t>(m_body); }
    std::uint32_t pos() const { return static_cast<std::uint32_t>(m_pos); }

    std::uint8_t byte() {
        atStringStart();
        if (m_pos >= m_bodies[m_body].size())
            damaged();
        return m_bodies[m_body][m_pos++];
    }
    std::uint32_t number(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint32_t(byte()) << (8 * i);
        return value;
    }
    void skip(std::size_t count) {
        while (count > 0) {
            atStringStart();
            const std::size_t take = std::min(count, m_bodies[m_body].size() - m_pos);
            if (take == 0)
                damaged();
            m_pos += take;
            count -= take;
        }
    }
    // Characters; where they cross into the next record, that record starts with a byte giving their width.
    template <typename Sink>
    void characters(std::size_t count, bool high, Sink&& sink) {
        std::size_t done = 0;
        while (done < count) {
            if (m_pos == m_bodies[m_body].size()) {
                if (m_body + 1 >= m_bodies.size())
                    damaged();
                ++m_body;
                m_pos = 0;
                high = byte() & 1;
            }
            const auto& data = m_bodies[m_body];
            const std::size_t width = high ? 2 : 1;
            const std::size_t available = (data.size() - m_pos) / width;
            if (available == 0)
                damaged();
            const std::size_t take = std::min(available, count - done);
            for (std::size_t i = 0; i < take; ++i, m_pos += width)
                sink(high ? char16_t(data[m_pos] | (data[m_pos + 1] << 8)) : char16_t(data[m_pos]));
            done += take;
        }
    }
    void seek(std::uint32_t body, std::uint32_t pos) {
        m_body = body;
        m_pos = pos;
    }

private:
    [[noreturn]] void damaged() const {
        throw WorkbookError(m_name + ": the workbook is damaged (the shared string table is cut short)");
    }
    const std::vector<std::vector<std::uint8_t>>& m_bodies;
    const std::string& m_name;
    std::size_t m_body = 0;
    std::size_t m_pos = 8;
};

std::string toUtf8(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text)
        append16(bytes, c);
    return decodeCharacters(bytes, text.size(), true);
}

struct Hasher {
    std::uint64_t value = 1469598103934665603ull;
    void operator()(char16_t unit) { value = (value ^ unit) * 1099511628211ull; }
};

std::uint64_t hashOf(const std::u16string& text) {
    Hasher hasher;
    for (char16_t unit : text)
        hasher(unit);
    return hasher.value;
}

} // namespace

SharedStrings SharedStrings::parse(std::span<const std::uint8_t> stream, const BiffLayout& layout,
                                   const std::string& name) {
    SharedStrings table;
    if (layout.sst.empty()) {
        table.m_bodies.push_back(std::vector<std::uint8_t>(8, 0));
        return table;
    }
    for (std::size_t index : layout.sst) {
        const RecordRef& ref = layout.records[index];
        table.m_bodies.emplace_back(stream.begin() + ref.body(), stream.begin() + ref.end());
    }
    if (table.m_bodies[0].size() < 8)
        throw WorkbookError(name + ": the workbook is damaged (the shared string table is cut short)");
    table.m_total = get32(table.m_bodies[0], 0);
    table.m_unique = get32(table.m_bodies[0], 4);
    table.m_name = name;
    Cursor cursor(table.m_bodies, name);
    table.m_starts.reserve(table.m_unique);
    for (std::uint32_t i = 0; i < table.m_unique; ++i) {
        cursor.atStringStart();
        table.m_starts.emplace_back(cursor.body(), cursor.pos());
        const std::size_t count = cursor.number(2);
        const std::uint8_t flags = cursor.byte();
        const std::size_t runs = (flags & 0x08) ? cursor.number(2) : 0;
        const std::size_t extension = (flags & 0x04) ? cursor.number(4) : 0;
        cursor.characters(count, flags & 1, [](char16_t) {});
        cursor.skip(4 * runs + extension);
    }
    table.m_end = {cursor.body(), cursor.pos()};
    return table;
}

namespace {

// Moves the cursor to a string's first character past its header (length, flags, run and phonetic
// sizes) and says how many characters follow and how wide they are.
struct StringHeader {
    std::size_t count = 0;
    bool highByte = false;
};

template <typename Start>
StringHeader openString(Cursor& cursor, const Start& start) {
    cursor.seek(start.first, start.second);
    StringHeader header;
    header.count = cursor.number(2);
    const std::uint8_t flags = cursor.byte();
    if (flags & 0x08)
        cursor.number(2);
    if (flags & 0x04)
        cursor.number(4);
    header.highByte = (flags & 1) != 0;
    return header;
}

} // namespace

std::u16string SharedStrings::units(std::uint32_t index) const {
    Cursor cursor(m_bodies, m_name);
    const StringHeader header = openString(cursor, m_starts[index]);
    std::u16string text;
    text.reserve(header.count);
    cursor.characters(header.count, header.highByte, [&](char16_t unit) { text.push_back(unit); });
    return text;
}

void SharedStrings::buildLookup() {
    m_lookupBuilt = true;
    m_lookup.reserve(m_starts.size() * 2);
    Cursor cursor(m_bodies, m_name);
    for (std::uint32_t i = 0; i < m_starts.size(); ++i) {
        const StringHeader header = openString(cursor, m_starts[i]);
        Hasher hasher;
        cursor.characters(header.count, header.highByte, hasher);
        m_lookup.emplace(hasher.value, i);
    }
}

std::string SharedStrings::text(std::uint32_t index) const {
    return index < m_starts.size() ? toUtf8(units(index)) : std::string();
}

std::uint32_t SharedStrings::stringPosition(std::uint32_t index, const BiffLayout& layout) const {
    if (index >= m_starts.size() || m_starts[index].first >= layout.sst.size())
        return 0;
    return layout.records[layout.sst[m_starts[index].first]].body() + m_starts[index].second;
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
    appendString(text);
    m_lookup.emplace(hash, index);
    return index;
}

void SharedStrings::startContinue() {
    m_bodies.emplace_back();
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
        startContinue();
    auto& first = m_bodies.back();
    m_starts.emplace_back(static_cast<std::uint32_t>(m_bodies.size() - 1),
                          static_cast<std::uint32_t>(first.size()));
    append16(first, static_cast<std::uint16_t>(text.size()));
    first.push_back(high ? 1 : 0);
    std::size_t done = 0;
    while (done < text.size()) {
        auto* body = &m_bodies.back();
        if (body->size() + width > kMaxRecordBody) {
            startContinue();
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
    for (std::size_t i = 0; i < m_bodies.size(); ++i) {
        recordStarts.push_back(streamOffset + static_cast<std::uint32_t>(out.size()));
        append16(out, i == 0 ? record::Sst : record::Continue);
        append16(out, static_cast<std::uint16_t>(m_bodies[i].size()));
        const std::size_t bodyAt = out.size();
        out.insert(out.end(), m_bodies[i].begin(), m_bodies[i].end());
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
