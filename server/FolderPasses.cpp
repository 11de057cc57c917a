#include "server/FolderPasses.h"

#include <algorithm>
#include <compare>
#include <utility>

#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/ReplacementFile.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/FolderClaim.h"
#include "platform/OpenFolder.h"
#include "server/Dispatch.h"
#include "server/FailedFiles.h"
#include "server/PathNames.h"

namespace vd {
FolderPasses::FolderPasses(std::size_t index, ScanSettings settings, ScanObserver& observer)
    : index_(index), settings_(std::move(settings)), observer_(observer) {}

FolderPasses::~FolderPasses() = default;

std::optional<FolderClaim::Refusal> FolderPasses::claim() {
  FolderClaim::Refusal refused;
  claim_ = FolderClaim::tryClaim(settings_.inputDir, refused);
  if (claim_) return std::nullopt;
  return refused;
}

bool FolderPasses::inputFolderIsClaimed() {
  return claimedFolder_.holds(claim_.get(), settings_.inputDir, [this](const std::string& why) { logLine(why); });
}

void FolderPasses::release() { claim_.reset(); }

void SettleLeftovers(const ScanSettings& folder) {
  RemoveAbandonedReplacements(folder.outputDir);
  SetAsidePdf::settleLeftoversIn(folder.outputDir);
  // Script runs and failed files write into the input folder too.
  RemoveAbandonedReplacements(folder.inputDir);
  ignoringErrors([&] {
    const OpenFolder input(folder.inputDir);
    std::string refusal;
    if (!input.hasEntry(kFailedFolder)) return;
    if (const std::optional<OpenFolder> failed = input.subfolder(kFailedFolder, refusal)) {
      RemoveAbandonedReplacements(failed->descriptor());
    }
  });
}

void FolderPasses::settleLeftovers() { SettleLeftovers(settings_); }

bool FolderPasses::includeInPass(const std::string& name, const FilesInHand& inHand) {
  if (LeftAloneByName(name)) return false;
  const std::string path = settings_.inputDir + "/" + name;
  if (inHand.holdsInput(path)) return false;
  const std::optional<FileStamp> stamp = fileSystem().stamp(path);
  if (!stamp) return false;  // gone again since the listing saw it
  if (IsStillBeingWritten(*stamp)) {
    leftFresh_ = true;
    return false;
  }
  if (leftInPlace_.isUnchanged(path, *stamp)) return false;
  listedStamps_[name] = *stamp;
  return true;
}

FolderPasses::Listing FolderPasses::list(std::vector<std::string>& names, const FilesInHand& inHand,
                                         const std::function<bool()>& stopAt) {
  names.clear();
  leftFresh_ = false;
  // The stamps of files still in hand stay: their conversions end after this listing.
  for (auto it = listedStamps_.begin(); it != listedStamps_.end();) {
    it = inHand.holdsInput(settings_.inputDir + "/" + it->first) ? std::next(it) : listedStamps_.erase(it);
  }
  if (!inputFolderIsClaimed()) return Listing::Done;
  std::unique_ptr<DirectoryListing> listing;
  if (!AttemptStep(observer_, subject_, [&] { listing = fileSystem().listOrdinaryFiles(settings_.inputDir); })) {
    return Listing::Done;
  }
  for (bool first = true;; first = false) {
    if (!first && stopAt()) return Listing::Stopped;
    std::optional<std::string> entry;
    if (!AttemptStep(observer_, subject_, [&] { entry = listing->next(); }) || !entry) break;
    if (!includeInPass(*entry, inHand)) continue;
    names.push_back(*entry);
    if (names.size() >= static_cast<std::size_t>(kMaxListEntries)) break;
  }
  // Files taken or gone since are forgotten; a file left for a later pass keeps its time.
  const double now = clock().seconds();
  std::map<std::string, double> firstListed;
  for (const std::string& name : names) {
    const auto earlier = firstListed_.find(name);
    firstListed.emplace(name, earlier != firstListed_.end() ? earlier->second : now);
  }
  firstListed_ = std::move(firstListed);
  return Listing::Done;
}

void FolderPasses::orderLightestFirst(std::vector<std::string>& names) const {
  struct Load {
    // Files that waited long enough go first, the longest waiting first; 0 for the rest.
    double waitedSince;
    ConversionWeight weight;
    std::uint64_t size;
    auto operator<=>(const Load&) const = default;
  };
  const double now = clock().seconds();
  std::vector<std::pair<Load, std::string>> loaded;
  loaded.reserve(names.size());
  for (std::string& name : names) {
    const auto listed = listedStamps_.find(name);
    const auto first = firstListed_.find(name);
    const bool waitedLong = first != firstListed_.end() && now - first->second >= kLongestWaitForLighterFiles;
    const Load load{waitedLong ? first->second - now : 0.0, WeightOf(GetExtension(name)),
                    listed != listedStamps_.end() ? listed->second.size : 0};
    loaded.emplace_back(load, std::move(name));
  }
  std::stable_sort(loaded.begin(), loaded.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < loaded.size(); ++i) names[i] = std::move(loaded[i].second);
}

bool FolderPasses::mustWait(const std::string& name, const FilesInHand& inHand) const {
  if (settings_.overwrite && inHand.holdsOutput(settings_.outputDir + "/" + GetBaseName(name) + ".pdf")) return true;
  return GetExtension(name) == "scr" && inHand.holdsScript();
}

std::string FolderPasses::chooseOutputPath(const std::string& name, const FilesInHand& inHand,
                                           std::unique_ptr<SetAsidePdf>& replaced) {
  const std::string base = settings_.outputDir + "/" + GetBaseName(name);
  std::string path = base + ".pdf";
  if (!PathExists(path) && !inHand.holdsOutput(path)) return path;
  if (settings_.overwrite) {
    AttemptStep(observer_, subject_, [&] { replaced = std::make_unique<SetAsidePdf>(path); });
    observer_.logLine(path + " deleted");
    return path;
  }
  for (std::int16_t n = 1;; ++n) {
    eventPump().processEvents();
    path = base + "_" + std::to_string(n) + ".pdf";
    if (!PathExists(path) && !inHand.holdsOutput(path)) return path;
    if (n == INT16_MAX) throw FileError("number the output for", settings_.inputDir + "/" + name, "every numbered name is taken");
  }
}

std::optional<FileInHand> FolderPasses::take(const std::string& name, const FilesInHand& inHand) {
  if (!inputFolderIsClaimed()) return std::nullopt;
  FileInHand file;
  if (!AttemptStep(observer_, subject_, [&] { file.out = chooseOutputPath(name, inHand, file.replaced); })) {
    return std::nullopt;
  }
  file.folder = index_;
  file.name = name;
  file.in = settings_.inputDir + "/" + name;
  if (!PathExists(file.in)) {
    // Gone since the listing: nothing replaces the PDF set aside for it.
    if (file.replaced) file.replaced->putBack();
    return std::nullopt;
  }
  observer_.logLine(file.in + " --> " + file.out);
  file.ext = GetExtension(name);
  file.security = settings_.security;
  file.inputDir = settings_.inputDir;
  file.ocrLanguages = settings_.ocrLanguages;
  file.ocrRotate = settings_.ocrRotate;
  return file;
}

void FolderPasses::finish(FileInHand file, const ConversionOutcome& outcome, bool nameTheFile) {
  subject_ = nameTheFile ? file.in + ": " : std::string();
  const std::string& in = file.in;
  const std::string& out = file.out;
  // Decided by ConvertFile, here or in a lane: the PDF is whole, or it is gone.
  const std::optional<std::string>& failure = outcome.failure;
  if (failure) logLine(kUnableToCreatePdf);
  if (file.replaced) {
    if (failure) {
      file.replaced->putBack();
    } else {
      file.replaced->discard();
    }
    file.replaced.reset();
  }
  const auto listed = listedStamps_.find(file.name);
  const std::optional<FileStamp> listedStamp =
      listed != listedStamps_.end() ? std::optional<FileStamp>(listed->second) : std::nullopt;
  if (listed != listedStamps_.end()) listedStamps_.erase(listed);
  const std::optional<FileStamp> stampNow = fileSystem().stamp(in);
  if (listedStamp && stampNow && *stampNow != *listedStamp) {
    // Written to while it was converted: the PDF may hold a part of it only. It stays for a
    // later pass, which converts it whole.
    logLine(in + " changed during its conversion; it stays for the next pass.");
    subject_.clear();
    return;
  }
  // Removed or moved in the folder claimed, even when its path names another one by now.
  const OpenFolder* claimed = claim_ ? claim_->folder() : nullptr;
  bool handled = false;
  if (failure) {
    observer_.fileFailed(in, *failure);
    std::string kept;
    handled = AttemptStep(observer_, subject_, [&] {
      kept = claimed != nullptr ? KeepFailedFile(*claimed, file.name, *failure)
                                : KeepFailedFile(settings_.inputDir, file.name, *failure);
    });
    if (handled) observer_.failedFileKept(in, kept);
  } else {
    observer_.fileConverted(in, out, outcome.pdf ? outcome.pdf->pages : 0);
    handled = AttemptStep(observer_, subject_,
                          [&] { claimed != nullptr ? claimed->removeFile(file.name) : fileSystem().deleteFile(in); });
  }
  if (!handled) {
    // Left where it is: not handled again in this cycle while it stays unchanged.
    if (const std::optional<FileStamp> stamp = fileSystem().stamp(in)) leftInPlace_.remember(in, *stamp);
  }
  subject_.clear();
}

}  // namespace vd
