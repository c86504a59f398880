#include "crt.h"

#include "SettingsFile.h"
#include "SetupError.h"
#include "TextFields.h"
#include "engine/SubjectName.h"
#include "workbook/Workbook.h"

#include <charconv>
#include <string_view>
#include <unordered_map>

namespace veltrum::session {

namespace {

// The port text as a TCP port, 1..65535; spaces around the digits are allowed.
std::optional<std::int32_t> portNumber(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    std::int32_t port = 0;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(text.data() + first, end, port);
    if (error != std::errc() || stop != end || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// Why two names that differ only by case cannot both be subjects.
constexpr const char* caseClash = "on a shared folder that ignores case the two would share their files, "
                                  "and the summary counts their sessions as one subject's.";

} // namespace

void crt::Form_Load() {
    if (m_loaded)
        throw std::logic_error("The main window is already loaded.");
    struct StartupSummary {
        crt& window;
        ~StartupSummary() {
            window.m_loading = false;
            window.m_startupSummary.reset();
        }
    } startupSummary{*this};
    m_loading = true;
    try {
        if (!m_services.fileSystem.exists(m_services.dataFolder))
            throw SetupError("The data folder " + m_services.dataFolder +
                             " does not exist. Start the program with --data and the folder that holds "
                             "PortNumber.txt, CurrentSchedule.txt, Images, Parameters and Results.");
        readPortFile();
        readTabletAddresses();
        StartListening();
        TabletAddress.setCaption(listeningCaption());
        Text5.setText(dataPath("Images/"));
        LayOutStimuli();
        LoadSubjectList();
        state.PhaseNumber = 1;
        LoadPhaseParameters();
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
    recoverRowJournals();
}

void crt::readPortFile() {
    const std::string path = dataPath("PortNumber.txt");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The port file " + path +
                         " does not exist. Create it with the TCP port the tablet connects to, for example "
                         "12345.");
    const std::vector<TextField> fields = readSettingsFile(m_services.fileSystem, path, "The port file");
    // An empty file would leave two chambers on the same built-in port without a word.
    if (fields.empty())
        throw SetupError("The port file " + path +
                         " is empty. Write the TCP port the tablet connects to in it, for example 12345.");
    for (const TextField& field : fields)
        Text1.setText(field.text);
    if (!portNumber(Text1.text()))
        throw SetupError("The port file " + path + " gives the port \"" + printable(Text1.text()) +
                         "\", which is not a number from 1 to 65535. Write the tablet's TCP port in it.");
}

void crt::readTabletAddresses() {
    const std::string path = dataPath("TabletAddress.txt");
    std::vector<std::string> allowed = m_services.allowedTablets;
    std::string source = "The tablet address given on the command line";
    const std::string whatToWrite =
        "Write the tablet's address (192.168.1.20) or subnet (192.168.1.0/24), one per line, or \"" +
        std::string(platform::TabletSocket::anyHost) + "\" to let every host connect";
    if (allowed.empty() && m_services.fileSystem.exists(path)) {
        for (const TextField& field :
             readSettingsFile(m_services.fileSystem, path, "The tablet address file"))
            allowed.push_back(field.text);
        source = "The tablet address file " + path;
        // A file that names nobody must never open the port to every host, nor shut the tablet out unsaid.
        if (allowed.empty())
            throw SetupError(source + " names no address. " + whatToWrite +
                             "; without the file only a tablet on this computer may connect.");
    }
    for (const std::string& entry : allowed) {
        // A subnet of length 0 is every host written in a way easily written by mistake.
        const std::size_t slash = entry.rfind('/');
        const std::string_view length =
            slash == std::string::npos ? std::string_view() : std::string_view(entry).substr(slash + 1);
        if (!length.empty() && length.find_first_not_of('0') == std::string_view::npos)
            throw SetupError(source + ": \"" + printable(entry) +
                             "\" would let every host connect. Write \"" +
                             std::string(platform::TabletSocket::anyHost) +
                             "\" if that is meant, or the tablet's own address or subnet.");
    }
    try {
        m_services.socket.setAllowedPeers(allowed);
    } catch (const std::invalid_argument& error) {
        throw SetupError(source + ": " + printable(error.what(), 120) + ". " + whatToWrite + ".");
    }
    m_tabletLoopbackOnly = allowed.empty();
}

void crt::StartListening() {
    platform::TabletSocket& socket = m_services.socket;
    if (socket.state() != platform::TabletSocket::Closed)
        socket.close();
    const std::optional<std::int32_t> port = portNumber(Text1.text());
    if (!port)
        throw SetupError("The port \"" + printable(Text1.text()) +
                         "\" is not a number from 1 to 65535. Enter the tablet's TCP port in the Port box.");
    socket.setLocalPort(*port);
    try {
        socket.listen();
    } catch (const std::runtime_error& error) {
        std::string reason = error.what();
        if (!reason.empty() && reason.back() != '.')
            reason += '.';
        throw SetupError("Cannot listen for the tablet on port " + std::to_string(*port) + ": " + reason +
                         " Close the program using that port or choose another one in PortNumber.txt.");
    }
}

void crt::LoadSubjectList() {
    const std::string path = dataPath("CurrentSchedule.txt");
    if (!m_services.fileSystem.exists(path))
        throw SetupError("The subject list " + path +
                         " does not exist. Create it with the subjects' names, one per line.");
    const std::vector<TextField> names = readSettingsFile(m_services.fileSystem, path, "The subject list");
    if (names.empty())
        throw SetupError("The subject list " + path + " names no subject. Write at least one name in it.");
    // Every name is checked before any parameter workbook is opened.
    std::unordered_map<std::string, const TextField*> byFoldedName;
    for (const TextField& name : names) {
        requireSafeSubjectName(name.text, path + ", line " + std::to_string(name.line));
        const auto [seen, added] = byFoldedName.emplace(engine::foldedSubjectName(name.text), &name);
        if (!added && seen->second->text != name.text)
            throw SetupError(path + ", lines " + std::to_string(seen->second->line) + " and " +
                             std::to_string(name.line) + ": the subjects \"" + printable(seen->second->text) +
                             "\" and \"" + printable(name.text) + "\" differ only by case; " + caseClash +
                             " Keep one of the two lines.");
    }
    for (const TextField& name : names) {
        Subject_In.addItem(name.text);
        Subject_In.setListIndex(Subject_In.listCount() - 1);
    }
}

void crt::requireSafeSubjectName(const std::string& name, const std::string& where) const {
    if (const std::optional<std::string> refusal = engine::subjectNameRefusal(name))
        throw SetupError(where + ": " + *refusal);
    // A name typed by hand may differ only by case from a listed subject; the list itself was checked.
    for (const std::string& listed : Subject_In.entries())
        if (listed != name && engine::sameSubjectIgnoringCase(listed, name))
            throw SetupError(where + ": the subject \"" + printable(name) +
                             "\" is refused: it differs only by case from the listed subject \"" +
                             printable(listed) + "\"; " + caseClash + " Pick \"" + printable(listed) +
                             "\" from the list, or choose another name.");
}

} // namespace veltrum::session
