#include "ScheduleGrid.h"

#include <charconv>

namespace veltrum::session {

namespace {

using forms::Int16;

// A schedule cell as a whole 16-bit number; nullopt for an empty or non-numeric cell.
std::optional<Int16> scheduleNumber(const trials::FlexGrid& grid, int row, int column) {
    if (row < 1 || row >= grid.rows() || column >= grid.cols())
        return std::nullopt;
    const std::string& text = grid.textMatrix(row, column);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < Int16::minimum ||
        value > Int16::maximum)
        return std::nullopt;
    return Int16(value);
}

} // namespace

std::optional<engine::ScheduleRow> ScheduleGrid::scheduleRow(int n) const {
    const std::optional<Int16> type = scheduleNumber(MSFlexGrid1, n, 1);
    const std::optional<Int16> goal = scheduleNumber(MSFlexGrid1, n, 2);
    if (!type || !goal)
        return std::nullopt;
    return engine::ScheduleRow{*type, *goal};
}

} // namespace veltrum::session
