#include "console_qt/SessionPicture.h"

#include "console_qt/RecordChart.h"
#include "console_qt/TrialStrip.h"

#include <QDir>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QPainter>

namespace veltrum::qt {

namespace {

constexpr int titleHeight = 28;
constexpr int stripHeight = 22;
constexpr int keyHeight = 20;

void paintStripKey(QPainter& painter, QRect area) {
    const std::pair<console::TrialResult, const char*> keys[] = {
        {console::TrialResult::Rewarded, "rewarded"},
        {console::TrialResult::Pecked, "pecked, not rewarded"},
        {console::TrialResult::NoPeck, "no peck"},
    };
    int x = area.left();
    for (const auto& [result, text] : keys) {
        painter.fillRect(QRect(x, area.top() + 5, 12, 10), trialColour(result));
        const QString label = QString::fromLatin1(text);
        painter.drawText(QRect(x + 16, area.top(), 200, area.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         label);
        x += 16 + painter.fontMetrics().horizontalAdvance(label) + 18;
    }
}

} // namespace

QString sessionPicturePath(const QString& workbookPath) {
    const QFileInfo workbook(workbookPath);
    QString name = workbook.fileName();
    if (name.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        name.chop(4);
    return workbook.dir().filePath(name + QStringLiteral(".png"));
}

QImage renderSessionPicture(const console::ConsoleState& state, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const engine::SessionSnapshot& figures = state.figures;
    QFont titleFont = painter.font();
    titleFont.setPointSizeF(12.0);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    const QString who = QStringLiteral("%1   %2   session %3")
                            .arg(QString::fromStdString(figures.subject), QString::fromStdString(figures.phase))
                            .arg(figures.sessionNumber);
    const QString counts = QStringLiteral("trials %1 of %2   rewards %3   goal pecks %4 of %5   timeouts %6")
                               .arg(figures.trial)
                               .arg(figures.totalTrials)
                               .arg(figures.rewards)
                               .arg(figures.target)
                               .arg(figures.screen)
                               .arg(figures.timeouts);
    // One line where it fits; a narrow picture puts the counts on a second line rather than cut them.
    const QString oneLine = who + QStringLiteral("   ") + counts;
    const bool fits = painter.fontMetrics().horizontalAdvance(oneLine) <= size.width() - 20;
    const int titleLines = fits ? 1 : 2;
    painter.drawText(QRect(10, 0, size.width() - 20, titleHeight * titleLines), Qt::AlignLeft | Qt::AlignVCenter,
                     fits ? oneLine : who + QLatin1Char('\n') + counts);

    const int top = titleHeight * titleLines;
    const QRect chartArea(0, top, size.width(), size.height() - top - stripHeight - keyHeight - 8);
    QGraphicsScene scene;
    auto* chart = new RecordChart;
    const std::int64_t now = state.startedAtMs >= 0 ? figures.nowMs - state.startedAtMs : 0;
    // A finished session is drawn over the time it ran, however long it could have run. Drawn before
    // the chart is placed, which lays out its axes.
    chart->draw(state.record, now, state.ended ? 0 : figures.sessionMinutes);
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), chartArea.size()));
    scene.render(&painter, QRectF(chartArea), QRectF(QPointF(0, 0), chartArea.size()));

    QFont small = painter.font();
    small.setPointSizeF(8.5);
    small.setBold(false);
    painter.setFont(small);
    const QRect strip(60, chartArea.bottom() + 4, size.width() - 80, stripHeight);
    painter.setPen(Qt::black);
    painter.drawText(QRect(4, strip.top(), 54, strip.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Trials"));
    paintTrialStrip(painter, strip, state.trials, figures.totalTrials);
    painter.setPen(Qt::black);
    paintStripKey(painter, QRect(60, strip.bottom() + 3, size.width() - 80, keyHeight));
    painter.end();
    return image;
}

} // namespace veltrum::qt
