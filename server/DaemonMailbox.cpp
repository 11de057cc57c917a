#include "server/DaemonMailbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace vd {

void DaemonRequest::finish(End end, std::string reason) {
  {
    const std::lock_guard lock(mutex_);
    if (end_) return;
    end_ = end;
    reason_ = std::move(reason);
  }
  finished_.notify_all();
}

bool DaemonRequest::abandoned() const {
  const std::lock_guard lock(mutex_);
  return abandoned_;
}

bool DaemonRequest::waitFinished(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return finished_.wait_for(lock, bound, [&] { return end_.has_value(); });
}

std::optional<DaemonRequest::End> DaemonRequest::end() const {
  const std::lock_guard lock(mutex_);
  return end_;
}

std::string DaemonRequest::reason() const {
  const std::lock_guard lock(mutex_);
  return reason_;
}

void DaemonRequest::abandon() {
  const std::lock_guard lock(mutex_);
  abandoned_ = true;
}

DaemonMailbox::DaemonMailbox() : status_(std::make_shared<DaemonStatus>()) {
  descriptor_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (descriptor_ < 0) throw std::runtime_error(std::string("cannot make the loop's wake-up: ") + std::strerror(errno));
}

DaemonMailbox::~DaemonMailbox() { close(); ::close(descriptor_); }

std::shared_ptr<const DaemonStatus> DaemonMailbox::status() const {
  const std::lock_guard lock(mutex_);
  if (progress_) {
    auto withProgress = std::make_shared<DaemonStatus>(*status_);
    for (FolderStatus& folder : withProgress->folders) {
      for (FileBeingConverted& file : folder.inHand) {
        file.percent = progress_->percent;
        file.page = progress_->page;
      }
    }
    status_ = std::move(withProgress);
    progress_.reset();
  }
  return status_;
}

void DaemonMailbox::send(const std::shared_ptr<DaemonRequest>& request) {
  {
    const std::lock_guard lock(mutex_);
    if (!closed_) {
      waiting_.push_back(request);
      const std::uint64_t one = 1;
      // Only a counter at its limit refuses, and it is read empty long before.
      [[maybe_unused]] const ssize_t written = write(descriptor_, &one, sizeof one);
      return;
    }
  }
  request->finish(DaemonRequest::End::Refused, kDaemonStopping);
}

void DaemonMailbox::publish(DaemonStatus status) {
  auto published = std::make_shared<const DaemonStatus>(std::move(status));
  const std::lock_guard lock(mutex_);
  status_ = std::move(published);
  progress_.reset();
}

void DaemonMailbox::publishProgress(FileProgress progress) {
  const std::lock_guard lock(mutex_);
  progress_ = progress;
}

std::vector<std::shared_ptr<DaemonRequest>> DaemonMailbox::take() {
  const std::lock_guard lock(mutex_);
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(descriptor_, &count, sizeof count);
  std::vector<std::shared_ptr<DaemonRequest>> taken(waiting_.begin(), waiting_.end());
  waiting_.clear();
  return taken;
}

void DaemonMailbox::close() {
  std::deque<std::shared_ptr<DaemonRequest>> refused;
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    refused.swap(waiting_);
  }
  for (const auto& request : refused) request->finish(DaemonRequest::End::Refused, kDaemonStopping);
}

}  // namespace vd
