#include "qt/QtProgramLifetime.h"

#include <QCoreApplication>
#include <QTimer>

namespace veltrum::qt {

void QtProgramLifetime::endProgram(int exitCode) {
    m_ended = true;
    m_exitCode = exitCode;
    QTimer::singleShot(0, QCoreApplication::instance(), [exitCode] { QCoreApplication::exit(exitCode); });
}

} // namespace veltrum::qt
