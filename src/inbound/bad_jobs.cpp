#include "inbound/bad_jobs.h"

#include "platform/platform.h"
#include "platform/winpath.h"
#include "text/format.h"

namespace brem::inbound {

namespace {

// How many jobs of one name bad/ takes before a move gives up.
constexpr int kMostOfOneName = 1000;

// Moves spool + name into bad + name (or name.1, name.2, ...); the name it
// got there, or empty when it could not be moved.
std::string moveAside(const std::string& spoolDir, const std::string& badDir, const std::string& name) {
    for (int k = 0; k < kMostOfOneName; ++k) {
        const std::string kept = k == 0 ? name : name + "." + std::to_string(k);
        const std::string target = badDir + "\\" + kept;
        if (plat::fileExists(target) || plat::directoryExists(target)) continue;
        // The move never replaces: a name taken meanwhile is tried again.
        if (plat::moveFile(spoolDir + name, target)) return kept;
        if (!plat::fileExists(target)) return std::string();
    }
    return std::string();
}

}  // namespace

bool SetJobAside(const std::string& spoolDir, const std::string& executeName, const std::string& dataName,
                 const std::string& why, const char* level, ActivityLog& log) {
    const std::string badDir = spoolDir + kBadDirectory;
    const std::string shownName = escapeControls(executeName);
    if (!plat::isPlainDirectory(badDir)) plat::makeDirectory(badDir);
    // A "bad" that is a link could send the job anywhere its target leads.
    if (!plat::isPlainDirectory(badDir)) {
        log.always("%sCannot set %s aside (%s): %s is not a directory of its own\n", level, shownName.c_str(),
                   escapeControls(why).c_str(), escapeControls(badDir).c_str());
        return false;
    }
    const std::string kept = moveAside(spoolDir, badDir, executeName);
    if (kept.empty()) {
        log.always("%sCannot set %s aside into %s (%s)\n", level, shownName.c_str(), escapeControls(badDir).c_str(),
                   escapeControls(why).c_str());
        return false;
    }
    log.always("%sSet aside %s as %s\\%s: %s\n", level, shownName.c_str(), escapeControls(badDir).c_str(),
               escapeControls(kept).c_str(), escapeControls(why).c_str());
    // A data file that is a directory goes too: it was sent as the job's.
    const std::string dataPath = spoolDir + dataName;
    if (dataName.empty() || plat::equalsNoCase(dataName, executeName) ||
        !(plat::fileExists(dataPath) || plat::directoryExists(dataPath))) {
        return true;
    }
    const std::string keptData = moveAside(spoolDir, badDir, dataName);
    if (keptData.empty()) {
        log.always("%sCannot set %s aside into %s; it stays in the spool\n", level, escapeControls(dataName).c_str(),
                   escapeControls(badDir).c_str());
    } else {
        log.always("%sSet aside %s as %s\\%s with %s\n", level, escapeControls(dataName).c_str(),
                   escapeControls(badDir).c_str(), escapeControls(keptData).c_str(), shownName.c_str());
    }
    return true;
}

}  // namespace brem::inbound
