// The session's picture: the cumulative record and the strip of trial outcomes, saved next to the
// session workbook when the session ends and shown in the summary window.
#pragma once

#include "console/ConsoleModel.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace veltrum::console_qt {

// The picture of a session as the console shows it now (figures, record, trials).
QImage renderSessionPicture(const console::ConsoleState& state, QSize size = QSize(900, 420));
// The picture's file beside the session workbook: the same name with ".png" for ".xls".
QString sessionPicturePath(const QString& workbookPath);

} // namespace veltrum::console_qt
