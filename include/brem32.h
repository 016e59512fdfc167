/*
 * brem32: message pre-processing for a dial-up mail and news client.
 *
 * Every export returns a signed 32-bit result. On 32-bit Windows they are
 * __stdcall and exported under undecorated names, except EXTRACTMESSAGE and
 * UUENCODE, which the DLL exports under their decorated names
 * _EXTRACTMESSAGE@24 and _UUENCODE@20; on other systems BREM_API is empty and
 * every name is undecorated.
 *
 * Buffers and out-variables belong to the caller. Make one call into the
 * library at a time.
 */
#ifndef BREM32_H
#define BREM32_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define BREM_API __stdcall
#else
#define BREM_API
#endif

#if defined(_WIN32) && defined(BREM32_BUILDING)
#define BREM_EXPORT
#elif defined(BREM32_BUILDING) && defined(__GNUC__)
#define BREM_EXPORT __attribute__((visibility("default")))
#else
#define BREM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Inbound ------------------------------------------------------------
 * The importers append one backslash to each directory string in place on
 * every call: leave room for one more character in those buffers. */

/* Imports one inbound mail job from the spool into mailarea.txt and mail.hdr
 * of the store. 0: one message imported (call again); -1: none left, or every
 * job failed (see mail.log). */
BREM_EXPORT int32_t BREM_API IMPMAIL(char *spoolDir, char *storeDir, const char *firstSite,
                                     const char *secondSite, int32_t verbosity);

/* ---- Reading ------------------------------------------------------------
 * text receives the chunk with CR LF line ends (32302 bytes; 32002 for
 * READNEWS); errorText receives the reason on failure. Result: -1 failure,
 * length + 1 the whole range was read, otherwise the count of stored bytes of
 * an early-ended chunk: call again with start + result, length - result. */

BREM_EXPORT int32_t BREM_API READMESSAGE(const char *storeDir, int32_t area, int32_t start, int32_t length,
                                         char *text, char *errorText);
BREM_EXPORT int32_t BREM_API READNEWS(const char *storeDir, int32_t area, int32_t start, int32_t length,
                                      char *text, char *errorText);
/* Area 0 reads rmail.z, the pending outgoing mail, in the given directory. */
BREM_EXPORT int32_t BREM_API READMAPIMSG(const char *storeDir, int32_t area, int32_t start, int32_t length,
                                         char *text, char *errorText);
/* The body of the message at start (its header and empty line skipped). */
BREM_EXPORT int32_t BREM_API EXTRACTMESSAGE(const char *storeDir, int32_t area, int32_t start, int32_t length,
                                            char *text, char *errorText);

/* ---- News import ---------------------------------------------------------
 * Imports one inbound news job (command rnews) from the spool: its batch is
 * split into articles, each appended to the area that STORE\area.dat gives
 * its newsgroups, and indexed with a nine-line record in SPOOL\Header.Msg,
 * which then describes this batch alone. bits above 0: batches arrive
 * compressed ("#! cunbatch") and are expanded with zorpack; 0: plain.
 * 0: one batch filed (read Header.Msg, call again); 1: no news job left;
 * -1: a failure (see STORE\news.log). Both directory buffers gain one
 * backslash per call. */
BREM_EXPORT int32_t BREM_API IMPNEWS(char *spoolDir, char *storeDir, const char *firstSite,
                                     const char *secondSite, int32_t verbosity, int32_t bits);

#ifdef __cplusplus
}
#endif

#endif /* BREM32_H */
