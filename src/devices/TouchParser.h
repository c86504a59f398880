// Reads the tablet's touch messages out of the bytes of each data arrival, with bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::devices {

// What is carried from one arrival to the next.
struct TouchStream {
    std::string pending;     // bytes of a touch not yet ended (at most TouchParser::maxTouchBytes)
    bool discarding = false; // the current touch grew too long; skip it up to the next separator
    bool lineFramed = false; // the tablet has ended a touch with a line end
    bool operator==(const TouchStream&) const = default;
};

struct TouchParse {
    TouchStream stream;                  // to pass with the next arrival
    std::vector<std::int16_t> positions; // well-formed touches in order, 0 and negatives included
    int rejected = 0;                    // texts that are not a decimal integer within 16 bits
    int dropped = 0;                     // touches beyond the per-arrival limit, not read
};

// Touches are separated by a line end (CR or LF), a comma, a space or a tab. A touch is an optional
// sign and decimal digits within -32768..32767. Positions are 1 to 6, so a run of digits that are all
// positions is that many touches in order: a tablet that sends bare digits has them run together by TCP
// whenever the controller or the network is slow ("61" is 6 then 1). Any other run is one number ("70",
// "0", "-3") and is scored like any position that matches no stimulus, its row keeping exactly what the
// tablet sent.
//
// Framing: a tablet that never sends a line end is read as one touch per arrival (the text left at the
// end of an arrival is a whole touch). Once it has ended a touch with a line end, a touch left open at
// the end of an arrival is kept until its line end, so a touch split across two arrivals is read whole.
//
// Bounds: a touch longer than maxTouchBytes is rejected without being kept; at most
// maxTouchesPerArrival touches are read from one arrival and the rest are counted as dropped, so a
// flooding tablet can neither grow memory nor hold the timers up with thousands of scored touches.
class TouchParser {
public:
    static constexpr std::size_t maxTouchBytes = 16;
    static constexpr std::size_t maxTouchesPerArrival = 32;

    static TouchParse parse(const TouchStream& before, std::string_view arrival);
    // The 16-bit value of one touch's text, or false when it is not a decimal integer in range.
    static bool readPosition(std::string_view text, std::int16_t& position);
};

} // namespace veltrum::devices
