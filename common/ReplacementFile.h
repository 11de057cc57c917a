// Replacing a file so that a reader sees the old content or the new, never half of it: the
// new content goes to a temporary with a unique hidden name in the target's folder (the
// same file system, and skipped by every folder scan), which is then renamed over the
// target. A name nobody could guess, made with O_EXCL, cannot be prepared by another user
// as a link to elsewhere. The temporary is locked while its object lives, so what a killed
// program left behind can be told from what a running one is still writing.
#pragma once

#include <string>
#include <string_view>

namespace vd {

class ReplacementFile {
 public:
  // Creates the temporary beside target; throws FileError when the folder refuses it.
  explicit ReplacementFile(std::string target);
  // The same for the file `name` of the folder open at folderDescriptor (which must stay
  // open while this object lives): the file is replaced in that very folder, whatever its
  // path names meanwhile, and a link of that name is replaced, never written through.
  // shownAs names the file in errors; temporaryPath() is not for opening then.
  ReplacementFile(int folderDescriptor, std::string name, std::string shownAs);
  // Removes the temporary unless it was committed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Where the new content goes, for writers that open a file by name.
  const std::string& temporaryPath() const { return temporary_; }
  // Appends bytes to the temporary; throws FileError.
  void write(std::string_view bytes);
  // Flushes the temporary to disk, gives it the mode (by default the one a newly created
  // file gets under the umask) and renames it over the target; throws FileError.
  void commit();
  void commit(unsigned mode);
  // As commit(), but the temporary only takes the target's name while nothing has it: a
  // file that appeared there meanwhile stays, and FileError says "exists".
  void commitAsNew();

 private:
  // Flushes, gives the mode and closes the temporary; throws FileError.
  void finishWriting(unsigned mode);

  std::string target_;
  std::string temporary_;
  int descriptor_ = -1;
  // For a file named within an open folder: the folder, the file's and the temporary's names.
  int folder_ = -1;
  std::string name_;
  std::string temporaryName_;
};

// The whole content at once: ReplacementFile, write, commit.
void ReplaceFileContent(const std::string& target, std::string_view content);

// Removes the temporaries in folder that no living ReplacementFile holds: what a program
// killed while it wrote left there. Returns how many went; errors are not reported.
int RemoveAbandonedReplacements(const std::string& folder);
// The same for the folder open at folderDescriptor.
int RemoveAbandonedReplacements(int folderDescriptor);

// Removes the temporaries that this process's own living ReplacementFiles hold (their
// locks keep RemoveAbandonedReplacements from them), for a program about to end at once,
// without unwinding, on an operator's second stop signal. Returns how many went.
int RemoveOwnReplacementsBeforeExit();

}  // namespace vd
