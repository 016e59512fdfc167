/*
 * A host program built against a released package alone: brem32.h and the
 * import library (Windows) or pkg-config's flags (Linux). It calls one export
 * of each subsystem in the package and checks what comes back, so a package
 * that lacks a header declaration, a symbol or a working library fails here.
 *
 * It is also the sample host of the Windows zip. Build it there with
 *   cl /I include host.c brem32.lib
 *   i686-w64-mingw32-gcc -I include host.c libbrem32.dll.a -o host.exe
 * and run it in an empty directory that holds the subdirectories spool and
 * store, with brem32.dll (and zorpack.exe) beside it.
 *
 * Built so, it runs every check. The check scripts define BREM_HOST_SELECTED
 * and BREM_HAS_<EXPORT> for the export of each subsystem, and refuse a
 * package whose header does not declare one of them, so every subsystem is
 * checked. Add a check by writing one check function, one row of `checks`,
 * and its export in the scripts' list.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brem32.h"

#ifndef BREM_HOST_SELECTED
#define BREM_HAS_IMPNEWS
#define BREM_HAS_EXPMAIL
#define BREM_HAS_WRITEMESSAGE
#define BREM_HAS_FILEATTACH
#define BREM_HAS_DECODE_ISO
#define BREM_HAS_MIMEENCODE
#define BREM_HAS_UUENCODE
#define BREM_HAS_BremGetConnectStatus
#endif

static int failures = 0;

#define EXPECT(cond, what)                                                     \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "release host: %s: %s (line %d)\n", current, what, \
                    __LINE__);                                                 \
            ++failures;                                                        \
            return 1;                                                          \
        }                                                                      \
    } while (0)

static const char *current = "";

static const char message[] =
    "From: Writer <writer@hubsite.example>\n"
    "Subject: release check\n"
    "\n"
    "Hello from the package.\n";

static int write_file(const char *path, const char *bytes, size_t n) {
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    if (fwrite(bytes, 1, n, f) != n) {
        fclose(f);
        return 0;
    }
    return fclose(f) == 0;
}

static long file_size(const char *path) {
    long n;
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    fseek(f, 0, SEEK_END);
    n = ftell(f);
    fclose(f);
    return n;
}

static int file_equals(const char *path, const char *bytes, size_t n) {
    static char buf[4096];
    size_t got;
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    got = fread(buf, 1, sizeof buf, f);
    fclose(f);
    return got == n && memcmp(buf, bytes, n) == 0;
}

/* The stored text as a reader hands it back: every LF preceded by a CR. */
static void with_crlf(const char *in, char *out) {
    for (; *in; ++in) {
        if (*in == '\n') *out++ = '\r';
        *out++ = *in;
    }
    *out = '\0';
}

/* Inbound: one mail job taken from the spool into the store. */
static int check_inbound(void) {
    static const char job[] = "U uucp hubsite\nF D.hubsiteA0001\nI D.hubsiteA0001\nC rmail reader@mybox.example\n";
    static char stored[512];
    char spool[32] = "spool", store[32] = "store";
    EXPECT(write_file("spool/0C0001.X", job, strlen(job)), "cannot write the execute file");
    EXPECT(write_file("spool/0A0001.D", message, strlen(message)), "cannot write the data file");
    EXPECT(IMPMAIL(spool, store, "hubsite", "mybox", 0) == 0, "IMPMAIL did not import the mail");
    EXPECT(strcmp(spool, "spool\\") == 0, "IMPMAIL did not append its separator");
    EXPECT(file_size("spool/0C0001.X") < 0 && file_size("spool/0A0001.D") < 0, "the spool files are still there");
    EXPECT(file_size("store/mail.hdr") > 0, "no mail.hdr");
    /* The first message of a new area file lies behind one LF, whole at 1. */
    stored[0] = '\n';
    strcpy(stored + 1, message);
    EXPECT(file_equals("store/mailarea.txt", stored, strlen(stored)), "mailarea.txt holds other bytes");
    spool[5] = store[5] = '\0';
    EXPECT(IMPMAIL(spool, store, "hubsite", "mybox", 0) == -1, "IMPMAIL found a second mail");
    return 0;
}

/* Store access: the mail read back by its address, whole and body alone. */
static int check_store(void) {
    static char text[BREM_TEXT_SIZE], expected[512];
    char err[512];
    int32_t length = (int32_t)strlen(message);
    int32_t r;
    /* The first message of an empty area starts at 1. */
    err[0] = '\0';
    r = READMESSAGE("store", 0, 1, length, text, err);
    EXPECT(r == length + 1, err[0] ? err : "READMESSAGE did not read the whole range");
    with_crlf(message, expected);
    EXPECT(strcmp(text, expected) == 0, "READMESSAGE returned other text");

    r = EXTRACTMESSAGE("store", 0, 1, length, text, err);
    EXPECT(r > 0, err);
    EXPECT(strcmp(text, "Hello from the package.\r\n") == 0, "EXTRACTMESSAGE returned another body");

    r = READMESSAGE("store", 7, 1, 10, text, err);
    EXPECT(r == -1 && strncmp(err, "Cannot open area file", 21) == 0, "a missing area was not reported");
    return 0;
}

#ifdef BREM_HAS_IMPNEWS
/* Inbound news: a plain batch filed into the area that area.dat names. */
static int check_news(void) {
    static const char job[] = "U news newshost\nF D.newshostA1234\nI D.newshostA1234\nC rnews\n";
    static const char batch[] =
        "#! rnews 93\nFrom: ann\nNewsgroups: rec.arts\nSubject: hi\nDate: 1 Jan 1997\n"
        "Message-ID: (a1)\nLines: 1\n\nhello\n";
    char spool[32] = "spool", store[32] = "store";
    EXPECT(write_file("store/area.dat", "rec.arts\n3\n", 11), "cannot write area.dat");
    EXPECT(write_file("spool/2C00f7.X", job, strlen(job)), "cannot write the execute file");
    EXPECT(write_file("spool/0A1234.D", batch, strlen(batch)), "cannot write the batch");
    EXPECT(IMPNEWS(spool, store, "newshost", "mybox", 0, 0) == 0, "IMPNEWS filed no batch");
    EXPECT(file_size("store/area3.txt") == 94, "area3.txt does not hold LF and the article");
    EXPECT(file_size("spool/Header.Msg") > 0, "no Header.Msg");
    return 0;
}
#endif

#ifdef BREM_HAS_EXPMAIL
/* Outbound: rmail.z becomes job 0001 of the spool. */
static int check_outbound(void) {
    static const char xqt[] = "U Daemon mybox\nZ\nF D.mybox0001\nI D.mybox0001\nC rmail someone@far.example\n";
    static const char counter[4] = {1, 0, 0, 0};
    EXPECT(write_file("spool/rmail.z", message, strlen(message)), "cannot write rmail.z");
    EXPECT(EXPMAIL("spool", "store", "someone@far.example", "mybox", "me@mybox.example", 0) == 0,
           "EXPMAIL failed");
    EXPECT(file_equals("spool/0001.XQT", xqt, strlen(xqt)), "0001.XQT is not the mail job's");
    EXPECT(file_equals("spool/0001.DAT", message, strlen(message)), "0001.DAT is not the message");
    EXPECT(file_size("spool/0001.CMD") > 0 && file_size("spool/rmail.z") < 0, "0001.CMD missing or rmail.z left");
    EXPECT(file_equals("store/export.dat", counter, 4), "export.dat does not hold 1");
    return 0;
}
#endif

#ifdef BREM_HAS_WRITEMESSAGE
/* Writing: a message stored in a new area and read back by its address. */
static int check_writing(void) {
    static char text[BREM_TEXT_SIZE];
    char err[512];
    int32_t start = -1, length = -1;
    EXPECT(WRITEMESSAGE("store", 9, &start, &length, "Hi\r\n", err) == 0, err);
    EXPECT(start == 1 && length == 3, "WRITEMESSAGE gave another address");
    EXPECT(READMESSAGE("store", 9, start, length, text, err) == length + 1, err);
    EXPECT(strcmp(text, "Hi\r\n") == 0, "the written message reads back otherwise");
    return 0;
}
#endif

#ifdef BREM_HAS_FILEATTACH
/* File services: a directory made, a file attached to its hold directory. */
static int check_files(void) {
    char err[512];
    EXPECT(write_file("att.txt", "abc", 3), "cannot write att.txt");
    EXPECT(GENDIR("outbox") == 0 && GENDIR("outbox") == -1, "GENDIR");
    EXPECT(FILEATTACH("outbox", "att.txt", "a.txt", err, 1) == 0, err);
    EXPECT(file_equals("outbox/hold/a.txt", "abc", 3), "the attached file differs");
    EXPECT(FILERENAME("outbox\\hold\\a.txt", "outbox\\b.txt") == 0, "FILERENAME");
    EXPECT(file_equals("outbox/b.txt", "abc", 3), "the renamed file differs");
    return 0;
}
#endif

#ifdef BREM_HAS_DECODE_ISO
/* Character sets: quoted-printable ISO-8859-1 to code page 850. */
static int check_charset(void) {
    static const char qp[] = "caf=E9 =3D 1=\r\n2\r\n";
    char msg[256];
    EXPECT(write_file("qp.txt", qp, strlen(qp)), "cannot write qp.txt");
    EXPECT(DECODE_ISO("qp.txt", "cp850.txt", msg) == 0 && strcmp(msg, "Success") == 0, msg);
    EXPECT(file_equals("cp850.txt", "caf\x82 = 12\r\n", 11), "DECODE_ISO wrote other bytes");
    return 0;
}
#endif

#ifdef BREM_HAS_MIMEENCODE
/* Content encodings: an attachment encoded and decoded again, and UU. */
static int check_encoding(void) {
    static const char att[] =
        "Content-Type: application/octet-stream; charset=us-ascii; name=\"abc.bin\"\n"
        "Content-Disposition: attachment; filename=\"abc.bin\"\n"
        "Content-transfer-encoding: base64\n\nYWJj\n";
    EXPECT(write_file("abc.bin", "abc", 3), "cannot write abc.bin");
    EXPECT(MIMEENCODE("abc.bin", "att.mime", "abc.bin") == 0, "MIMEENCODE failed");
    EXPECT(file_equals("att.mime", att, strlen(att)), "MIMEENCODE wrote another body");
    EXPECT(MIMEDECODE("att.mime", "out.bin") == 0, "MIMEDECODE failed");
    EXPECT(file_equals("out.bin", "abc", 3), "MIMEDECODE gave other bytes");
#ifdef BREM_HAS_UUENCODE
    EXPECT(write_file("uu.txt", "abc", 3), "cannot write uu.txt");
    EXPECT(UUENCODE("uu.txt", "", "uu.txt", ".", 0) == 0, "UUENCODE (encoding)");
    EXPECT(file_equals("ncode.dat", "1\r\n", 3), "ncode.dat does not count one part");
    EXPECT(UUENCODE("uu.enc", "uucopy.txt", "", ".", 0) == 0, "UUENCODE (decoding)");
    EXPECT(file_equals("uucopy.txt", "abc", 3), "UU round trip gave other bytes");
#endif
    return 0;
}
#endif

#ifdef BREM_HAS_BremGetConnectStatus
/* Dial-up: the status call returns, with or without remote access. */
static int check_dialup(void) {
    int32_t error = -7, state = -7;
    int32_t r = BremGetConnectStatus(&error, &state);
    printf("     BremGetConnectStatus: %d (error %d, state %d)\n", (int)r, (int)error, (int)state);
    EXPECT(r != 0 || (error != -7 && state != -7), "a status of 0 filled nothing in");
    return 0;
}
#endif

static const struct {
    const char *name;
    int (*run)(void);
} checks[] = {
    {"inbound (IMPMAIL)", check_inbound},
    {"store access (READMESSAGE, EXTRACTMESSAGE)", check_store},
#ifdef BREM_HAS_IMPNEWS
    {"inbound news (IMPNEWS)", check_news},
#endif
#ifdef BREM_HAS_EXPMAIL
    {"outbound (EXPMAIL)", check_outbound},
#endif
#ifdef BREM_HAS_WRITEMESSAGE
    {"writing (WRITEMESSAGE)", check_writing},
#endif
#ifdef BREM_HAS_FILEATTACH
    {"file services (GENDIR, FILEATTACH, FILERENAME)", check_files},
#endif
#ifdef BREM_HAS_DECODE_ISO
    {"character sets (DECODE_ISO)", check_charset},
#endif
#ifdef BREM_HAS_MIMEENCODE
    {"content encodings (MIMEENCODE, MIMEDECODE, UUENCODE)", check_encoding},
#endif
#ifdef BREM_HAS_BremGetConnectStatus
    {"dial-up (BremGetConnectStatus)", check_dialup},
#endif
};

int main(void) {
    size_t i;
    for (i = 0; i < sizeof checks / sizeof checks[0]; ++i) {
        current = checks[i].name;
        if (checks[i].run() == 0) printf("ok   %s\n", current);
        else printf("FAIL %s\n", current);
    }
    printf("%d of %d subsystem checks failed\n", failures, (int)(sizeof checks / sizeof checks[0]));
    return failures ? EXIT_FAILURE : EXIT_SUCCESS;
}
