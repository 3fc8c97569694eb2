#include "extract_files.h"

namespace {

EntryOutcome Outcome(EntryStatus status, EntryProblem problem, int written = 0, int error = 0) {
  return EntryOutcome{status, problem, NameVerdict::kAccepted, written, error};
}

}  // namespace

EntryOutcome ListEntry(const EntryRecord& entry) {
  if (!entry.headerRead) return Outcome(EntryStatus::kSkipped, EntryProblem::kRecordPastDisk);
  return Outcome(EntryStatus::kListed, EntryProblem::kNone);
}

EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName,
                          const OutputPlace& place) {
  if (!entry.headerRead) return Outcome(EntryStatus::kSkipped, EntryProblem::kRecordPastDisk);
  // Nothing is created or truncated for a negative size.
  if (entry.size < 0) return Outcome(EntryStatus::kNotWritten, EntryProblem::kEndBelowStart);
  const NameVerdict verdict = CheckOutputName(fileName);
  if (verdict != NameVerdict::kAccepted) {
    EntryOutcome refused = Outcome(EntryStatus::kNotWritten, EntryProblem::kNameRefused);
    refused.verdict = verdict;
    return refused;
  }
  const WriteResult result =
      WriteOutputFile(place.folder, fileName, entry.data, entry.available, place.guarded);
  if (result.problem != EntryProblem::kNone) {
    return Outcome(EntryStatus::kNotWritten, result.problem, 0, result.error);
  }
  // Data that runs past the end of the disk: the file holds what the disk has.
  if (entry.available < entry.size) {
    return Outcome(EntryStatus::kTruncated, EntryProblem::kDataPastDisk, entry.available);
  }
  return Outcome(EntryStatus::kWritten, EntryProblem::kNone, entry.available);
}
