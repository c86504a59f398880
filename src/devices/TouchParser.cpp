#include "devices/TouchParser.h"

namespace veltrum::devices {

namespace {

bool isSeparator(char c) {
    return c == '\r' || c == '\n' || c == ',' || c == ' ' || c == '\t';
}

class Reader {
public:
    explicit Reader(const TouchStream& before) { m_out.stream = before; }

    void feed(std::string_view arrival) {
        TouchStream& stream = m_out.stream;
        for (const char c : arrival) {
            if (isSeparator(c)) {
                endTouch();
                if (c == '\n' || c == '\r')
                    stream.lineFramed = true;
            } else if (stream.discarding) {
                continue;
            } else if (stream.pending.size() >= TouchParser::maxTouchBytes) {
                stream.pending.clear();
                stream.discarding = true;
            } else {
                stream.pending.push_back(c);
            }
        }
        // A tablet without line ends sends one touch per arrival; a line-framed one finishes it later.
        if (!stream.lineFramed)
            endTouch();
    }

    TouchParse result() && { return std::move(m_out); }

private:
    // Ends the touch under way: read, rejected, or dropped once the arrival's limit is reached.
    void endTouch() {
        TouchStream& stream = m_out.stream;
        if (!stream.discarding && stream.pending.empty())
            return;
        // Positions are 1 to 6: digits that are all positions are touches that TCP ran together.
        if (!stream.discarding && stream.pending.size() > 1 &&
            stream.pending.find_first_not_of("123456") == std::string::npos) {
            const std::string run = std::move(stream.pending);
            for (const char digit : run) {
                stream.pending.assign(1, digit);
                endTouch();
            }
            return;
        }
        const bool limitReached = m_out.positions.size() + static_cast<std::size_t>(m_out.rejected) >=
                                  TouchParser::maxTouchesPerArrival;
        std::int16_t position = 0;
        const bool wellFormed = !stream.discarding && TouchParser::readPosition(stream.pending, position);
        stream.discarding = false;
        stream.pending.clear();
        if (limitReached)
            ++m_out.dropped;
        else if (!wellFormed)
            ++m_out.rejected;
        else
            m_out.positions.push_back(position);
    }

    TouchParse m_out;
};

} // namespace

bool TouchParser::readPosition(std::string_view text, std::int16_t& position) {
    std::size_t at = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        at = 1;
    }
    if (at == text.size())
        return false;
    long value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > 32768)
            return false;
    }
    if (negative)
        value = -value;
    if (value < -32768 || value > 32767)
        return false;
    position = static_cast<std::int16_t>(value);
    return true;
}

TouchParse TouchParser::parse(const TouchStream& before, std::string_view arrival) {
    Reader reader(before);
    reader.feed(arrival);
    return std::move(reader).result();
}

} // namespace veltrum::devices
