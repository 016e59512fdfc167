#include "inbound/spool_name.h"

#include <algorithm>

#include "platform/winpath.h"

namespace brem::inbound {

namespace {
size_t commonPrefix(const std::string& a, const std::string& b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    return n;
}

// The local name of what is left of a UUCP name once a site name is off.
std::string localNameOf(const std::string& tail, char type) {
    std::string lastFive = tail.size() > 5 ? tail.substr(tail.size() - 5) : tail;
    int v = 0;
    for (char c : lastFive) v = 2 * v + ((c >= 'a' && c <= 'z') ? 1 : 0);
    char digit = v <= 9 ? static_cast<char>('0' + v) : static_cast<char>('A' + (v - 10));
    std::string local;
    local.push_back(digit);
    local += tail.size() > 7 ? tail.substr(tail.size() - 7) : tail;
    local.push_back('.');
    local.push_back(type);
    return local;
}

bool isSpoolName(const std::string& name) {
    return name.size() >= 2 && name[1] == '.' && (name[0] == 'D' || name[0] == 'X');
}

// The local name of a spool name, plain or not.
std::string anyLocalName(const std::string& name, const std::string& firstSite, const std::string& secondSite) {
    std::string rest = name.substr(2);
    // The transfer drops the longer of the two site-name prefixes, a partial
    // match included.
    size_t skip = std::max(commonPrefix(rest, firstSite), commonPrefix(rest, secondSite));
    return localNameOf(rest.substr(skip), name[0]);
}
}  // namespace

int MakeSpoolName(std::string& out, const std::string& name, const std::string& firstSite,
                  const std::string& secondSite) {
    if (!isSpoolName(name)) return 0;
    // The local name is joined to the spool directory: a name that a remote
    // site sent must not lead out of it ("\\..\\..\\" is seven characters),
    // carry control bytes into the logs, or be read as a device by Windows
    // ("D.om1 " gives "Com1 .D").
    const std::string local = anyLocalName(name, firstSite, secondSite);
    if (!plat::isPlainName(local)) return 0;
    out = local;
    return 1;
}

bool MapsToNoPlainName(const std::string& name, const std::string& firstSite, const std::string& secondSite) {
    return isSpoolName(name) && !plat::isPlainName(anyLocalName(name, firstSite, secondSite));
}

std::vector<std::string> LocalNameCandidates(const std::string& name) {
    std::vector<std::string> names;
    if (!isSpoolName(name)) return names;
    const std::string rest = name.substr(2);
    for (size_t k = 0; k <= 7 && k <= rest.size(); ++k) names.push_back(localNameOf(rest.substr(rest.size() - k), name[0]));
    return names;
}

}  // namespace brem::inbound
