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

/* ---- Outbound -----------------------------------------------------------
 * Each export writes one UUCP job into the spool: NNNN.CMD, NNNN.XQT and
 * NNNN.DAT, NNNN drawn from export.dat in the store (1 to 9999, then 1 again;
 * shared by mail and news). On -1 no job file of the call remains, the
 * host's input file stays where it was and export.dat is unchanged; the log
 * (mail.log, news.log in the store) says why. Run one export at a time. */

/* Exports the message that the host wrote to rmail.z in spoolDir: rmail.z
 * becomes NNNN.DAT, sent to rmail for recipient at the neighbour; site is this
 * system's UUCP name; sender is only logged. The directory strings are not
 * changed. 0: job written; -1: mail.log cannot be opened or the job failed
 * (rmail.z missing, a job file or export.dat cannot be written). */
BREM_EXPORT int32_t BREM_API EXPMAIL(const char *spoolDir, const char *storeDir, const char *recipient,
                                     const char *site, const char *sender, int32_t verbosity);

/* Exports a news batch. bits > 0: the plain batch in spoolDir's rnews is
 * compressed by zorpack (-b bits) into rnews.z and sent behind
 * "#! cunbatch\n"; bits <= 0: rnews.z is the host's plain batch, sent as it
 * is. messages is only logged. One backslash is appended to each directory
 * string in place: leave room for it. 0: job written and rnews.z deleted;
 * -1: the compressor could not be started or failed, rnews.z is missing, or
 * the job could not be written. */
BREM_EXPORT int32_t BREM_API EXPNEWS(char *spoolDir, char *storeDir, const char *site, int32_t messages,
                                     int32_t verbosity, int32_t bits);

#ifdef __cplusplus
}
#endif

#endif /* BREM32_H */
