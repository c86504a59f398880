#include "tablet/DisplayStream.h"

#include <charconv>

namespace veltrum::tablet {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool readField(std::string_view text, int& value) {
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

} // namespace

std::vector<Display> DisplayStream::feed(std::string_view bytes) {
    m_pending.append(bytes);
    std::vector<Display> complete;
    std::size_t start = 0;
    while (start < m_pending.size()) {
        const std::string_view rest = std::string_view(m_pending).substr(start);
        // The five commas of one message, then the sixth field's digits.
        std::size_t commas[5];
        std::size_t at = 0;
        int found = 0;
        for (; found < 5; ++found) {
            const std::size_t comma = rest.find(',', at);
            if (comma == std::string_view::npos)
                break;
            commas[found] = comma;
            at = comma + 1;
        }
        if (found < 5 || at == rest.size())
            break;
        std::size_t end = at;
        while (end < rest.size() && isDigit(rest[end]))
            ++end;
        // The sixth field ran on into the next message's first field.
        if (end < rest.size() && rest[end] == ',' && end > at)
            end = at + 1;
        Display display{};
        bool wellFormed = readField(rest.substr(0, commas[0]), display[0]);
        for (int i = 1; i < 5 && wellFormed; ++i)
            wellFormed = readField(rest.substr(commas[i - 1] + 1, commas[i] - commas[i - 1] - 1), display[i]);
        wellFormed = wellFormed && readField(rest.substr(at, end - at), display[5]);
        if (wellFormed)
            complete.push_back(display);
        // A malformed message is skipped up to where its sixth field ended, or by one byte at least.
        start += end > 0 ? end : 1;
    }
    m_pending.erase(0, start);
    if (m_pending.size() > maxPendingBytes)
        m_pending.clear();
    return complete;
}

} // namespace veltrum::tablet
