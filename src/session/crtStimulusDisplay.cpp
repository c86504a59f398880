#include "session/crt.h"

namespace veltrum::session {

void crt::Image1_MouseDown(int index) {
    if (index < Image1.lowerBound() || index > Image1.upperBound() || !Image1(index).isVisible())
        return;
    Int16 screenIndex = index;
    Int16 tabletPosition = 0;
    ScoreResponse(screenIndex, tabletPosition);
}

void crt::showPicture(int slot, const std::string& path) {
    PictureBox& picture = Image1(slot);
    picture.setPicturePath(path);
    picture.setVisible(true);
}

void crt::hidePicture(int slot) {
    Image1(slot).setVisible(false);
}

void crt::setPositionTexts(const std::array<std::string, 6>& texts) {
    const auto boxes = positionBoxes();
    for (std::size_t p = 0; p < boxes.size(); ++p)
        boxes[p]->setText(texts[p]);
}

void crt::clearPositionBoxes() {
    for (TextBox* box : positionBoxes())
        box->setText("0");
}

} // namespace veltrum::session
