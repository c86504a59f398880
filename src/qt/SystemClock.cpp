#include "qt/SystemClock.h"

#include <QDateTime>

namespace veltrum::qt {

double SystemClock::secondsSinceMidnight() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

platform::CalendarDate SystemClock::today() const {
    const QDate date = QDate::currentDate();
    return {date.year(), date.month(), date.day()};
}

} // namespace veltrum::qt
