// An I/O card that does nothing: reads all inputs as 0 and ignores writes. Used until a card is chosen.
#pragma once

#include "platform/IoCard.h"

namespace veltrum::qt {

class NullIoCard : public platform::IoCard {
public:
    std::int16_t portRead(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void portWrite(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
};

} // namespace veltrum::qt
