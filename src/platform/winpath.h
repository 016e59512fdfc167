// Windows name rules as portable code, so that they behave the same on both
// systems and can be tested on Linux: separators, case-blind comparison and
// wildcard matching as FindFirstFileA does it.
#pragma once

#include <string>
#include <vector>

namespace brem::plat {

inline bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The part of a path before its last separator ("" when it has none; the
// separator itself is not included, except for a path in the root).
std::string directoryOf(const std::string& path);

// The part after the last separator.
std::string leafOf(const std::string& path);

// Compares two names the way the Windows file system does for ASCII letters.
bool equalsNoCase(const std::string& a, const std::string& b);
bool lessNoCase(const std::string& a, const std::string& b);

// Matches a name against a pattern with `*` (any run) and `?` (any one
// character), ignoring case. "*.*" matches every name, dotted or not, and a
// pattern ending in ".*" also matches a name without a dot, as on Windows.
bool wildcardMatch(const std::string& pattern, const std::string& name);

// True for a name that Windows takes for the file of that name: not empty,
// not ending in a blank or a dot (Windows drops them, and would reach
// another name), and no device name: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM0 to COM9 and LPT0 to LPT9 (also with the superscript digits 1 to 3 of
// the ANSI code page), in any letter case, with or without an extension,
// and with blanks or dots before the extension, which name a device in every
// directory of Windows.
bool isWindowsFileName(const std::string& name);

// True for a plain file name: one name that stays inside the directory it is
// joined to and names a file there on both systems. Refused: "." and "..",
// any separator (`\` or `/`), a drive or stream colon, control bytes (below
// 0x20 and DEL), and every name that isWindowsFileName refuses. Both systems
// refuse the same names, so that a spool or a directory behaves the same on
// either.
bool isPlainName(const std::string& name);

// Splits a path into its components, dropping empty ones (doubled
// separators); `rooted` tells whether the path began with a separator.
std::vector<std::string> splitPath(const std::string& path, bool* rooted);

}  // namespace brem::plat
