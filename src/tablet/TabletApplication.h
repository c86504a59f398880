// Puts the tablet together: options, window, link and the optional simulated subject.
#pragma once

#include <QStringList>

namespace veltrum::tablet {

// Runs the tablet until its window is closed; returns the exit status.
int runTablet(const QStringList& arguments);

} // namespace veltrum::tablet
