#include "console_qt/SessionPicture.h"

#include "console_qt/RecordChart.h"
#include "console_qt/TrialStrip.h"

#include <QDir>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QPainter>

#include <algorithm>

namespace veltrum::console_qt {

namespace {

constexpr int titleHeight = 28;
constexpr int stripHeight = 22;
constexpr int keyHeight = 20;

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
    // The figures wrap only between one another: the words of each are held together.
    const auto held = [](QString text) { return text.replace(QLatin1Char(' '), QChar(0x00A0)); };
    const QStringList parts = {
        held(QString::fromStdString(figures.subject)),
        held(QString::fromStdString(figures.phase)),
        held(QStringLiteral("session %1").arg(figures.sessionNumber)),
        held(QStringLiteral("trials %1 of %2").arg(figures.trial).arg(figures.totalTrials)),
        held(QStringLiteral("rewards %1").arg(figures.rewards)),
        held(QStringLiteral("goal pecks %1 of %2").arg(figures.target).arg(figures.screen)),
        held(QStringLiteral("timeouts %1").arg(figures.timeouts)),
    };
    const QString title = parts.join(QStringLiteral("   "));
    const QRect titleArea = painter.fontMetrics().boundingRect(QRect(10, 0, size.width() - 20, size.height()),
                                                               Qt::TextWordWrap, title);
    const int top = std::max(titleHeight, titleArea.height() + 8);
    painter.drawText(QRect(10, 0, size.width() - 20, top),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, title);
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
    paintTrialKey(painter, QRect(60, strip.bottom() + 3, size.width() - 80, keyHeight));
    painter.end();
    return image;
}

} // namespace veltrum::console_qt
