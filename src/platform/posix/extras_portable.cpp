// The POSIX extras where none are used (BREM_LINUX_EXTRAS off, or a system
// other than Linux): every answer is "not here", so os_posix.cpp takes its
// portable way. Building the native tests once with this file checks that
// the portable way stands on its own.
#include "platform/posix/extras.h"

namespace brem::plat::os::extras {

Answer findNoCase(const std::string&, const std::string&, std::string*) { return Answer::NotHere; }
Answer renameNoReplace(const char*, const char*) { return Answer::NotHere; }
Answer copyInKernel(int, int, int64_t*) { return Answer::NotHere; }
void releaseFreeMemory() {}

}  // namespace brem::plat::os::extras
