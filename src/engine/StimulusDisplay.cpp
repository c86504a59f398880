#include "engine/Phase.h"
#include "engine/SessionEngine.h"

namespace veltrum::engine {

void SessionEngine::setPositionTexts() {
    std::array<std::string, 6> texts;
    for (std::size_t p = 1; p <= 6; ++p)
        texts[p - 1] = m_state.PosStimulus[p].toString();
    m_with.display.setPositionTexts(texts);
}

void SessionEngine::StimulusOn() {
    for (std::size_t i = 1; i <= 8; ++i) {
        const Int16 position = m_state.StimPosition[i];
        if (position <= 0 || position > 6)
            continue;
        m_with.display.showPicture(position.toInt(), m_state.StimPicture[i]);
        m_state.PosStimulus[static_cast<std::size_t>(position.toInt())] = static_cast<int>(i);
    }
    // The texts are set only after every picture is up, so one message carries the whole display.
    setPositionTexts();
    m_with.link.SendDisplayMessage();
    m_stimulusShown = true;
    publish(SessionEventKind::StimulusOn);
    // With HeadDetect 2 the stimulus period has no time limit.
    if (m_state.HeadDetect != 2)
        m_timers.Stimulus.setEnabled(true);
}

void SessionEngine::StimulusOff() {
    m_timers.Stimulus.setEnabled(false);
    m_timers.FI.setEnabled(false);
    m_state.StimulusTotalTime += m_state.StimulusTotalCount.toDouble();
    m_state.TrialsWPeck += m_state.TrialPeck;

    const PhaseRules* phase = phaseNamed(m_state.PhaseDescription);
    const InterTrialRule rule = phase ? phase->interTrial : InterTrialRule::Response;
    if (rule == InterTrialRule::NoResponseUntilAPeck && m_state.TrialsWPeck == 0)
        m_state.ITITotalCount = m_state.NoResponseITI;
    else if (rule == InterTrialRule::NoResponseAfterAnUnreinforcedPeck && m_state.TrialPeck == 1 &&
             m_state.Reinforce == 0)
        m_state.ITITotalCount = m_state.NoResponseITI;
    else
        m_state.ITITotalCount = m_state.ResponseITI;
    if (m_state.HardwareFree)
        m_state.ITITotalCount = 2;

    for (int slot = 1; slot <= 6; ++slot)
        m_with.display.hidePicture(slot);
    for (std::size_t i = 1; i <= 8; ++i)
        m_state.StimPosition[i] = 0;
    m_with.display.setPositionTexts({"0", "0", "0", "0", "0", "0"});
    m_with.link.SendDisplayMessage();
    m_stimulusShown = false;
    publish(SessionEventKind::StimulusOff);
}

} // namespace veltrum::engine
