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

/* ---- Content encodings -------------------------------------------------
 * Whole-file transformations from one named file to another. */

/* Writes the decoded bytes of the first base64 body of the message file
 * inPath to outPath. When the message never names an attachment other than
 * outPath, outPath is at the end replaced by the file "$$$$$$$$.$$$" of the
 * current directory (or removed when there is none). 0: the input was read
 * to its end; -1: the input cannot be opened, the output cannot be created or
 * written, or a later part names outPath as its attachment. */
BREM_EXPORT int32_t BREM_API MIMEDECODE(const char *inPath, const char *outPath);

/* Writes inPath as a MIME attachment body (header naming `name`, a blank
 * line, base64 lines of 60 characters, LF line ends) to outPath. 0: done;
 * -1: the input cannot be opened, or the output cannot be created or written
 * (a partly written output is removed). */
BREM_EXPORT int32_t BREM_API MIMEENCODE(const char *inPath, const char *outPath, const char *name);

/* The UU coder. An input whose extension is .enc, .xxe, .uue (or that has
 * none: .enc is added) is decoded into outPath, or, when outPath is empty,
 * into the name of its "begin" line; it may carry its own alphabet in a
 * "table" or "charmap" line (XX). Any other input is encoded into outPath
 * (or the input path) with the extension .enc, in part files of partSize x 16
 * lines (0: one file) named x.enc, x.en2 ... x.e99, with beginName (or the
 * input's file name) in the "begin" lines; the number of part files goes to
 * countDir\ncode.dat. Progress and diagnostics go to standard output; an
 * existing output asks "overwrite (Y/N)?" on standard error and standard
 * input. Always returns 0. Exported as _UUENCODE@20 by the Windows DLL. */
BREM_EXPORT int32_t BREM_API UUENCODE(const char *inPath, const char *outPath, const char *beginName,
                                      const char *countDir, int32_t partSize);

#ifdef __cplusplus
}
#endif

#endif /* BREM32_H */
