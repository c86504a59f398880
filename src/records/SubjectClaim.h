// A subject claimed in the Results folder while its session runs, so that chambers sharing the folder
// (on one computer or many, over a network share) never run the same subject at once: the second Start
// is refused with who holds it.
//
// The claim is the file `.<Subject>.claim`, created with O_CREAT|O_EXCL. Exclusive creation is atomic on
// local disks and on the network shares a lab uses (NFS from version 3, SMB/CIFS, sshfs), where advisory
// locks (flock, fcntl) are not: they may be kept by each client alone. The claim says which computer,
// process and program hold it and on which tablet port; its modification time is refreshed every few
// seconds while the session runs and it is removed at the program's end. A claim left by a crash is
// recognised (same computer and that process gone, or not refreshed for StaleAfterSeconds) and may be
// taken over at the operator's word.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace veltrum::records {

// Who holds, or asks for, a subject.
struct ClaimIdentity {
    std::string subject;
    std::string session;
    std::string host;
    std::string program; // "veltrum 0.1"
    std::string port;    // the tablet port, which names the chamber in the summary's "Box"
    long pid = 0;
    std::string processStart; // tells a process apart from a later one with the same number
    std::string started;      // local time the claim was made, "2026-12-09 14:02:11"
    std::string token;        // random, names this claim alone

    // This process on this computer, for `subject`'s session `session` on tablet port `port`.
    static ClaimIdentity ofThisProcess(const std::string& subject, const std::string& session,
                                       const std::string& port, const std::string& program);
};

// A claim found in the folder and what it means.
struct ClaimFound {
    ClaimIdentity holder;
    double secondsSinceRefresh = 0;
    bool left = false;    // left by a crash: it may be taken over
    bool foreign = false; // not a claim at all (a link, a folder...): it must be removed by hand
    std::string reason;   // why it is taken for left ("that program is no longer running on this computer")

    // The holder in the operator's words: "labpc3 (veltrum 0.1, process 4123, tablet port 12345),
    // session 4, since 2026-12-09 14:02:11, last refreshed 3 s ago".
    std::string description() const;
};

// Thrown when the subject is held; `found` says by whom and whether it may be taken over.
class SubjectHeld : public std::runtime_error {
public:
    SubjectHeld(const std::string& what, ClaimFound found)
        : std::runtime_error(what)
        , m_found(std::move(found)) {}
    const ClaimFound& found() const { return m_found; }

private:
    ClaimFound m_found;
};

// A subject held for a running session, however the records keep it; released when it goes.
class HeldSubject {
public:
    virtual ~HeldSubject() = default;
};

// A claim this program holds: refreshed on a thread of its own (never the chamber's) and removed when
// the object goes, unless someone else has since taken it over.
class SubjectClaim : public HeldSubject {
public:
    static constexpr int RefreshSeconds = 10;
    static constexpr int StaleAfterSeconds = 60;

    SubjectClaim(std::string path, ClaimIdentity identity, int descriptor, bool refreshing);
    ~SubjectClaim() override;
    SubjectClaim(const SubjectClaim&) = delete;
    SubjectClaim& operator=(const SubjectClaim&) = delete;

    const std::string& path() const { return m_path; }
    const ClaimIdentity& identity() const { return m_identity; }
    // Marks the claim as alive now.
    void refresh();

private:
    void refreshUntilStopped();

    std::string m_path;
    ClaimIdentity m_identity;
    int m_fd = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_refresher;
};

// ".<Subject>.claim" in `folder`.
std::string claimPathFor(const std::string& folder, const std::string& subject);

// The claim on `subject` in `folder`, if there is one; an unreadable or half-written claim counts as
// live until it is StaleAfterSeconds old.
std::unique_ptr<ClaimFound> findClaim(const std::string& folder, const std::string& subject);

// Claims `who.subject` in `folder`. When someone holds it, throws SubjectHeld, unless `takeOverLeft` is
// set and the claim found was left by a crash, which is then replaced. Throws std::runtime_error naming
// the file when the claim cannot be written. With `refreshing`, a thread keeps the claim fresh.
std::unique_ptr<SubjectClaim> claimSubject(const std::string& folder, const ClaimIdentity& who,
                                           bool takeOverLeft, bool refreshing = true);

} // namespace veltrum::records
