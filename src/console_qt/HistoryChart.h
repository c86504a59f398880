// A subject's earlier sessions as a chart: the summary's rates by session, with the phases named over
// the sessions they span. Shown on the set-up panel and written as a picture by veltrum-history.
#pragma once

#include "history/SubjectHistory.h"

#include <QImage>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include <vector>

namespace veltrum::console_qt {

class HistoryChart : public QChart {
public:
    // compact: small fonts and no axis titles, for the set-up panel; dark to sit on its black ground.
    explicit HistoryChart(bool compact);

    void setHistory(const QString& subject, const std::vector<history::SessionRates>& sessions);
    // Shows a sentence instead of rates (no sessions yet, an unreadable workbook).
    void setMessage(const QString& subject, const QString& message);

private:
    void clearSeries();

    bool m_compact;
};

QImage renderHistoryPicture(const QString& subject, const std::vector<history::SessionRates>& sessions,
                            QSize size = QSize(900, 500));

// The panel's plot of the picked subject, read through the session's records. A request is carried out
// a moment later, once, so a quick run of picks reads the summary workbook only for the last one.
class HistoryPanel : public QChartView {
public:
    // records must outlive the panel.
    explicit HistoryPanel(records::SessionRecords& records, QWidget* parent = nullptr);

    void requestSubject(const QString& summaryWorkbook, const QString& subject);
    // Reads the workbook for the last request now, if one waits.
    void loadNow();
    const QString& shownSubject() const { return m_shownSubject; }
    int shownSessions() const { return m_shownSessions; }

private:
    records::SessionRecords& m_records;
    HistoryChart* m_chart;
    QTimer m_delay;
    QString m_workbook;
    QString m_subject;
    QString m_shownSubject;
    int m_shownSessions = -1;
};

} // namespace veltrum::console_qt
