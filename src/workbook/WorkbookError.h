// The one exception the workbook library throws at its callers.
#pragma once

#include <stdexcept>

namespace veltrum::workbook {

// Every refusal and failure of the library; the message names the file (and sheet or column
// where one is involved) and says what is wrong in words an operator understands.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace veltrum::workbook
