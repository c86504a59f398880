#include "engine/Phase.h"
#include "session/crt.h"

namespace veltrum::session {

void crt::StimulusOn() {
    for (std::size_t i = 1; i <= 8; ++i) {
        const Int16 position = state.StimPosition[i];
        if (position <= 0 || position > 6)
            continue;
        PictureBox& slot = Image1(position.toInt());
        slot.setPicturePath(state.StimPicture[i]);
        slot.setVisible(true);
        state.PosStimulus[static_cast<std::size_t>(position.toInt())] = static_cast<int>(i);
    }
    // The boxes are set only after every picture is up, so one message carries the whole display.
    const auto boxes = positionBoxes();
    for (std::size_t p = 1; p <= 6; ++p)
        boxes[p - 1]->setText(state.PosStimulus[p].toString());
    SendDisplayMessage();
    m_stimulusShown = true;
    publish(engine::SessionEventKind::StimulusOn);
    // With HeadDetect 2 the stimulus period has no time limit.
    if (state.HeadDetect != 2)
        Stimulus.setEnabled(true);
}

void crt::StimulusOff() {
    Stimulus.setEnabled(false);
    FI.setEnabled(false);
    state.StimulusTotalTime += state.StimulusTotalCount.toDouble();
    state.TrialsWPeck += state.TrialPeck;

    const engine::PhaseRules* phase = engine::phaseNamed(state.PhaseDescription);
    const engine::InterTrialRule rule = phase ? phase->interTrial : engine::InterTrialRule::Response;
    if (rule == engine::InterTrialRule::NoResponseUntilAPeck && state.TrialsWPeck == 0)
        state.ITITotalCount = state.NoResponseITI;
    else if (rule == engine::InterTrialRule::NoResponseAfterAnUnreinforcedPeck && state.TrialPeck == 1 &&
             state.Reinforce == 0)
        state.ITITotalCount = state.NoResponseITI;
    else
        state.ITITotalCount = state.ResponseITI;
    if (state.HardwareFree)
        state.ITITotalCount = 2;

    for (int p = 1; p <= 6; ++p)
        Image1(p).setVisible(false);
    for (std::size_t i = 1; i <= 8; ++i)
        state.StimPosition[i] = 0;
    clearPositionBoxes();
    SendDisplayMessage();
    m_stimulusShown = false;
    publish(engine::SessionEventKind::StimulusOff);
}

} // namespace veltrum::session
