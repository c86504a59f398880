#include "forms/Int16.h"

#include <cmath>
#include <sstream>

namespace veltrum::forms {

Int16 Int16::fromDouble(double value) {
    // nearbyint follows the default rounding mode, round-half-to-even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= minimum && rounded <= maximum)) {
        std::ostringstream text;
        text << "Overflow: the value " << value << " is outside the 16-bit range -32768 to 32767.";
        throw OverflowError(text.str());
    }
    return Int16(static_cast<int>(rounded));
}

} // namespace veltrum::forms
