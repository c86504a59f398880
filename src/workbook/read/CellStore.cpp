#include "workbook/read/CellStore.h"

#include "workbook/biff/SharedStrings.h"

namespace veltrum::workbook {

std::uint32_t CellStore::addText(std::string text) {
    m_own.push_back(std::move(text));
    return static_cast<std::uint32_t>(m_own.size() - 1);
}

std::string CellStore::text(const StoredCell& cell) const {
    if (cell.flags & StoredCell::OwnText)
        return cell.text < m_own.size() ? m_own[cell.text] : std::string();
    return m_shared ? m_shared->text(cell.text) : std::string();
}

Cell CellStore::cell(const StoredCell& stored) const {
    Cell cell;
    cell.kind = static_cast<CellKind>(stored.kind);
    cell.number = stored.number;
    if (cell.kind == CellKind::Text)
        cell.text = text(stored);
    cell.boolean = (stored.flags & StoredCell::BooleanTrue) != 0;
    cell.errorCode = stored.errorCode;
    cell.blank = (stored.flags & StoredCell::Blank) != 0;
    cell.fromFormula = (stored.flags & StoredCell::FromFormula) != 0;
    return cell;
}

} // namespace veltrum::workbook
