// Where a session's trial rows are kept. The row writer calls a sink from one thread at a time, but not
// always the same one: commits run on the writer's thread, a final settling on the chamber's.
#pragma once

#include "workbook/Appender.h"

#include <string>
#include <vector>

namespace veltrum::records {

class RowSink {
public:
    virtual ~RowSink() = default;
    // Appends the rows, in order, and returns once they are durable; throws std::exception (the message
    // says what failed) and keeps none of them when they cannot be.
    virtual void append(const std::vector<workbook::AppendRow>& rows) = 0;
    // The file the rows go to, for the operator.
    virtual std::string location() const = 0;

    // A sink that makes rows durable elsewhere first (a journal) brings the file up to date here; at the
    // end (`last`) it also tidies up. Throws when the file cannot be written.
    virtual void flush(bool /*last*/) {}
    // Rows durable but not yet in the file (may be read from any thread), and those rows handed over:
    // the sink then forgets them.
    virtual std::size_t behind() const { return 0; }
    virtual std::vector<workbook::AppendRow> behindRows() const { return {}; }
    virtual std::vector<workbook::AppendRow> takeBehind() { return {}; }
};

// Rows appended below the last row of the sheet "Data" of a session workbook, committed durably.
class WorkbookRowSink : public RowSink {
public:
    explicit WorkbookRowSink(std::string path)
        : m_path(std::move(path)) {}
    void append(const std::vector<workbook::AppendRow>& rows) override;
    std::string location() const override { return m_path; }

private:
    std::string m_path;
};

} // namespace veltrum::records
