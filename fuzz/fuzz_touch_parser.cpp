// Feeds the touch parser arbitrary bytes cut into arrivals and checks its bounds hold.
#include "devices/TouchParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using veltrum::devices::TouchParser;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks how the rest is cut into arrivals, as TCP may cut it.
    const std::size_t chunk = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    veltrum::devices::TouchStream stream;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const veltrum::devices::TouchParse parsed = TouchParser::parse(stream, bytes.substr(at, chunk));
        if (parsed.stream.pending.size() > TouchParser::maxTouchBytes ||
            parsed.positions.size() + static_cast<std::size_t>(parsed.rejected) >
                TouchParser::maxTouchesPerArrival)
            std::abort();
        for (const std::int16_t position : parsed.positions) {
            std::int16_t again = 0;
            // Every touch read must read back the same from its own decimal text.
            if (!TouchParser::readPosition(std::to_string(position), again) || again != position)
                std::abort();
        }
        stream = parsed.stream;
    }
    return 0;
}
