#include "store/layout.h"

#include <cstdio>

namespace brem::layout {

std::string numberedAreaName(int32_t area) { return "area" + std::to_string(area) + ".txt"; }

std::string jobFileName(int32_t number, const char* extension) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d.", static_cast<int>(number));
    return digits + std::string(extension);
}

std::string dataFileBeside(const std::string& executeName) {
    std::string name = executeName;
    if (!name.empty()) name.back() = 'D';
    return name;
}

std::string withSeparator(const std::string& dir) { return dir + "\\"; }

std::string join(const std::string& dir, std::string_view leaf) {
    std::string path = dir;
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
    return path.append(leaf);
}

}  // namespace brem::layout
