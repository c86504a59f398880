#include "crt.h"

#include <cmath>

namespace veltrum::session {

void crt::LayOutStimuli() {
    for (int i = 1; i <= 6; ++i) {
        Image1(i).setWidth(200);
        Image1(i).setHeight(200);
        state.StimPicture[static_cast<std::size_t>(i)] = Text5.text() + std::to_string(i) + ".bmp";
    }
    state.StimPicture[7] = Text5.text() + "7.bmp";

    // Two rows of three slots around fixed centres, sized from slot 1: 100 pixels between slots and rows.
    struct Centre {
        float x;
        float y;
    };
    constexpr Centre centres[] = {{100, 150}, {400, 150}, {700, 150}, {100, 450}, {400, 450}, {700, 450}};
    const float width = static_cast<float>(Image1(1).geometry().width);
    const float height = static_cast<float>(Image1(1).geometry().height);
    for (int i = 1; i <= 6; ++i) {
        const Centre& centre = centres[i - 1];
        Image1(i).setLeft(static_cast<int>(std::lround(centre.x - width / 2)));
        Image1(i).setTop(static_cast<int>(std::lround(centre.y - height / 2)));
    }
}

} // namespace veltrum::session
