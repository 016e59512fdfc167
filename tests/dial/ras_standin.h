// What the stand-in remote access library saw, for the tests to inspect.
// Shared by the POSIX and the Windows stand-in and their test hosts.
#pragma once

#include <stdint.h>

#define STANDIN_HANDLE ((void*)0x5A5A)  /* the connection handle it hands out */

/* Entry names that steer the stand-in's dial. */
#define STANDIN_ENTRY_BUSY "busy"         /* refused at once with 676 */
#define STANDIN_ENTRY_NO_ANSWER "noanswer" /* started, then fails with 678 */

struct StandInLog {
    int32_t dials;           /* RasDialA calls */
    uint32_t recordSize;     /* dwSize of the last dial record */
    int32_t extensionsNull;  /* no dial extensions were passed */
    int32_t phonebookNull;   /* the default phonebook */
    uint32_t notifierType;
    int32_t handleWasEmpty;  /* *connection was empty before the dial */
    char entry[300], phone[300], callback[300], user[300], password[300], domain[300];
    void* lastHangUp;        /* the handle given to RasHangUpA */
    int32_t hangUps;
    void* lastStatus;        /* the handle given to RasGetConnectStatusA */
    uint32_t statusSize;
};
