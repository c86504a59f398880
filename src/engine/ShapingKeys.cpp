// The operator's shaping keys: each acts on the running session and marks it, so that the summary says
// the subject was shaped by hand.
#include "engine/SessionEngine.h"

namespace veltrum::engine {

namespace {

constexpr const char* shapingMark = "SHAPING KEYS USED. ";

// Each press lengthens every later stimulus tick by a second, up to a tick of an hour.
constexpr std::int32_t longestStimulusTick = 3600 * 1000;

} // namespace

bool SessionEngine::applyShapingKey(char key) {
    if (key >= 'a' && key <= 'z')
        key = static_cast<char>(key - 'a' + 'A');
    switch (key) {
    case 'F': // freeze: the stimulus, inter-trial and food periods do not end by themselves
        m_timers.Stimulus.setEnabled(false);
        m_timers.ITI.setEnabled(false);
        m_timers.Hopper_Timer.setEnabled(false);
        m_state.KeyShaping = shapingMark;
        m_state.HeadDetect = 2;
        break;
    case 'R': // end the trial without food
        m_state.KeyShaping = shapingMark;
        StimulusOff();
        EndTrial();
        m_state.HeadDetect = 1;
        break;
    case 'U': // feed by hand; later food periods wait for a head entry
        StimulusOff();
        HopperUp();
        m_state.HeadDetect = 2;
        m_state.KeyShaping = shapingMark;
        break;
    case 'D': // show the pictures placed and lower the hopper
        StimulusOn();
        HopperDown();
        m_state.KeyShaping = shapingMark;
        break;
    case 'H': // feed by hand, waiting for a head entry
        m_timers.ITI.setEnabled(false);
        m_timers.Stimulus.setEnabled(false);
        m_state.HeadDetect = 1;
        StimulusOff();
        HopperUp();
        m_state.KeyShaping = shapingMark;
        break;
    case 'L':
        if (m_timers.Stimulus.interval() <= longestStimulusTick - 1000)
            m_timers.Stimulus.setInterval(m_timers.Stimulus.interval() + 1000);
        m_state.KeyShaping = shapingMark;
        break;
    case 'I':
        m_state.Instrumental = 1;
        m_state.Pavlovian = 0;
        m_state.KeyShaping = shapingMark;
        break;
    case 'P':
        m_state.Instrumental = 0;
        m_state.Pavlovian = 1;
        m_state.KeyShaping = shapingMark;
        break;
    case 'B':
        m_state.Instrumental = 1;
        m_state.Pavlovian = 1;
        m_state.KeyShaping = shapingMark;
        break;
    default:
        return false;
    }
    return true;
}

} // namespace veltrum::engine
