#!/usr/bin/env python3
"""Writes an mbox of N mails for timing brem import-mbox, check and export-mbox
on a store of that size:

    bench/make_mbox.py N OUT.mbox
    brem import-mbox OUT.mbox STORE      # a store of N mails
    brem check STORE
    brem export-mbox STORE AGAIN.mbox    # the same bytes as OUT.mbox

The mails vary in size (a few hundred bytes to some tens of kilobytes), some
quote lines that begin with "From ", a tenth have no Message-ID, and their
"From " lines are written as export-mbox writes them, so that the mbox that
comes back out of the store can be compared with this one byte for byte."""
import random
import sys
import time

MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
DAYS = "Mon Tue Wed Thu Fri Sat Sun".split()
WORDS = "the modem line drops after ten minutes try again with a new init string".split()


def main():
    n, out = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(16)
    t0 = 852076800  # 1997-01-01 UTC
    with open(out, "wb") as f:
        for i in range(n):
            t = time.gmtime(t0 + i * 97)
            sender = "user%d@site%d.example" % (i % 997, i % 31)
            head = "Date: %s, %d %s %d %02d:%02d:%02d +0000\n" % (
                DAYS[t.tm_wday], t.tm_mday, MONTHS[t.tm_mon - 1], t.tm_year, t.tm_hour, t.tm_min, t.tm_sec)
            head = "From: User %d <%s>\nTo: reader@mybox.example\n" % (i, sender) + head
            if i % 10:
                head += "Message-ID: <%d.bench@site.example>\n" % i
            head += "Subject: message %d\n\n" % i
            lines = []
            for _ in range(int(rng.expovariate(1 / 25)) + 1):
                lines.append(" ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12))))
            if i % 50 == 0:
                lines.insert(len(lines) // 2, ">From the quoted part")
                lines.insert(len(lines) // 2, "From a line of its own")
            body = "\n".join(lines) + "\n"
            msg = (head + body).encode()
            msg = msg.replace(b"\nFrom ", b"\n>From ").replace(b"\n>From the", b"\n>>From the")
            date = "%s %s %2d %02d:%02d:%02d %d" % (DAYS[t.tm_wday], MONTHS[t.tm_mon - 1], t.tm_mday,
                                                   t.tm_hour, t.tm_min, t.tm_sec, t.tm_year)
            f.write(b"From %s %s\n" % (sender.encode(), date.encode()) + msg + b"\n")


if __name__ == "__main__":
    main()
