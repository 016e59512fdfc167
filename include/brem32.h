/*
 * brem32: message pre-processing for a dial-up mail and news client.
 *
 * Every export returns a signed 32-bit result. On 32-bit Windows they are
 * __stdcall and exported under undecorated names, except EXTRACTMESSAGE and
 * UUENCODE, which the DLL exports under their decorated names
 * _EXTRACTMESSAGE@24 and _UUENCODE@20. The 64-bit DLL exports the same names
 * (64-bit Windows has one calling convention, so BREM_API is empty there);
 * on other systems BREM_API is empty and every name is undecorated.
 *
 * Buffers and out-variables belong to the caller. What the library keeps
 * between calls is named under Calls below; it is freed when the library is
 * unloaded.
 *
 * Error buffers: an error buffer receives one text on failure, replacing what
 * it held. It needs room for the text, the whole path the text names and the
 * NUL: 512 bytes plus the longest path the host uses is enough.
 *
 * Calls: make one call into the library at a time, process-wide, from any
 * thread. The library keeps state between calls (the dial-up connection, the
 * selected conversion, the UU coder's working state, the spool jobs each
 * import listed last), and CHKDIR and MIMEDECODE use the process's current
 * directory, which every thread shares.
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

/* ---- Numbers of the interface ------------------------------------------ */

/* The readers' text buffers: READMESSAGE, READMAPIMSG and EXTRACTMESSAGE
 * fill up to BREM_TEXT_SIZE bytes, READNEWS up to BREM_NEWS_TEXT_SIZE. */
#define BREM_TEXT_SIZE 32302
#define BREM_NEWS_TEXT_SIZE 32002

/* Results of the dial-up exports besides the service's own codes. */
#define BREM_NO_REMOTE_ACCESS (-1000) /* the remote access service is missing */
#define BREM_INVALID_PARAMETER 87     /* a null pointer or an over-long string */

/* The host window's handle as BREMDIAL reads it: the value of an HWND,
 * 32 bits on 32-bit Windows, pointer-sized on 64-bit Windows, where an HWND
 * is a pointer. Elsewhere 32 bits, as the library has always read it. */
#if defined(_WIN64)
typedef uintptr_t brem_window_t;
#else
typedef uint32_t brem_window_t;
#endif

/* The window message of BREMDIAL's progress notices (WM_USER + 1). */
#define BREM_DIAL_NOTICE 1025

/* Connection states (RASCONNSTATE values): the wParam of a notice and the
 * state of BremGetConnectStatus. */
#define BREM_STATE_OPEN_PORT 0
#define BREM_STATE_PORT_OPENED 1
#define BREM_STATE_CONNECT_DEVICE 2
#define BREM_STATE_DEVICE_CONNECTED 3
#define BREM_STATE_ALL_DEVICES_CONNECTED 4
#define BREM_STATE_AUTHENTICATE 5
#define BREM_STATE_AUTH_NOTIFY 6
#define BREM_STATE_AUTH_RETRY 7
#define BREM_STATE_AUTH_CALLBACK 8
#define BREM_STATE_AUTH_CHANGE_PASSWORD 9
#define BREM_STATE_AUTH_PROJECT 10
#define BREM_STATE_AUTH_LINK_SPEED 11
#define BREM_STATE_AUTH_ACK 12
#define BREM_STATE_REAUTHENTICATE 13
#define BREM_STATE_AUTHENTICATED 14
#define BREM_STATE_PREPARE_FOR_CALLBACK 15
#define BREM_STATE_WAIT_FOR_MODEM_RESET 16
#define BREM_STATE_WAIT_FOR_CALLBACK 17
#define BREM_STATE_PROJECTED 18
#define BREM_STATE_START_AUTHENTICATION 19
#define BREM_STATE_CALLBACK_COMPLETE 20
#define BREM_STATE_LOGON_NETWORK 21
#define BREM_STATE_SUBENTRY_CONNECTED 22
#define BREM_STATE_SUBENTRY_DISCONNECTED 23
#define BREM_STATE_INTERACTIVE 4096
#define BREM_STATE_RETRY_AUTHENTICATION 4097
#define BREM_STATE_CALLBACK_SET_BY_CALLER 4098
#define BREM_STATE_PASSWORD_EXPIRED 4099
#define BREM_STATE_INVOKE_EAP_UI 4100
#define BREM_STATE_CONNECTED 8192
#define BREM_STATE_DISCONNECTED 8193

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Inbound ------------------------------------------------------------
 * The importers append one backslash to each directory string in place on
 * every call: leave room for one more character in those buffers. */

/* Imports one inbound mail job from the spool into mailarea.txt and mail.hdr
 * of the store. 0: one message imported (call again); -1: none left, or every
 * job failed (see mail.log). A job that can never be imported (a link, a
 * FIFO, an execute file naming itself or over 64 KB) is moved whole into
 * SPOOL\bad\ and logged; names that are no plain file names are passed over. */
BREM_EXPORT int32_t BREM_API IMPMAIL(char *spoolDir, char *storeDir, const char *firstSite,
                                     const char *secondSite, int32_t verbosity);

/* ---- Reading ------------------------------------------------------------
 * text receives the chunk with CR LF line ends (BREM_TEXT_SIZE bytes,
 * BREM_NEWS_TEXT_SIZE for READNEWS); errorText receives the reason on failure. Result: -1 failure,
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

/* ---- Dial-up connection ------------------------------------------------
 * Through the remote access service (rasapi32.dll), loaded on first use.
 * Every call returns -1000 (BREM_NO_REMOTE_ACCESS) while the service's library or the function it
 * needs cannot be found (the next call tries again); otherwise the service's
 * own result: 0 success, a remote access error code otherwise. The library
 * keeps one connection for the whole process: the one of the last dial. */

/* Starts dialling a phonebook entry of the default phonebook and returns at
 * once (0: started). windowHandle points to the handle of the host window
 * that receives every progress event as message 1025 (BREM_DIAL_NOTICE),
 * wParam the connection state (BREM_STATE_...), lParam the error code
 * (non-zero: the dial failed). Entry name, user name and password have at
 * most 256 characters each; a longer one, or a null pointer, gives 87
 * (BREM_INVALID_PARAMETER) and nothing is dialled.
 * The second and sixth arguments are not used. */
BREM_EXPORT int32_t BREM_API BREMDIAL(const brem_window_t *windowHandle, int32_t reserved2, const char *entryName,
                                      const char *userName, const char *password, int32_t reserved6);
/* Hangs up the connection of the last dial, then waits 3 seconds for the
 * line to drop before returning. */
BREM_EXPORT int32_t BREM_API BREMHANGUP(void);
/* The connection of the last dial (before any dial the service rejects the
 * empty handle with its error code): error receives its error code, state
 * its RASCONNSTATE value (BREM_STATE_...); both are meaningful only when the
 * result is 0. 87 (BREM_INVALID_PARAMETER) for a null pointer. */
BREM_EXPORT int32_t BREM_API BremGetConnectStatus(int32_t *error, int32_t *state);
/* ---- Writing ------------------------------------------------------------
 * text is the host's NUL-terminated text with CR LF line ends; every CR is
 * dropped, so the file holds LF line ends. start and length receive the
 * stored message's address (start at least 1). Result 0, or -1 with the
 * reason in errorText, which then holds the text and the file's path. */

/* Appends a message to the store's area file (0 mailarea.txt, N areaN.txt).
 * The first message of an empty area file is preceded by one LF at offset 0,
 * so that it lies whole at start 1. */
BREM_EXPORT int32_t BREM_API WRITEMESSAGE(const char *storeDir, int32_t area, int32_t *start, int32_t *length,
                                          const char *text, char *errorText);
/* As WRITEMESSAGE; the first blank past column 80 of a line ends the line. */
BREM_EXPORT int32_t BREM_API WRITEMFORM(const char *storeDir, int32_t area, int32_t *start, int32_t *length,
                                        const char *text, char *errorText);
/* Appends the text to the file at path, adding no byte of its own. */
BREM_EXPORT int32_t BREM_API WRITEUUCP(const char *path, int32_t *start, int32_t *length, const char *text,
                                       char *errorText);
/* Copies prefix and then the whole source file into dir\targetName (hold not
 * 1: appended) or dir\hold\targetName (hold 1: a fresh file), creating that
 * directory when missing. The source stays. 0 or -1 (errorText); targetName
 * must be a plain file name (no \ / : or control byte, not . or .., no device
 * name such as CON or NUL). */
BREM_EXPORT int32_t BREM_API GENUUCP(const char *dir, const char *source, const char *targetName,
                                     const char *prefix, char *errorText, int32_t hold);

/* ---- Attachments, quoting and directories ------------------------------- */

/* GENUUCP without a prefix. */
BREM_EXPORT int32_t BREM_API FILEATTACH(const char *dir, const char *source, const char *targetName,
                                        char *errorText, int32_t hold);
/* Writes inboundPath as quoted-printable text (LF line ends) to outPath,
 * which must name another file. The fourth argument is not used. 0 or -1. */
BREM_EXPORT int32_t BREM_API WRITEQUOTED(const char *inboundPath, const char *outPath, char *errorText,
                                         const char *unused);
/* Creates one directory: 0, or -1 (exists, parent missing, bad name). */
BREM_EXPORT int32_t BREM_API GENDIR(const char *path);
/* Makes an existing directory the process's current directory: 0 or -1. */
BREM_EXPORT int32_t BREM_API CHKDIR(const char *path);
/* Renames or moves a file; never replaces an existing file: 0 or -1. */
BREM_EXPORT int32_t BREM_API FILERENAME(const char *oldPath, const char *newPath);

/* ---- Character sets -----------------------------------------------------
 * Decodes quoted-printable ISO-8859-1 text into IBM code page 850 text.
 * message receives "Success" (result 0) or the reason (result -2); it must
 * hold 35 bytes more than the longer path. */
BREM_EXPORT int32_t BREM_API DECODE_ISO(const char *inPath, const char *outPath, char *message);
/* ---- Outbound -----------------------------------------------------------
 * Each export writes one UUCP job into the spool: NNNN.CMD, NNNN.XQT and
 * NNNN.DAT, NNNN drawn from export.dat in the store (1 to 9999, then 1 again;
 * shared by mail and news). On -1 no job file of the call remains, the
 * host's input file stays where it was and export.dat is unchanged; the log
 * (mail.log, news.log in the store) says why. */

/* Exports the message that the host wrote to rmail.z in spoolDir: rmail.z
 * becomes NNNN.DAT, sent to rmail for recipient at the neighbour; site is this
 * system's UUCP name; sender is only logged. The directory strings are not
 * changed. 0: job written; -1: mail.log cannot be opened or the job failed
 * (rmail.z missing, a job file or export.dat cannot be written). The remote
 * site runs the command line: a site name of anything but letters, digits,
 * '-' and '_', or a recipient with a control byte, a blank, a leading '-' or
 * any of ; & | < > ( ) $ ` ' " \ is refused (-1, nothing written). */
BREM_EXPORT int32_t BREM_API EXPMAIL(const char *spoolDir, const char *storeDir, const char *recipient,
                                     const char *site, const char *sender, int32_t verbosity);

/* Exports a news batch. bits > 0: the plain batch in spoolDir's rnews is
 * compressed by zorpack (-b bits) into rnews.z and sent behind
 * "#! cunbatch\n"; bits <= 0: rnews.z is the host's plain batch, sent as it
 * is. messages is only logged. One backslash is appended to each directory
 * string in place: leave room for it. 0: job written and rnews.z deleted;
 * -1: the compressor could not be started or failed, rnews.z is missing, or
 * the job could not be written; a site name as for EXPMAIL is refused. */
BREM_EXPORT int32_t BREM_API EXPNEWS(char *spoolDir, char *storeDir, const char *site, int32_t messages,
                                     int32_t verbosity, int32_t bits);
/* ---- Content encodings -------------------------------------------------
 * Whole-file transformations from one named file to another. */

/* Writes the decoded bytes of the first base64 body of the message file
 * inPath to outPath. When the message never names an attachment other than
 * outPath, outPath is at the end replaced by the file "$$$$$$$$.$$$" of the
 * current directory (or removed when there is none). 0: the input was read
 * to its end; -1: the input cannot be opened, outPath names the input
 * itself, the output cannot be created or written, or a later part names
 * outPath as its attachment. */
BREM_EXPORT int32_t BREM_API MIMEDECODE(const char *inPath, const char *outPath);

/* Writes inPath as a MIME attachment body (header naming `name`, a blank
 * line, base64 lines of 60 characters, LF line ends) to outPath. 0: done;
 * -1: the input cannot be opened, outPath names the input itself, or the
 * output cannot be created or written (a partly written output is removed). */
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
/* ---- News import ---------------------------------------------------------
 * Imports one inbound news job (command rnews) from the spool: its batch is
 * split into articles, each appended to the area that STORE\area.dat gives
 * its newsgroups, and indexed with a nine-line record in SPOOL\Header.Msg,
 * which then describes this batch alone. bits above 0: batches arrive
 * compressed ("#! cunbatch") and are expanded with zorpack; 0: plain.
 * 0: one batch filed (read Header.Msg, call again); 1: no news job left;
 * -1: a failure (see STORE\news.log), or a job that can never be filed (a
 * link, a FIFO, a corrupt batch or one that expands past zorpack's limit) was
 * moved whole into SPOOL\bad\: the next call goes on with the next job. Both
 * directory buffers gain one backslash per call. */
BREM_EXPORT int32_t BREM_API IMPNEWS(char *spoolDir, char *storeDir, const char *firstSite,
                                     const char *secondSite, int32_t verbosity, int32_t bits);

#ifdef __cplusplus
}
#endif

#endif /* BREM32_H */
