// The dial-up connection's entry points.
#define BREM32_BUILDING 1
#include "brem32.h"

#include "dial/dial.h"

extern "C" {

int32_t BREM_API BREMDIAL(const brem_window_t* windowHandle, int32_t /*reserved2*/, const char* entryName,
                          const char* userName, const char* password, int32_t /*reserved6*/) {
    return brem::dial::Dial(windowHandle, entryName, userName, password);
}

int32_t BREM_API BREMHANGUP(void) { return brem::dial::HangUp(); }

int32_t BREM_API BremGetConnectStatus(int32_t* error, int32_t* state) {
    return brem::dial::GetConnectStatus(error, state);
}

}  // extern "C"
