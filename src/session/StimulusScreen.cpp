#include "StimulusScreen.h"

#include <cmath>

namespace veltrum::session {

StimulusScreen::StimulusScreen(engine::SessionEngine& engine)
    : Text5("Text5")
    , Label4("Label4")
    , Label10("Label10")
    , Label7("Label7")
    , Label1("Label1")
    , Label3("Label3")
    , Text2("Text2")
    , Text3("Text3")
    , Text4("Text4")
    , Text6("Text6")
    , Text7("Text7")
    , Text8("Text8")
    , Image1("Image1", 1, 6)
    , m_engine(engine) {
    for (int i = Image1.lowerBound(); i <= Image1.upperBound(); ++i)
        Image1(i).setOnMouseDown([this](int index) { Image1_MouseDown(index); });
}

void StimulusScreen::LayOutStimuli() {
    std::array<std::string, 9> pictures;
    for (int i = 1; i <= 6; ++i) {
        Image1(i).setWidth(200);
        Image1(i).setHeight(200);
        pictures[static_cast<std::size_t>(i)] = Text5.text() + std::to_string(i) + ".bmp";
    }
    pictures[7] = Text5.text() + "7.bmp";
    m_engine.setStimulusPictures(pictures);

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

void StimulusScreen::Image1_MouseDown(int index) {
    if (index < Image1.lowerBound() || index > Image1.upperBound() || !Image1(index).isVisible())
        return;
    forms::Int16 screenIndex = index;
    forms::Int16 tabletPosition = 0;
    m_engine.ScoreResponse(screenIndex, tabletPosition);
}

void StimulusScreen::clearPositionBoxes() {
    for (forms::TextBox* box : positionBoxes())
        box->setText("0");
}

void StimulusScreen::showPicture(int slot, const std::string& path) {
    forms::PictureBox& picture = Image1(slot);
    picture.setPicturePath(path);
    picture.setVisible(true);
}

void StimulusScreen::hidePicture(int slot) {
    Image1(slot).setVisible(false);
}

void StimulusScreen::setPositionTexts(const std::array<std::string, 6>& texts) {
    const auto boxes = positionBoxes();
    for (std::size_t p = 0; p < boxes.size(); ++p)
        boxes[p]->setText(texts[p]);
}

void StimulusScreen::showHopperWords(std::string_view words) {
    Label1.setCaption(std::string(words));
    Label1.repaint();
}

void StimulusScreen::showOutcomeWords(std::string_view words) {
    Label3.setCaption(std::string(words));
    Label3.repaint();
}

} // namespace veltrum::session
