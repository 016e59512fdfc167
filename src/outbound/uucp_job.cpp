#include "outbound/uucp_job.h"

#include <cstring>

#include "text/format.h"
#include "platform/platform.h"
#include "platform/stream.h"
#include "platform/winpath.h"
#include "store/layout.h"

namespace brem::outbound {

namespace {

std::string littleEndian(int32_t n) {
    uint32_t u = static_cast<uint32_t>(n);
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return b;
}

}  // namespace

std::string SiteNameProblem(const std::string& site) {
    if (site.empty()) return "the site name is empty";
    for (char c : site) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-' && c != '_') {
            return "a site name holds letters, digits, '-' and '_' only";
        }
    }
    return std::string();
}

std::string RecipientProblem(const std::string& recipient) {
    if (!recipient.empty() && recipient[0] == '-') return "a recipient must not begin with '-'";
    for (char ch : recipient) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) return "a recipient must not hold blanks or control bytes";
        if (std::strchr(";&|<>()$`'\"\\", ch) != nullptr) {
            return "a recipient must not hold any of ; & | < > ( ) $ ` ' \" \\";
        }
    }
    return std::string();
}

std::string JobFileName(int32_t number, const char* extension) { return layout::jobFileName(number, extension); }

std::string CommandFileText(int32_t number, const std::string& site, JobKind kind) {
    const char* user = kind == JobKind::Mail ? "daemon" : "news";
    return formatText("S %04d.DAT D.%s%04d %s - %04d.DAT 0666\r\n", number, site.c_str(), number, user, number) +
           formatText("S %04d.XQT X.%s%04d %s - %04d.XQT 0666\r\n", number, site.c_str(), number, user, number);
}

std::string ExecuteFileText(int32_t number, const std::string& site, JobKind kind, const std::string& recipient) {
    // The remote side's letter case differs from the command file's on
    // purpose: mail is requested by "Daemon" here and by "daemon" there.
    std::string text = kind == JobKind::Mail ? formatText("U Daemon %s\nZ\n", site.c_str())
                                             : formatText("U news %s\nZ\n", site.c_str());
    text += formatText("F D.%s%04d\n", site.c_str(), number);
    text += formatText("I D.%s%04d\n", site.c_str(), number);
    text += kind == JobKind::Mail ? "C rmail " + recipient + "\n" : std::string("C rnews\n");
    return text;
}

CounterContents ReadSequenceCounter(const std::string& storeDir) {
    CounterContents c;
    plat::Stream in;
    if (!in.open(storeDir + layout::kExportCounter, "rb")) return c;
    c.present = true;
    char raw[5];
    c.bytes = in.read(raw, sizeof raw);
    if (c.bytes < 4) return c;
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(raw[i]);
    c.last = static_cast<int32_t>(u);
    return c;
}

int32_t SequenceCounter::draw(const std::string& storeDir, ActivityLog& log, JobKind kind) {
    path_ = storeDir + layout::kExportCounter;
    existed_ = false;
    before_.clear();
    plat::Stream in;
    if (!in.open(path_, "rb")) {
        log.always(kind == JobKind::Mail ? "Cannot open export.dat (mail)\n" : "Cannot open export.dat (news)\n");
        // A counter that is there but cannot be read is no first export:
        // starting again at 1 would write over jobs still in the spool.
        return plat::fileExists(path_) ? 0 : 1;
    }
    existed_ = true;
    char raw[4];
    size_t got = in.read(raw, sizeof raw);
    before_.assign(raw, got);
    if (in.readError()) return 0;
    in.close();
    // A short file holds no number, and a negative one was never written by
    // an export: both start the numbering afresh rather than give a job
    // number of 0 or below.
    if (got < sizeof raw) return 1;
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(raw[i]);
    int32_t last = static_cast<int32_t>(u);
    if (last < 0 || last >= kLastSequenceNumber) return 1;
    return last + 1;
}

bool SequenceCounter::save(int32_t number, ActivityLog& log, JobKind kind) {
    SaveResult saved = write(number);
    if (saved == SaveResult::Saved) return true;
    bool mail = kind == JobKind::Mail;
    if (saved == SaveResult::CannotCreate) {
        log.always(mail ? "Cannot open export.dat to write (mail)\n" : "Cannot open export.dat to write\n");
    } else if (saved == SaveResult::NotDurable) {
        log.always("Cannot write the directory of %s\n", path_.c_str());
    } else {
        log.always(mail ? "Cannot write export.dat (mail)\n" : "Cannot write export.dat\n");
    }
    return false;
}

SequenceCounter::SaveResult SequenceCounter::write(int32_t number) {
    // The new number is written beside the counter and put in its place only
    // when complete: a counter truncated by a failed write (a full disk)
    // would restart the numbering at 1, over jobs still in the spool.
    const std::string bytes = littleEndian(number);
    const std::string fresh = path_ + layout::kReplacementSuffix;
    plat::deleteFile(fresh);  // left by a save that was cut off, or put there
    {
        plat::Stream out;
        if (!out.open(fresh, "wbx")) return SaveResult::CannotCreate;
        out.write(bytes);
        if (!out.sync() || !out.close()) {
            out.discard();
            plat::deleteFile(fresh);
            return SaveResult::WriteFailed;
        }
    }
    // One step from the old number to the new: there is no moment without
    // a counter, whatever happens to the host meanwhile. Once the rename is
    // on the disk, the number cannot come back after a power cut.
    // A new number whose name may not survive a power cut is taken back with
    // its job: a counter that came back after the job stood would let the
    // next export write over it.
    if (plat::replaceFile(fresh, path_)) {
        if (plat::syncDirectory(plat::directoryOf(path_))) return SaveResult::Saved;
        putBack();
        return SaveResult::NotDurable;
    }
    // The new counter cannot take the old one's place: the number is
    // written in place, or else the old one put back.
    plat::Stream direct;
    if (direct.open(path_, "wb") && direct.write(bytes) && direct.sync() && direct.close()) {
        plat::deleteFile(fresh);
        return SaveResult::Saved;
    }
    direct.discard();
    putBack();
    plat::deleteFile(fresh);
    return SaveResult::WriteFailed;
}

void SequenceCounter::putBack() {
    if (existed_) {
        plat::Stream again;
        if (again.open(path_, "wb")) {
            again.write(before_);
            again.close();
        }
    } else {
        plat::deleteFile(path_);
    }
}

JobWriter::JobWriter(const std::string& spoolDir, int32_t number, JobKind kind, store::UndoLog& undo,
                     ActivityLog& log)
    : spoolDir_(spoolDir), number_(number), kind_(kind), undo_(undo), log_(log) {}

bool JobWriter::writeExecuteFile(const std::string& site, const std::string& recipient) {
    return writeFile(layout::kExecuteFile, ".xqt", ExecuteFileText(number_, site, kind_, recipient));
}

bool JobWriter::openDataFile(plat::Stream& dat) {
    const std::string target = path(layout::kDataFile);
    plat::deleteFile(target);
    if (!dat.open(target, "wbx", 0, plat::Access::Shared)) {
        log_.always("Cannot open %s\n", name(layout::kDataFile).c_str());
        return false;
    }
    undo_.created(target);
    return true;
}

bool JobWriter::writeCommandFile(const std::string& site) {
    if (!writeFile(layout::kCommandFile, ".cmd", CommandFileText(number_, site, kind_))) return false;
    if (plat::syncDirectory(spoolDir_)) return true;
    log_.always("Cannot write the spool directory %s\n", spoolDir_.c_str());
    return false;
}

bool JobWriter::writeFile(const char* extension, const char* label, const std::string& bytes) {
    const std::string target = path(extension);
    // Made afresh, never written through what stands under the name (an old
    // job's file of the same number goes, a link goes as a link); readable by
    // the transfer, which may run as another user.
    plat::deleteFile(target);
    plat::Stream out;
    if (!out.open(target, "wbx", 0, plat::Access::Shared)) {
        log_.always("Cannot open %s\n", label);
        return false;
    }
    undo_.created(target);
    out.write(bytes);
    if (out.sync() && out.close()) return true;
    log_.always("Cannot write %s\n", label);
    return false;
}

}  // namespace brem::outbound
