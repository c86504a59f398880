// An exclusive hold on a chamber card among the programs of this machine: veltrum holds it while it runs
// with the card, and so does the hardware check, so the two never drive the hopper at once.
#pragma once

#include <string>

namespace veltrum::devices {

class CardLock {
public:
    // Takes the lock named after card (for example "comedi-comedi0") in folder and writes holder and the
    // process number into it. Throws std::runtime_error, naming the holder, when another program holds it.
    CardLock(const std::string& card, const std::string& holder, const std::string& folder = lockFolder());
    // Gives the lock up; the file stays, as removing it would race with the next program taking it.
    ~CardLock();
    CardLock(const CardLock&) = delete;
    CardLock& operator=(const CardLock&) = delete;

    const std::string& path() const { return m_path; }

    // $VELTRUM_LOCK_DIR when set; else /run/lock, shared by every user, when writable; else /tmp.
    static std::string lockFolder();

private:
    std::string m_path;
    int m_descriptor = -1;
};

} // namespace veltrum::devices
