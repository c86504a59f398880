// The two date systems of a workbook: serials count days from 1899-12-30 (with Excel's phantom
// 29 February 1900) or, in a workbook set to the 1904 system, from 1904-01-01.
#pragma once

namespace veltrum::workbook {

// Days from 1899-12-30 to 1904-01-01, the start of the 1904 date system.
constexpr double Days1899To1904 = 1462.0;

} // namespace veltrum::workbook
