// News import: takes inbound UUCP news jobs (an execute file whose command is
// rnews, and the data file it names) out of the spool, brings the batch into
// the working file "$7b60051.int" (expanding a compressed batch with the
// compressor first) and files it. One batch per call, so that Header.Msg
// describes exactly that batch when the host reads it.
#pragma once

#include <cstdint>
#include <string>

namespace brem::inbound {

// How long an expansion may take before it counts as failed: a batch of
// hundreds of megabytes expands well within it.
inline constexpr uint32_t kExpandTimeoutMs = 10 * 60 * 1000;

// The compressor's exit status when an expansion stopped at its limit on the
// size of what a batch may expand to (zorpack -L): the batch is no batch a
// peer meant to send.
inline constexpr int kCompressorPassedLimit = 3;

// What a news job's data file holds, told by its first line. A compressed
// stream's third byte gives the largest code width it was made with: `bits`
// gets it, or 16 where it cannot be read. News import takes every batch for
// what this says it is; brem's report of the jobs left asks it too.
enum class BatchKind { Plain, Compressed, Unknown };
BatchKind NewsBatchKind(const std::string& dataPath, int32_t& bits);

// How news import takes a job's batch when the host asks for `bits` (above
// 0: compressed): for what NewsBatchKind says it is, the host's choice only
// where the file does not tell. A compressed intake of a file that is no
// batch finds no "#! cunbatch" line and passes the job over; a plain intake
// files whatever articles it finds and takes the job.
struct NewsIntake {
    BatchKind kind;
    bool compressed;
    int32_t bits;  // code width for the expansion
    bool passedOver() const { return compressed && kind == BatchKind::Unknown; }
};
NewsIntake ChooseNewsIntake(const std::string& dataPath, int32_t bits);

// True when the data file at `dataPath` holds the batch the last news import
// filed, as it keeps it until the next job in the spool `spoolDir` (ending
// in a separator): the plain batch as "$7b60051.int", a compressed one's
// stream as "$7b60051.z". A power cut between the deletions of a job's two
// files leaves such a data file behind.
bool IsFiledNewsBatch(const std::string& spoolDir, const std::string& dataPath);

// Files one news batch that a UUCP of the system received and hands over as
// its rnews command. The batch lies in the file `batchPath` (plain, or "#!
// cunbatch" and a compressed stream, told by its first line as for a job);
// it goes through the working files of news import in `workDir` and is filed
// by the same rules into the areas storeDir + "area.dat" names. Header.Msg in
// `workDir` then lists its articles. Both directories end in a separator.
// Returns 0 when the batch was filed, 1 when it is no news batch (nor a
// compressed one that expands within the compressor's limit), -1 when it
// could not be filed (the store is as it was before; the batch file is
// still there or in the working files); *reason then says why.
int32_t DeliverNewsBatch(const std::string& workDir, const std::string& storeDir, const std::string& batchPath,
                         int32_t verbosity, std::string* reason);

// Both directories end in a separator. Returns 0 when one batch was filed,
// 1 when no news job was left to take, -1 on a failure news.log names.
// `bits` above 0: batches arrive compressed ("#! cunbatch"); otherwise plain.
int32_t ImportNews(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                   const std::string& secondSite, int32_t verbosity, int32_t bits);

// Handles the job of execute file `name` (without directory): 0 batch filed,
// -1 failure, 1 passed over or not taken (go on with the next).
int32_t ImportNewsJob(const std::string& spoolDir, const std::string& storeDir, const std::string& firstSite,
                      const std::string& secondSite, const std::string& name, int32_t verbosity, int32_t bits);

}  // namespace brem::inbound
