#include "crt.h"

#include "SetupError.h"
#include "workbook/Workbook.h"

#include <stdexcept>

namespace veltrum::session {

void crt::Form_Load() {
    if (m_loaded)
        throw std::logic_error("The main window is already loaded.");
    try {
        if (!m_services.fileSystem.exists(m_services.dataFolder))
            throw SetupError("The data folder " + m_services.dataFolder +
                             " does not exist. Start the program with --data and the folder that holds "
                             "PortNumber.txt, CurrentSchedule.txt, Images, Parameters and Results.");
        link.listenAtStartUp();
        screen.Text5.setText(dataPath("Images/"));
        screen.LayOutStimuli();
        panel.loadAtStartUp();
    } catch (const SetupError&) {
        m_services.socket.close();
        throw;
    } catch (const workbook::WorkbookError& error) {
        m_services.socket.close();
        throw SetupError(std::string(error.what()) + " (Data folder " + m_services.dataFolder +
                         "; start the program again once the workbook is corrected.)");
    } catch (const std::exception& error) {
        m_services.socket.close();
        throw SetupError("Start-up failed: " + std::string(error.what()));
    }
    m_loaded = true;
    rows.recoverEarlierRows(dataPath("Results"));
}

} // namespace veltrum::session
