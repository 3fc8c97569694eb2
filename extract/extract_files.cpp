#include "extract_files.h"

#include <cstdio>
#include <cstring>

#include "output_name.h"

namespace {

EntryOutcome Outcome(EntryStatus status, EntryProblem problem) {
  EntryOutcome outcome{};
  outcome.status = status;
  outcome.problem = problem;
  return outcome;
}

EntryOutcome Failed(EntryProblem problem, int error) {
  EntryOutcome outcome = Outcome(EntryStatus::kNotWritten, problem);
  outcome.error = error;
  return outcome;
}

EntryOutcome Done(EntryStatus status, EntryProblem problem, int written) {
  EntryOutcome outcome = Outcome(status, problem);
  outcome.written = written;
  return outcome;
}

// The rules that come before any data goes anywhere: kNone when the entry's
// data may be written.
EntryOutcome Admit(const EntryRecord& entry) {
  if (!entry.HasRecordHeader()) {
    return Outcome(EntryStatus::kSkipped, EntryProblem::kRecordPastDisk);
  }
  // Addresses decoded from bytes the image does not hold mean nothing.
  if (entry.problem == EntryProblem::kRecordMissing) {
    return Outcome(EntryStatus::kNotWritten, EntryProblem::kRecordMissing);
  }
  // Nothing is created or truncated for a negative size.
  if (entry.size < 0) return Outcome(EntryStatus::kNotWritten, EntryProblem::kEndBelowStart);
  return Outcome(EntryStatus::kWritten, EntryProblem::kNone);
}

// The outcome once the data that there is has been written: in part when it
// runs past the end of the disk or into a part the image does not hold, in
// full with zeros when salvaged.
EntryOutcome Written(const EntryRecord& entry, bool salvage) {
  if (salvage && entry.problem == EntryProblem::kDataMissing) {
    return Done(EntryStatus::kSalvaged, entry.problem, entry.inDisk);
  }
  if (entry.available < entry.size) {
    return Done(EntryStatus::kTruncated, entry.problem, entry.available);
  }
  return Done(EntryStatus::kWritten, EntryProblem::kNone, entry.available);
}

// The name's verdict: a NUL in the entry's name first, then the rules of
// the output name.
NameVerdict VerdictOn(const EntryRecord& entry, const char* fileName) {
  // "A\0" + "TXT" and "A\0B" would both be written as "A".
  if (std::strlen(entry.name) != static_cast<std::size_t>(entry.nameLength)) {
    return NameVerdict::kNulByte;
  }
  // A name that could not be converted to the host's has no file name.
  return fileName == nullptr ? NameVerdict::kNotCodePage932 : CheckOutputName(fileName);
}

// The folder the entry's file goes into, made on first use when each disk
// has its own; null when it cannot be made (diskFolderError says why).
const OutputFolder* FolderFor(OutputTarget& target) {
  if (target.diskFolder == nullptr) return target.folder;
  if (!target.diskFolder->IsOpen() && target.diskFolderError == 0) {
    target.diskFolderError = target.diskFolder->OpenChild(*target.folder, target.diskFolderName);
  }
  return target.diskFolderError == 0 ? target.diskFolder : nullptr;
}

}  // namespace

void DiskFolderName(int place, char (&name)[kDiskFolderNameSize]) {
  std::snprintf(name, sizeof name, "disk%02d", place);
}

void WrittenPath(const OutputTarget& target, const char* fileName, char (&path)[kWrittenPathSize]) {
  if (target.diskFolder == nullptr) {
    std::snprintf(path, sizeof path, "%s", fileName);
  } else {
    std::snprintf(path, sizeof path, "%s/%s", target.diskFolderName, fileName);
  }
}

void EnterDisk(OutputTarget& target, const DiskRecord& disk) {
  target.diskPlace = disk.place;
  target.diskNumber = disk.diskNumber;
  if (target.diskFolder == nullptr) return;
  target.diskFolder->Close();
  DiskFolderName(disk.place, target.diskFolderName);
  target.diskFolderError = 0;
}

EntryOutcome ListEntry(const EntryRecord& entry) {
  const EntryStatus status = entry.HasRecordHeader() ? EntryStatus::kListed : EntryStatus::kSkipped;
  return Done(status, entry.problem, entry.available);
}

EntryOutcome PassEntry(const EntryRecord& entry, bool salvage) {
  const EntryOutcome admitted = Admit(entry);
  return admitted.problem != EntryProblem::kNone ? admitted : Written(entry, salvage);
}

EntryOutcome ExtractEntry(const EntryRecord& entry, const char* fileName, OutputTarget& target) {
  const EntryOutcome admitted = Admit(entry);
  if (admitted.problem != EntryProblem::kNone) return admitted;
  const NameVerdict verdict = VerdictOn(entry, fileName);
  if (verdict != NameVerdict::kAccepted) {
    EntryOutcome refused = Outcome(EntryStatus::kNotWritten, EntryProblem::kNameRefused);
    refused.verdict = verdict;
    return refused;
  }
  const OutputFolder* folder = FolderFor(target);
  if (folder == nullptr) return Failed(EntryProblem::kDiskFolder, target.diskFolderError);
  EntryOutcome outcome = Written(entry, target.salvage);
  const WriteResult result = WriteOutputFile(*folder, fileName, entry.data, outcome.written,
                                             target.guarded, target.taken != TakenNames::kReplace);
  if (result.problem == EntryProblem::kKeptOld && target.taken == TakenNames::kKeepSilently) {
    return Outcome(EntryStatus::kKept, EntryProblem::kNone);
  }
  if (result.problem != EntryProblem::kNone) {
    EntryOutcome failed = Failed(result.problem, result.error);
    failed.oldRemoved = result.oldRemoved;
    return failed;
  }
  if (target.written != nullptr) {
    // A file this run wrote for an earlier entry is gone: say so.
    const int folderKey = target.diskFolder != nullptr ? target.diskPlace : 0;
    if (result.oldRemoved) {
      outcome.replacedPlace =
          target.written->PlaceOf(result.old, fileName, folderKey, outcome.replacedNumber);
    }
    target.written->Note(result.identified ? &result.created : nullptr, fileName, folderKey,
                         target.diskPlace, target.diskNumber);
  }
  return outcome;
}
