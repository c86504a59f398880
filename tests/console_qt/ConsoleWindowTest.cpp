// The console window: the figures it is given, and a lost tablet link shouted.
#include "console_qt/ConsoleWindow.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace veltrum::console_qt {
namespace {

using engine::SessionEvent;
using engine::SessionEventKind;

struct Fixture {
    engine::SessionSnapshot snapshot;
    console::ConsoleModel model{[this] { return snapshot; }};
    ConsoleWindow window{model};

    void event(SessionEventKind kind, std::int64_t atMs, std::string detail = {}) {
        SessionEvent e;
        e.kind = kind;
        e.atMs = atMs;
        e.detail = std::move(detail);
        model.onEvent(e);
    }
    QString text(const char* name) { return window.findChild<QLabel*>(QString::fromLatin1(name))->text(); }
};

TEST(ConsoleWindow, ATabletLostDuringTheSessionIsShownAsLost) {
    Fixture f;
    f.snapshot.subject = "P101";
    f.snapshot.phase = "Auto";
    f.snapshot.sessionNumber = 4;
    f.snapshot.sessionMinutes = 20;
    f.snapshot.linkConnected = true;
    f.snapshot.tabletAddress = "10.0.0.7";
    f.snapshot.lastTabletMessageAtMs = 60000;
    f.snapshot.nowMs = 65000;
    f.event(SessionEventKind::LinkUp, 0, "10.0.0.7");
    f.event(SessionEventKind::SessionStarted, 1000);
    f.window.renderNow();
    EXPECT_EQ(f.text("Subject"), QStringLiteral("P101"));
    EXPECT_EQ(f.text("Clock"), QStringLiteral("01:04"));
    EXPECT_EQ(f.text("TimeLeft"), QStringLiteral("18:56"));
    EXPECT_EQ(f.text("Link"), QStringLiteral("connected, 10.0.0.7\nlast message 5 s ago"));
    EXPECT_TRUE(f.window.findChild<QLabel*>(QStringLiteral("LinkAlarm"))->isHidden());

    const int renders = f.window.renderCount();
    f.snapshot.linkConnected = false;
    f.snapshot.nowMs = 125000;
    f.event(SessionEventKind::LinkDown, 121000);
    EXPECT_EQ(f.window.renderCount(), renders) << "an event only marks the console changed";
    f.window.renderNow();
    auto* alarm = f.window.findChild<QLabel*>(QStringLiteral("LinkAlarm"));
    EXPECT_FALSE(alarm->isHidden());
    EXPECT_EQ(alarm->text(),
              QStringLiteral("TABLET LINK LOST at 02:00: pecks on the tablet are not arriving"));
    EXPECT_EQ(f.text("Link"), QStringLiteral("not connected (lost 1 time(s) this session)"));
    EXPECT_TRUE(f.window.findChild<QPlainTextEdit*>(QStringLiteral("Events"))
                    ->toPlainText()
                    .contains(QStringLiteral("02:00.0  Tablet link LOST")));
}

} // namespace
} // namespace veltrum::console_qt
