// The chamber on the I/O card: the session's hopper, inter-trial output and head-entry sensor as the
// port values every card translates through its port map.
#pragma once

#include "engine/Collaborators.h"
#include "platform/IoCard.h"

namespace veltrum::session {

class CardChamber final : public engine::Chamber {
public:
    explicit CardChamber(platform::IoCard& card)
        : m_card(card) {}

    void raiseHopper() override;
    void lowerHopper() override;
    void turnInterTrialOutputOn() override;
    void turnOutputsOff() override;
    bool headInOpening() override;

private:
    platform::IoCard& m_card;
};

} // namespace veltrum::session
