// The stimulus screen of the main window: the six picture slots Image1(1..6), the position boxes that
// say which stimulus each position shows (the source of the tablet's display message), the banner and
// the status words. It is the session engine's display; a touch on a shown slot is scored by the engine.
#pragma once

#include "engine/SessionEngine.h"
#include "forms/Controls.h"

#include <array>
#include <string>
#include <string_view>

namespace veltrum::session {

class StimulusScreen final : public engine::Display {
public:
    explicit StimulusScreen(engine::SessionEngine& engine);
    StimulusScreen(const StimulusScreen&) = delete;
    StimulusScreen& operator=(const StimulusScreen&) = delete;

    forms::TextBox Text5; // the picture folder
    forms::Label Label4;
    forms::Label Label10;
    forms::Label Label7; // the banner
    forms::Label Label1; // hopper words
    forms::Label Label3; // event words
    forms::TextBox Text2;
    forms::TextBox Text3;
    forms::TextBox Text4;
    forms::TextBox Text6;
    forms::TextBox Text7;
    forms::TextBox Text8;
    forms::ControlArray<forms::PictureBox> Image1;

    // Sizes and places the six slots and names the pictures of stimuli 1 to 7 from the picture folder.
    void LayOutStimuli();
    void Image1_MouseDown(int index);

    // The six position boxes, positions 1 to 6 in order: the only source of the display message.
    std::array<forms::TextBox*, 6> positionBoxes() {
        return {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8};
    }
    std::array<const forms::TextBox*, 6> positionBoxes() const {
        return {&Text2, &Text3, &Text4, &Text6, &Text7, &Text8};
    }
    // Every position box set to "0": nothing shown.
    void clearPositionBoxes();

    // The engine's display.
    void showPicture(int slot, const std::string& path) override;
    void hidePicture(int slot) override;
    void setPositionTexts(const std::array<std::string, 6>& texts) override;
    void showHopperWords(std::string_view words) override;
    void showOutcomeWords(std::string_view words) override;

private:
    engine::SessionEngine& m_engine;
};

} // namespace veltrum::session
