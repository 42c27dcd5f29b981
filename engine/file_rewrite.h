// The in-place rewrite both repairers use. A user's file ends either with the
// repaired content or byte for byte as it was; no copy of it is made.
//
// Any step may fail, and a failed step may leave the file half written. After
// such a step the file is read back: when it already holds the repaired
// content, the rewrite is done; when it holds the original, it is left so;
// when it holds anything else, the original is written back, again after
// growing waits, until it is whole. So no two passing faults anywhere in a
// rewrite can leave the file damaged, nor a repaired file unreported.
//
// One case cannot be saved without a copy of the file, which the tool never
// makes: a disk that refuses every write for good after the first chunk of the
// repaired content has landed. The original cannot go back, and the file is
// lost (RewriteResult::kLost).
#pragma once
#include <string>

#include "engine/rewrite_steps.h"

namespace vx {

enum class RewriteResult {
  kDone,     // the file holds the replacement
  kBusy,     // the file is unchanged; another program held or locked it, so a later try may succeed
  kRefused,  // the file is unchanged; protected, changed meanwhile, or a fault no retry mends
  kLost,     // the original could not be put back, or what the file holds could not be seen
};

// Replaces the content of the file at path, which must still hold exactly
// `original`, by `replacement`, which must be no longer than `original` (so
// that putting the original back never needs new disk space); the repairers
// pass a view of the runs of `original` they keep. Files with the
// read-only, hidden or system attribute are not touched.
RewriteResult RewriteFileInPlace(const std::string& path, const std::string& original,
                                 const ContentView& replacement);

// The repairers' rewrite: tried again after a pause while another program
// holds the file, a few times at most, and never for a refusal that a retry
// cannot change. True when the file holds the replacement.
bool RepairFileInPlace(const std::string& path, const std::string& original, const ContentView& replacement);

}  // namespace vx
