#include "extract_files.h"

namespace {

EntryOutcome Outcome(EntryStatus status, EntryProblem problem, int written = 0, int error = 0) {
  return EntryOutcome{status, problem, NameVerdict::kAccepted, written, error};
}

// What the image and the disk do not give of an entry: kNone when its whole
// record is there.
EntryProblem ReadingProblem(const EntryRecord& entry) {
  if (!entry.headerRead) return EntryProblem::kRecordPastDisk;
  if (!entry.headerSupplied) return EntryProblem::kRecordMissing;
  if (entry.cut == DataCut::kMissing) return EntryProblem::kDataMissing;
  if (entry.cut == DataCut::kPastDisk) return EntryProblem::kDataPastDisk;
  return EntryProblem::kNone;
}

}  // namespace

EntryOutcome ListEntry(const EntryRecord& entry) {
  const EntryProblem problem = ReadingProblem(entry);
  const EntryStatus status = entry.headerRead ? EntryStatus::kListed : EntryStatus::kSkipped;
  return Outcome(status, problem, entry.available);
}

EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName,
                          const OutputPlace& place) {
  if (!entry.headerRead) return Outcome(EntryStatus::kSkipped, EntryProblem::kRecordPastDisk);
  // Addresses decoded from bytes the image does not hold mean nothing.
  if (!entry.headerSupplied) {
    return Outcome(EntryStatus::kNotWritten, EntryProblem::kRecordMissing);
  }
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
  // Data that runs past the end of the disk, or into a part the image does
  // not hold: the file holds what there is.
  if (entry.available < entry.size) {
    const EntryProblem problem =
        entry.cut == DataCut::kMissing ? EntryProblem::kDataMissing : EntryProblem::kDataPastDisk;
    return Outcome(EntryStatus::kTruncated, problem, entry.available);
  }
  return Outcome(EntryStatus::kWritten, EntryProblem::kNone, entry.available);
}
