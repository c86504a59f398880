// What the window models use from the outside world, and the data folder every file is found in.
#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/IoCard.h"
#include "platform/ProgramLifetime.h"
#include "platform/RandomSource.h"
#include "platform/Scheduler.h"
#include "platform/TabletSocket.h"
#include "records/CommitRunner.h"
#include "records/SessionRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::session {

struct Services {
    platform::Scheduler& scheduler;
    platform::Clock& clock;
    platform::Dialogs& dialogs;
    platform::FileSystem& fileSystem;
    platform::TabletSocket& socket;
    platform::IoCard& ioCard;
    platform::RandomSource& random;
    platform::ProgramLifetime& lifetime;
    std::string dataFolder; // holds PortNumber.txt, CurrentSchedule.txt, Images/, Parameters/, Results/
    // Addresses or subnets that may be the tablet ("any": every host), from the command line; when empty
    // the data folder's TabletAddress.txt gives them, and without that file the port listens on the
    // loopback only.
    std::vector<std::string> allowedTablets = {};
    // Where trial rows are committed; without one each row is committed before RecordTrial returns.
    records::CommitRunner* commitRunner = nullptr;
    // Rows are committed to a journal beside the session workbook; the workbook itself is brought up to
    // date at most this often (0: with every commit) and at the session's end.
    std::int64_t rowsToWorkbookEveryMs = 0;
    // What the session keeps and where; without one, workbooks in the data folder.
    records::SessionRecords* records = nullptr;
};

} // namespace veltrum::session
