// Plays the virus scanner or viewer that holds a file open without sharing:
//   holdfile PATH MILLISECONDS EVENT
// opens PATH with no sharing at all, sets the named event once it holds the
// file, keeps it for the time given and closes it. Exit 0, or 2 when the file
// could not be opened.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) return 3;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (held == INVALID_HANDLE_VALUE) return 2;
    if (ready) SetEvent(ready);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    CloseHandle(held);
    return 0;
}
