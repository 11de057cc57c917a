// The passes over one input folder, without the conversion: the claim that keeps a second
// instance off the folder, what a killed run left behind, which files a pass takes, the
// output name each gets, and what happens to the input once its conversion has ended.
// How the files are converted (one after the other here, or in lanes) is the business of a
// ConversionWay; the cycle (ScanCycle) joins the two.
#pragma once

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderClaim.h"
#include "server/ClaimedFolderCheck.h"
#include "server/FailureReason.h"
#include "server/FileConversion.h"
#include "server/FileInHand.h"
#include "server/PassFilter.h"
#include "server/ScanObserver.h"
#include "server/ScanSettings.h"

namespace vd {

inline constexpr const char* kUnableToCreatePdf = "Unable to create PDF.";
// A pass lists at most this many files (the window's list has a 16-bit index); the rest
// wait for a later pass.
inline constexpr int kMaxListEntries = 32767;

// The cycle's one error rule: a step around the conversion that fails (listing, naming,
// removing the input) is logged with its reason, since the PDF may well exist and the
// operator needs the reason to make sense of the line before it; the next step follows.
template <class Action>
bool AttemptStep(ScanObserver& observer, const std::string& subject, Action&& action) {
  std::string reason = "unknown error";
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    reason = FailureReason(error);
  } catch (...) {
  }
  observer.logLine(subject + kUnableToCreatePdf);
  observer.logLine(subject + ReasonLine(reason));
  return false;
}

// What a killed run left in a folder's input, output and failed/ folders: temporaries nobody
// writes, PDFs set aside. failed/ only when it is a real folder of the input folder, never
// wherever a link of that name points.
void SettleLeftovers(const ScanSettings& folder);

class FolderPasses {
 public:
  FolderPasses(std::size_t index, ScanSettings settings, ScanObserver& observer);
  ~FolderPasses();
  FolderPasses(const FolderPasses&) = delete;
  FolderPasses& operator=(const FolderPasses&) = delete;

  const ScanSettings& settings() const { return settings_; }
  void setInterval(std::int16_t seconds) { settings_.seconds = seconds; }

  // Claims the folder; the refusal when another instance serves it or no claim can be taken.
  std::optional<FolderClaim::Refusal> claim();
  void release();
  // What a killed run left in the folders (SettleLeftovers).
  void settleLeftovers();

  // The files of a pass, in the order listed: settled ordinary files not in hand. stopAt is
  // asked between entries; true ends the listing as stopped.
  enum class Listing { Done, Stopped };
  Listing list(std::vector<std::string>& names, const FilesInHand& inHand, const std::function<bool()>& stopAt);
  // Puts the files of the last listing in the order lanes convert them best: the lightest
  // first (Converter::weight), and of one weight the smaller file first; files of one weight
  // and size keep the listing's order. A file first listed kLongestWaitForLighterFiles ago or
  // more goes before every file listed after it, so a stream of light files dropped while a
  // heavy one waits never holds it back for longer.
  void orderLightestFirst(std::vector<std::string>& names) const;
  static constexpr double kLongestWaitForLighterFiles = 10.0;
  // The last listing left a file that was still being written: a pass soon sees it again.
  bool leftFreshFiles() const { return leftFresh_; }

  // True while a file in hand stands in the way of this one: under overwrite, one whose PDF
  // this one would replace; a script while another script runs (their entries' temporaries
  // share the input folder's names).
  bool mustWait(const std::string& name, const FilesInHand& inHand) const;
  // Takes the file: chooses its PDF (setting an earlier one aside under overwrite) and logs
  // "IN --> OUT". Nothing when a step failed (logged) or the file is gone meanwhile.
  std::optional<FileInHand> take(const std::string& name, const FilesInHand& inHand);
  // After the conversion, by its outcome (ConvertFile's): the earlier PDF discarded or put
  // back, the input removed or kept in failed/ with the reason. In lanes, where the lines of
  // several files interleave, nameTheFile puts the input before each line. An input written
  // to meanwhile stays for a later pass.
  void finish(FileInHand file, const ConversionOutcome& outcome, bool nameTheFile);

 private:
  bool includeInPass(const std::string& name, const FilesInHand& inHand);
  // True while the input folder's path names the folder claimed; the log says once when not.
  bool inputFolderIsClaimed();
  std::string chooseOutputPath(const std::string& name, const FilesInHand& inHand,
                               std::unique_ptr<SetAsidePdf>& replaced);
  void logLine(const std::string& line) { observer_.logLine(subject_ + line); }

  std::size_t index_ = 0;
  ScanSettings settings_;
  ScanObserver& observer_;
  // Held while the cycle runs, so that no second instance scans the same folder.
  std::unique_ptr<FolderClaim> claim_;
  ClaimedFolderCheck claimedFolder_;
  LeftInPlaceFiles leftInPlace_;
  // The stamps of the files listed: a file that differs after its conversion was written
  // to meanwhile.
  std::map<std::string, FileStamp> listedStamps_;
  // When each file not yet taken was first listed (clock().seconds()).
  std::map<std::string, double> firstListed_;
  bool leftFresh_ = false;
  // Put before the lines of the file being finished.
  std::string subject_;
};

}  // namespace vd
