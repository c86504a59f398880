// A copy of the demo data folder with subject S1 on a scenario's parameters, the main window in virtual
// time, and readers for what a session leaves: its rows, port writes, tablet messages, the display.
#pragma once

#include "support/SessionFixture.h"

#include <string>
#include <vector>

namespace veltrum::testing {

class ScenarioHarness : public SessionFixture {
public:
    // params: a workbook of tests/scenarios/fixtures ("params_main", "params_alt", "params_limits").
    explicit ScenarioHarness(const std::string& params = "params_main", const std::string& subject = "S1")
        : m_subject(subject) {
        random = SequenceRandom{{0.9f, 0.1f, 0.5f, 0.3f, 0.7f, 0.2f, 0.8f, 0.4f, 0.6f, 0.05f, 0.95f, 0.15f}};
        writeFile("CurrentSchedule.txt", subject + "\r\n");
        addParameters(subject, params);
    }

    void addParameters(const std::string& subject, const std::string& params) {
        copyIn(std::string(VELTRUM_SCENARIO_FIXTURES) + "/" + params + ".xls",
               "Parameters/" + subject + ".xls");
    }
    std::string dataFile() const { return folder() + "/Results/" + m_subject + ".1.xls"; }

    // Start-up, the phase picked by hand (1 MagTrain .. 4 SimDisc), the hardware-free box, then Start.
    session::crt& setUp(int phase, bool hardwareFree = false) {
        session::crt& w = window();
        w.Form_Load();
        w.panel.Combo1.select(phase - 1);
        if (hardwareFree)
            w.panel.Check1.click();
        w.panel.Command1.click();
        return w;
    }
    session::crt& start(int phase, bool hardwareFree = false) {
        setUp(phase, hardwareFree);
        press('S');
        return window();
    }
    // The tablet connects to the listening socket (after start-up has begun listening).
    void tabletConnected() {
        socket.listen();
        socket.accept(1);
    }

    std::vector<Row> rows() const { return readRows(dataFile()); }

    // Values written to output port 792, in order.
    std::vector<int> outputs() const {
        std::vector<int> values;
        for (const RecordingIoCard::Write& write : ioCard.writes())
            values.push_back(write.value);
        return values;
    }
    // The six position boxes as the tablet message would carry them.
    std::string display() {
        session::crt& w = window();
        return w.screen.Text2.text() + "," + w.screen.Text3.text() + "," + w.screen.Text4.text() + "," +
               w.screen.Text6.text() + "," + w.screen.Text7.text() + "," + w.screen.Text8.text();
    }
    std::vector<int> shownSlots() {
        std::vector<int> shown;
        for (int i = 1; i <= 6; ++i)
            if (window().screen.Image1(i).isVisible())
                shown.push_back(i);
        return shown;
    }

private:
    std::string m_subject;
};

} // namespace veltrum::testing
