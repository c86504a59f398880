#include "records/SubjectClaim.h"

#include "platform/SafeFile.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::records {

namespace {

constexpr const char* claimMark = "veltrum-claim 1";
constexpr std::size_t MaxClaimBytes = 4096;

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "unknown";
    return name;
}

// The 22nd field of /proc/<pid>/stat: when the process started, in clock ticks since boot.
std::string processStartOf(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int k = 3; k <= 22 && fields >> field; ++k) {
        if (k == 22)
            return field;
    }
    return {};
}

bool processRuns(long pid, const std::string& start) {
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    // A number the system gave to a later process is not the holder.
    const std::string now = processStartOf(pid);
    return start.empty() || now.empty() || now == start;
}

std::string randomToken() {
    std::random_device device;
    std::mt19937_64 random(device());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(random()),
                  static_cast<unsigned long long>(random()));
    return text;
}

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string claimText(const ClaimIdentity& who) {
    return std::string(claimMark) + "\nsubject " + who.subject + "\nsession " + who.session + "\nhost " +
           who.host + "\nprogram " + who.program + "\npid " + std::to_string(who.pid) + "\nprocess-start " +
           who.processStart + "\nport " + who.port + "\nstarted " + who.started + "\ntoken " + who.token +
           "\n";
}

ClaimIdentity parseClaim(const std::string& text) {
    ClaimIdentity who;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos)
            continue;
        const std::string key = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (key == "subject")
            who.subject = value;
        else if (key == "session")
            who.session = value;
        else if (key == "host")
            who.host = value;
        else if (key == "program")
            who.program = value;
        else if (key == "pid")
            who.pid = std::strtol(value.c_str(), nullptr, 10);
        else if (key == "process-start")
            who.processStart = value;
        else if (key == "port")
            who.port = value;
        else if (key == "started")
            who.started = value;
        else if (key == "token")
            who.token = value;
    }
    return who;
}

std::string secondsText(double seconds) {
    const long whole = static_cast<long>(seconds);
    if (whole < 120)
        return std::to_string(whole < 0 ? 0 : whole) + " s";
    if (whole < 7200)
        return std::to_string(whole / 60) + " min";
    return std::to_string(whole / 3600) + " h";
}

// Reads the claim at `path`: nullptr when there is none.
std::unique_ptr<ClaimFound> readClaim(const std::string& path) {
    platform::FileDescriptor in;
    try {
        in = platform::openRegularFile(path, O_RDONLY);
    } catch (const platform::SafeFileError& error) {
        if (error.error() == ENOENT)
            return nullptr;
        // Something else under the claim's name: the subject counts as held until it is cleared.
        auto found = std::make_unique<ClaimFound>();
        found->foreign = true;
        found->reason = error.what();
        return found;
    }
    struct stat info {};
    ::fstat(in.get(), &info);
    std::string text(MaxClaimBytes, '\0');
    const ssize_t n = ::pread(in.get(), text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    auto found = std::make_unique<ClaimFound>();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double modified = static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9;
    found->secondsSinceRefresh = std::chrono::duration<double>(now).count() - modified;
    if (text.rfind(claimMark, 0) == 0)
        found->holder = parseClaim(text);
    else
        found->holder.host = "(a claim still being written, or damaged)";
    const bool sameHost = found->holder.host == hostName();
    if (sameHost && found->holder.pid > 0 && !processRuns(found->holder.pid, found->holder.processStart)) {
        found->left = true;
        found->reason = "that program is no longer running on this computer";
    } else if (!(sameHost && found->holder.pid > 0) &&
               found->secondsSinceRefresh > SubjectClaim::StaleAfterSeconds) {
        found->left = true;
        found->reason = "it was last refreshed " + secondsText(found->secondsSinceRefresh) +
                        " ago; a running session refreshes it every " +
                        std::to_string(SubjectClaim::RefreshSeconds) + " s";
    }
    return found;
}

[[noreturn]] void refuse(const std::string& subject, ClaimFound found) {
    std::string text = "Subject " + subject + " is in a session on " + found.description() + ".";
    if (found.foreign)
        text = "Subject " + subject + " cannot be claimed for this session: " + found.reason;
    else if (found.left)
        text = "Subject " + subject + " was claimed for a session on " + found.description() +
               ", but the claim looks left by a program that ended without removing it: " + found.reason +
               ".";
    throw SubjectHeld(text, std::move(found));
}

std::unique_ptr<SubjectClaim> createClaim(const std::string& path, const ClaimIdentity& who,
                                          bool refreshing) {
    platform::FileDescriptor out = platform::createNewFile(path, 0644);
    const std::string text = claimText(who);
    if (!platform::writeAll(out.get(), text.data(), text.size()) || ::fsync(out.get()) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        throw std::runtime_error("Cannot write the claim " + path + ": " + std::strerror(error) + ".");
    }
    return std::make_unique<SubjectClaim>(path, who, out.release(), refreshing);
}

// Moves a left claim out of the way, provided it is still the one judged left (someone else may have
// taken it over meanwhile); true when the name is free for a new claim.
bool clearLeftClaim(const std::string& path, const ClaimFound& judged) {
    const std::string aside = path + ".left-" + randomToken().substr(0, 16);
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return errno == ENOENT;
    const std::unique_ptr<ClaimFound> moved = readClaim(aside);
    if (moved && moved->holder.token != judged.holder.token) {
        // A fresh claim was moved: it goes back, unless yet another was made in its place.
        ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        return false;
    }
    ::unlink(aside.c_str());
    return true;
}

} // namespace

ClaimIdentity ClaimIdentity::ofThisProcess(const std::string& subject, const std::string& session,
                                           const std::string& port, const std::string& program) {
    ClaimIdentity who;
    who.subject = subject;
    who.session = session;
    who.host = hostName();
    who.program = program;
    who.port = port;
    who.pid = static_cast<long>(::getpid());
    who.processStart = processStartOf(who.pid);
    who.started = localTimeText();
    who.token = randomToken();
    return who;
}

std::string ClaimFound::description() const {
    if (foreign)
        return "no computer: " + reason;
    std::string text = holder.host;
    if (!holder.program.empty())
        text += " (" + holder.program + ", process " + std::to_string(holder.pid) + ", tablet port " +
                holder.port + ")";
    if (!holder.session.empty())
        text += ", session " + holder.session;
    if (!holder.started.empty())
        text += ", since " + holder.started;
    return text + ", last refreshed " + secondsText(secondsSinceRefresh) + " ago";
}

SubjectClaim::SubjectClaim(std::string path, ClaimIdentity identity, int descriptor, bool refreshing)
    : m_path(std::move(path))
    , m_identity(std::move(identity))
    , m_fd(descriptor) {
    if (refreshing)
        m_refresher = std::thread([this] { refreshUntilStopped(); });
}

SubjectClaim::~SubjectClaim() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_refresher.joinable())
        m_refresher.join();
    // Removed only while the name is still this claim's file: one taken over by another program stays.
    struct stat held {};
    struct stat named {};
    if (::fstat(m_fd, &held) == 0 && ::lstat(m_path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
        ::unlink(m_path.c_str());
    ::close(m_fd);
}

void SubjectClaim::refresh() {
    // On a network share the server's clock stamps the file, as it stamps every other claim.
    ::futimens(m_fd, nullptr);
}

void SubjectClaim::refreshUntilStopped() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::seconds(RefreshSeconds), [this] { return m_stop; }))
        refresh();
}

std::string claimPathFor(const std::string& folder, const std::string& subject) {
    return folder + "/." + subject + ".claim";
}

std::unique_ptr<ClaimFound> findClaim(const std::string& folder, const std::string& subject) {
    return readClaim(claimPathFor(folder, subject));
}

std::unique_ptr<SubjectClaim> claimSubject(const std::string& folder, const ClaimIdentity& who,
                                           bool takeOverLeft, bool refreshing) {
    const std::string path = claimPathFor(folder, who.subject);
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            return createClaim(path, who, refreshing);
        } catch (const platform::SafeFileError& error) {
            if (error.error() != EEXIST)
                throw std::runtime_error(std::string(error.what()) + " The subject cannot be claimed for " +
                                         "this session.");
        }
        std::unique_ptr<ClaimFound> found = readClaim(path);
        if (!found)
            continue; // removed meanwhile: try again
        if (!takeOverLeft || !found->left)
            refuse(who.subject, std::move(*found));
        if (!clearLeftClaim(path, *found))
            continue;
    }
    std::unique_ptr<ClaimFound> found = readClaim(path);
    if (found)
        refuse(who.subject, std::move(*found));
    throw std::runtime_error("The claim " + path + " keeps changing; try Start again.");
}

} // namespace veltrum::records
