// Verbs of the dial-up connection: dial, hangup, status.
//
// The library remembers the connection of the last dial within one process,
// so `hangup` and `status` on their own see no connection; `dial --hangup`
// dials, watches and hangs up in one run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "brem32.h"
#include "cli.h"
#include "platform/notices.h"

namespace {

constexpr uint32_t kProgressMessage = 1025;
constexpr int32_t kConnected = 0x2000, kDisconnected = 0x2001;

const char* stateName(int32_t state) {
    switch (state) {
        case 0: return "OpenPort";
        case 1: return "PortOpened";
        case 2: return "ConnectDevice";
        case 3: return "DeviceConnected";
        case 4: return "AllDevicesConnected";
        case 5: return "Authenticate";
        case 6: return "AuthNotify";
        case 7: return "AuthRetry";
        case 8: return "AuthCallback";
        case 9: return "AuthChangePassword";
        case 10: return "AuthProject";
        case 11: return "AuthLinkSpeed";
        case 12: return "AuthAck";
        case 13: return "ReAuthenticate";
        case 14: return "Authenticated";
        case 15: return "PrepareForCallback";
        case 16: return "WaitForModemReset";
        case 17: return "WaitForCallback";
        case 18: return "Projected";
        case 19: return "StartAuthentication";
        case 20: return "CallbackComplete";
        case 21: return "LogonNetwork";
        case 22: return "SubEntryConnected";
        case 23: return "SubEntryDisconnected";
        case 0x1000: return "Interactive";
        case 0x1001: return "RetryAuthentication";
        case 0x1002: return "CallbackSetByCaller";
        case 0x1003: return "PasswordExpired";
        case 0x1004: return "InvokeEapUI";
        case kConnected: return "Connected";
        case kDisconnected: return "Disconnected";
        default: return "unknown state";
    }
}

// The codes a dial-up user meets most; others are shown by number.
const char* errorName(int32_t code) {
    switch (code) {
        case 0: return "no error";
        case -1000: return "remote access is not available";
        case 6: return "no such connection";
        case 87: return "invalid parameter (a name or password over 256 characters?)";
        case 600: return "operation pending";
        case 608: return "the device does not exist";
        case 621: return "cannot open the phonebook";
        case 623: return "no such phonebook entry";
        case 632: return "wrong record size";
        case 668: return "the connection dropped";
        case 676: return "the line is busy";
        case 678: return "no answer";
        case 679: return "no carrier";
        case 680: return "no dial tone";
        case 691: return "access denied: user name or password";
        default: return "remote access error";
    }
}

void printState(int32_t state, int32_t error) {
    std::printf("state %-20s (%d)  error %d (%s)\n", stateName(state), state, error, errorName(error));
}

}  // namespace

namespace brem::cli {

namespace {

// Waits for the next notice of the dial until the deadline.
bool nextNotice(brem::plat::Notice* out, std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 && brem::plat::nextNotice(out, static_cast<uint32_t>(left.count()));
}

int reportResult(const char* what, int32_t result) {
    if (result == 0) return kExitOk;
    std::fprintf(stderr, "brem %s: %d (%s)\n", what, result, errorName(result));
    return kExitFailed;
}

int hangUp() {
    int32_t result = BREMHANGUP();
    if (result == 0) std::printf("hung up\n");
    return reportResult("hangup", result);
}

int runDial(std::vector<std::string>& args) {
    std::string user, password, waitText = "60";
    takeOption(args, "--user", &user);
    if (!takeOption(args, "--password", &password)) {
        const char* env = std::getenv("BREM_DIAL_PASSWORD");
        if (env) password = env;
    }
    takeOption(args, "--wait", &waitText);
    bool thenHangUp = takeFlag(args, "--hangup");
    int32_t waitSeconds = 0;
    if (args.size() != 1 || !parseInt32(waitText, &waitSeconds) || waitSeconds < 0) {
        std::fprintf(stderr, "usage: brem dial ENTRY [--user NAME] [--password TEXT] [--wait SECONDS] [--hangup]\n");
        return kExitUsage;
    }

    auto window = static_cast<brem_window_t>(brem::plat::openNoticeReceiver(kProgressMessage));
    int32_t result = BREMDIAL(&window, 0, args[0].c_str(), user.c_str(), password.c_str(), 0);
    if (result != 0) return reportResult("dial", result);
    std::printf("dialling %s\n", args[0].c_str());
    std::fflush(stdout);

    bool connected = waitSeconds == 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    brem::plat::Notice n{};
    while (waitSeconds > 0 && nextNotice(&n, deadline)) {
        printState(n.state, n.error);
        std::fflush(stdout);
        if (n.error != 0 || n.state == kDisconnected) break;
        if (n.state == kConnected) {
            connected = true;
            break;
        }
    }
    if (waitSeconds > 0 && !connected && n.error == 0 && n.state != kDisconnected)
        std::printf("not connected after %d s\n", waitSeconds);

    int status = connected ? kExitOk : kExitFailed;
    if (thenHangUp && hangUp() != kExitOk) status = kExitFailed;
    return status;
}

int runHangUp(std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: brem hangup\n");
        return kExitUsage;
    }
    return hangUp();
}

int runStatus(std::vector<std::string>& args) {
    bool json = takeFlag(args, "--json");
    if (!args.empty()) {
        std::fprintf(stderr, "usage: brem status [--json]\n");
        return kExitUsage;
    }
    int32_t error = 0, state = 0;
    int32_t result = BremGetConnectStatus(&error, &state);
    if (json) {
        std::printf("{\"result\": %d, \"result_text\": %s", result, jsonString(errorName(result)).c_str());
        if (result == 0)
            std::printf(", \"state\": %d, \"state_name\": %s, \"error\": %d, \"error_text\": %s", state,
                        jsonString(stateName(state)).c_str(), error, jsonString(errorName(error)).c_str());
        std::printf("}\n");
        return result == 0 ? kExitOk : kExitFailed;
    }
    if (result == 0) printState(state, error);
    return reportResult("status", result);
}

}  // namespace

void registerDialVerbs(VerbTable& verbs) {
    verbs["dial"] = {
        "dial a phonebook entry and show its progress",
        "usage: brem dial ENTRY [--user NAME] [--password TEXT] [--wait SECONDS] [--hangup]\n"
        "  Dials ENTRY of the default phonebook with its own phone number and shows\n"
        "  every progress event (state by name, error code) for up to SECONDS\n"
        "  (default 60; 0 only starts the dial). --hangup then hangs up (this takes\n"
        "  3 seconds). The password may also come from BREM_DIAL_PASSWORD, out of\n"
        "  sight of the process list. Names and passwords: at most 256 characters.\n"
        "  Exit 0 when connected (or started, with --wait 0), 1 otherwise.\n",
        runDial};
    verbs["hangup"] = {
        "hang up the dial-up connection",
        "usage: brem hangup\n"
        "  Hangs up the connection this process dialled and waits 3 seconds. In a\n"
        "  process of its own there is none: the service's error code is shown\n"
        "  (use dial --hangup).\n",
        runHangUp};
    verbs["status"] = {
        "show the state of the dial-up connection",
        "usage: brem status [--json]\n"
        "  Shows the state (by name) and error code of the connection this process\n"
        "  dialled; on its own, the service's answer for no connection.\n"
        "  -1000: the remote access library is not available.\n",
        runStatus};
}

}  // namespace brem::cli
