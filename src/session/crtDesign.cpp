#include "crt.h"
#include "engine/Phase.h"

namespace veltrum::session {

namespace {

using forms::Geometry;
using forms::Label;
using forms::Rgb;

constexpr Rgb black{0, 0, 0};
constexpr Rgb white{255, 255, 255};
constexpr Rgb red{255, 0, 0};

// The set-up panel: captions in a column on the left, their controls in a column beside them, one row
// every 48 pixels, the Start button below. The band above y = 50 stays free for the session's status
// labels, which appear only once the six stimulus slots fill the screen below it.
constexpr int captionLeft = 60;
constexpr int captionWidth = 180;
constexpr int fieldLeft = 250;
constexpr int fieldWidth = 240;
constexpr int rowHeight = 26;

constexpr int rowTop(int row) {
    return 70 + row * 48;
}

void designCaption(Label& label, const char* caption, int row) {
    label.setCaption(caption);
    label.setGeometry({captionLeft, rowTop(row) + 3, captionWidth, rowHeight - 3});
    label.setForeground(white);
}

void designHiddenStatus(Label& label, Geometry geometry) {
    label.setGeometry(geometry);
    label.setForeground(white);
    label.setVisible(false);
}

} // namespace

void crt::designLayout() {
    Form.setCaption("Veltrum");
    Form.setGeometry({0, 0, 786, 573});
    Form.setBackground(black);

    panel.Subject_In.setGeometry({fieldLeft, rowTop(0), fieldWidth, rowHeight});
    panel.Command3.setCaption("Enter Subject name");
    panel.Command3.setGeometry({captionLeft, rowTop(0) - 2, captionWidth - 10, rowHeight + 4});

    designCaption(panel.Label8, "Phase", 1);
    for (const engine::PhaseRules& phase : engine::phases())
        panel.Combo1.addItem(std::string(phase.name));
    panel.Combo1.setText("Pick Phase");
    panel.Combo1.setGeometry({fieldLeft, rowTop(1), fieldWidth, rowHeight});

    designCaption(panel.Label5, "Session #", 2);
    panel.SessionNum.setText("1");
    panel.SessionNum.setGeometry({fieldLeft, rowTop(2), 80, rowHeight});

    designCaption(link.Label9, "Port", 3);
    link.Text1.setText("12345");
    link.Text1.setGeometry({fieldLeft, rowTop(3), 80, rowHeight});

    designCaption(screen.Label4, "Image Directory", 4);
    screen.Text5.setText("C:\\Images\\");
    screen.Text5.setGeometry({fieldLeft, rowTop(4), 476, rowHeight});

    designCaption(link.Label6, "iPad Connection", 5);
    link.Label2.setGeometry({fieldLeft, rowTop(5), 80, rowHeight});
    link.Label2.setBackground(red);
    link.Label2.setForeground(black);
    link.Label2.setCentred(true);
    link.TabletAddress.setGeometry({fieldLeft + 90, rowTop(5) + 3, 386, rowHeight - 3});
    link.TabletAddress.setForeground(white);

    panel.Check1.setCaption("click to run without hardware");
    panel.Check1.setGeometry({fieldLeft, rowTop(6), fieldWidth, rowHeight});
    panel.Check1.setForeground(white);

    panel.Command1.setCaption("Start");
    panel.Command1.setGeometry({fieldLeft, rowTop(7) + 10, 120, 40});

    screen.Label7.setFont({"MS Sans Serif", 24.0, true});
    screen.Label7.setCentred(true);
    designHiddenStatus(screen.Label7, {43, 150, 700, 240});

    screen.Label1.setCaption("");
    designHiddenStatus(screen.Label1, {10, 12, 300, 26});
    designHiddenStatus(screen.Label3, {320, 12, 300, 26});
    screen.Label10.setCaption("Press \"E\" to exit");
    designHiddenStatus(screen.Label10, {630, 12, 150, 26});

    const auto positions = screen.positionBoxes();
    for (int i = 0; i < 6; ++i) {
        positions[i]->setGeometry({520 + i * 40, rowTop(2), 34, rowHeight});
        positions[i]->setVisible(false);
    }

    for (int i = screen.Image1.lowerBound(); i <= screen.Image1.upperBound(); ++i) {
        screen.Image1(i).setGeometry({0, 0, 200, 200});
        screen.Image1(i).setVisible(false);
    }
}

} // namespace veltrum::session
