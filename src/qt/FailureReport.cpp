#include "qt/FailureReport.h"

#include <QtGlobal>

#include <exception>

namespace veltrum::qt {

namespace {

FailureSink& sink() {
    static FailureSink current;
    return current;
}

} // namespace

void setFailureSink(FailureSink newSink) {
    sink() = std::move(newSink);
}

void reportFailure(const QString& message) {
    if (sink())
        sink()(message);
    else
        qCritical("%s", qUtf8Printable(message));
}

void runGuarded(const std::function<void()>& action) noexcept {
    try {
        action();
    } catch (const std::exception& failure) {
        reportFailure(QString::fromUtf8(failure.what()));
    } catch (...) {
        reportFailure(QStringLiteral("An unknown failure stopped the last action."));
    }
}

} // namespace veltrum::qt
