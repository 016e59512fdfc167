// The dial-up connection: dialling a phonebook entry through the remote
// access service, watching it and hanging it up.
//
// The remote access library ("rasapi32.dll") is loaded the first time an
// operation needs it and stays loaded; until it can be loaded every
// operation answers kNoRemoteAccess and the next call tries again. The
// library keeps one connection handle and one notification window for the
// whole process (see dial.cpp), so one dial at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brem32.h"

namespace brem::dial {

// The result when the remote access library or one of its functions cannot
// be found.
inline constexpr int32_t kNoRemoteAccess = -1000;
// The platform's invalid-parameter code (ERROR_INVALID_PARAMETER): a string
// that does not fit its field, or a missing pointer. Nothing is dialled.
inline constexpr int32_t kInvalidParameter = 87;
// Posted to the host's window for every progress event of a dial
// (WM_USER + 1): wParam the connection state, lParam the error code.
inline constexpr uint32_t kProgressMessage = 1025;
// How long a hang-up waits for the line to drop before returning.
inline constexpr uint32_t kHangUpWaitMs = 3000;

// The records as the remote access service lays them out (ras.h), in the
// forms this library hands over: all DWORDs and character arrays, so the
// sizes are the same in every build.
inline constexpr std::size_t kMaxEntryName = 256;       // RAS_MaxEntryName
inline constexpr std::size_t kMaxPhoneNumber = 128;     // RAS_MaxPhoneNumber
inline constexpr std::size_t kMaxCallbackNumber = 128;  // RAS_MaxCallbackNumber
inline constexpr std::size_t kMaxUserName = 256;        // UNLEN
inline constexpr std::size_t kMaxPassword = 256;        // PWLEN
inline constexpr std::size_t kMaxDomain = 15;           // DNLEN
inline constexpr std::size_t kMaxDeviceType = 16;       // RAS_MaxDeviceType
inline constexpr std::size_t kMaxDeviceName = 128;      // RAS_MaxDeviceName

// RASDIALPARAMSA without the sub-entry and callback-id fields.
struct DialParams {
    uint32_t dwSize;
    char szEntryName[kMaxEntryName + 1];
    char szPhoneNumber[kMaxPhoneNumber + 1];
    char szCallbackNumber[kMaxCallbackNumber + 1];
    char szUserName[kMaxUserName + 1];
    char szPassword[kMaxPassword + 1];
    char szDomain[kMaxDomain + 1];
};
static_assert(sizeof(DialParams) == 1052, "dial record size");
static_assert(offsetof(DialParams, szEntryName) == 4, "dial record layout");
static_assert(offsetof(DialParams, szPhoneNumber) == 261, "dial record layout");
static_assert(offsetof(DialParams, szCallbackNumber) == 390, "dial record layout");
static_assert(offsetof(DialParams, szUserName) == 519, "dial record layout");
static_assert(offsetof(DialParams, szPassword) == 776, "dial record layout");
static_assert(offsetof(DialParams, szDomain) == 1033, "dial record layout");

// RASCONNSTATUSA in its first form.
struct ConnStatus {
    uint32_t dwSize;
    uint32_t rasconnstate;  // a RASCONNSTATE value
    uint32_t dwError;
    char szDeviceType[kMaxDeviceType + 1];
    char szDeviceName[kMaxDeviceName + 1];
};
static_assert(sizeof(ConnStatus) == 160, "status record size");
static_assert(offsetof(ConnStatus, rasconnstate) == 4, "status record layout");
static_assert(offsetof(ConnStatus, dwError) == 8, "status record layout");
static_assert(offsetof(ConnStatus, szDeviceType) == 12, "status record layout");
static_assert(offsetof(ConnStatus, szDeviceName) == 29, "status record layout");

// Starts an asynchronous dial of a phonebook entry of the default phonebook
// (its own phone number, no callback number, domain "*"). `window` points to
// the host window's handle, read once here; every progress event is posted
// to that window as kProgressMessage. Returns kNoRemoteAccess, or
// kInvalidParameter for a null argument or a string longer than its field
// (the previous connection handle is kept then), or what the service
// returns: 0 when the dial has started, its error code when it has not.
int32_t Dial(const brem_window_t* window, const char* entryName, const char* userName, const char* password) noexcept;

// Hangs up the connection of the last dial and waits kHangUpWaitMs for the
// line to drop. Returns kNoRemoteAccess or the service's result. The
// connection handle keeps its value.
int32_t HangUp() noexcept;

// Asks the service for the state of the connection of the last dial (an
// empty handle before any dial, which the service rejects). Stores the
// connection's error code and state; they are meaningful only when the
// result is 0. Returns kNoRemoteAccess, kInvalidParameter for a null
// pointer, or the service's result.
int32_t GetConnectStatus(int32_t* error, int32_t* state) noexcept;

// Forgets the library, its functions, the connection and the window, as if no
// operation had run yet; for tests that need a fresh start in one process.
void ResetForTests() noexcept;

}  // namespace brem::dial
