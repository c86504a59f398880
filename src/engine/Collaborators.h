// What the session engine is given to act on: the chamber's card, the stimulus display, the tablet's
// link, the schedule, the trial records and the window. Each is narrow, so a window model, a test or
// another front end can supply its own.
#pragma once

#include "forms/Int16.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltrum::engine {

using forms::Int16;

// The hopper, the inter-trial output and the head-entry sensor on the I/O card.
class Chamber {
public:
    virtual ~Chamber() = default;
    // Reads the sensor once (the card latches it) and raises the hopper.
    virtual void raiseHopper() = 0;
    // Lowers the hopper: every output off.
    virtual void lowerHopper() = 0;
    // Turns the inter-trial output on, alone.
    virtual void turnInterTrialOutputOn() = 0;
    // Turns every output off.
    virtual void turnOutputsOff() = 0;
    // Reads the sensor: true when a head is in the hopper opening.
    virtual bool headInOpening() = 0;
};

// The six stimulus slots on the screen, their position texts, and the status words the operator sees.
class Display {
public:
    virtual ~Display() = default;
    // Shows the picture file in slot 1..6.
    virtual void showPicture(int slot, const std::string& path) = 0;
    // Hides slot 1..6.
    virtual void hidePicture(int slot) = 0;
    // Sets the six position texts, positions 1 to 6: the stimulus number shown there, "0" for none.
    virtual void setPositionTexts(const std::array<std::string, 6>& texts) = 0;
    // The hopper's words: "Hopper Up", "Hopper Down".
    virtual void showHopperWords(std::string_view words) = 0;
    // The words of the last event: the touch's outcome, "AutoReward".
    virtual void showOutcomeWords(std::string_view words) = 0;
};

// The tablet's copy of the display.
class Link {
public:
    virtual ~Link() = default;
    // Sends the six position texts to the tablet as one display message, while a tablet is connected.
    virtual void SendDisplayMessage() = 0;
    // Closes the tablet's link at the session's end; true when a tablet was connected.
    virtual bool closeLink() = 0;
};

// One row of the session's schedule.
struct ScheduleRow {
    Int16 trialType;
    Int16 goal;
};

// The session's schedule of trials, rows numbered from 1.
class Schedule {
public:
    virtual ~Schedule() = default;
    // Row n, or nullopt when the row is missing or not whole 16-bit numbers.
    virtual std::optional<ScheduleRow> scheduleRow(int n) const = 0;
};

// Where the trial rows go.
class TrialRecords {
public:
    virtual ~TrialRecords() = default;
    // Records the row of a touch (the screen's slot or the tablet's position, the other 0) or of a
    // timeout (both 0), from the session state as it is now. Returns at once.
    virtual void RecordTrial(Int16 ScreenIndex, Int16 TabletPosition) = 0;
    // Rows handed over and not yet committed.
    virtual std::size_t rowsWaiting() const = 0;
    // Starts writing the waiting rows again (at the session's end).
    virtual void retryRows() = 0;
};

// The main window around the session.
class MainWindow {
public:
    virtual ~MainWindow() = default;
    // The session is over: the stimulus screen goes away.
    virtual void hideWindow() = 0;
    // The session is over: the summary window opens (once).
    virtual void showSummaryWindow() = 0;
    // A timer's handler or a key failed; the session goes on.
    virtual void reportFailure(const std::string& what) = 0;
};

// Everything the engine acts on.
struct Collaborators {
    Chamber& chamber;
    Display& display;
    Link& link;
    Schedule& schedule;
    TrialRecords& records;
    MainWindow& window;
};

} // namespace veltrum::engine
