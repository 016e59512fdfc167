/*
 * A host program built against a released package alone: brem32.h and the
 * import library (Windows) or pkg-config's flags (Linux). It calls one export
 * of each subsystem in the package and checks what comes back, so a package
 * that lacks a header declaration, a symbol or a working library fails here.
 *
 * Run it in an empty directory that holds the subdirectories spool and store.
 * Add a subsystem by writing one check function and one row of `checks`.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brem32.h"

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
    char spool[32] = "spool", store[32] = "store";
    EXPECT(write_file("spool/0C0001.X", job, strlen(job)), "cannot write the execute file");
    EXPECT(write_file("spool/0A0001.D", message, strlen(message)), "cannot write the data file");
    EXPECT(IMPMAIL(spool, store, "hubsite", "mybox", 0) == 0, "IMPMAIL did not import the mail");
    EXPECT(strcmp(spool, "spool\\") == 0, "IMPMAIL did not append its separator");
    EXPECT(file_size("spool/0C0001.X") < 0 && file_size("spool/0A0001.D") < 0, "the spool files are still there");
    EXPECT(file_size("store/mail.hdr") > 0, "no mail.hdr");
    spool[5] = store[5] = '\0';
    EXPECT(IMPMAIL(spool, store, "hubsite", "mybox", 0) == -1, "IMPMAIL found a second mail");
    return 0;
}

/* Store access: the mail read back by its address, whole and body alone. */
static int check_store(void) {
    static char text[32302], expected[512];
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

static const struct {
    const char *name;
    int (*run)(void);
} checks[] = {
    {"inbound (IMPMAIL)", check_inbound},
    {"store access (READMESSAGE, EXTRACTMESSAGE)", check_store},
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
