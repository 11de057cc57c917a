// One job's files in the folder a worker client shares with its workers, the only files a
// confined worker can reach (outside/worker/Confinement.h): the caller places the job's
// input there, names the job's outputs there, and takes them out once the job has ended.
// Everything in it goes with the object. Nothing the worker leaves there is trusted: an
// output is taken only when it is an ordinary file, and copied, so the worker keeps no hold
// on the file its client hands on.
#pragma once

#include <memory>
#include <string>

#include "common/PrivateDirectories.h"

namespace vd {

class WorkerClient;

class JobFolder {
 public:
  // Throws FileError when the folder cannot be made.
  explicit JobFolder(WorkerClient& worker);
  ~JobFolder();
  JobFolder(const JobFolder&) = delete;
  JobFolder& operator=(const JobFolder&) = delete;

  // Copies source (an ordinary file, or a link to one) into the folder under name, readable
  // and only readable to the job; returns the path the job reads. Throws FileError.
  std::string placeInput(const std::string& source, const std::string& name);
  // Where the job writes its output called name.
  std::string outputPath(const std::string& name) const;
  // Copies the job's output called name to destination (created, or replaced in place) and
  // returns true; false, touching nothing, when the job left no ordinary file of that name.
  // Throws FileError when destination cannot be written.
  bool takeOutput(const std::string& name, const std::string& destination) const;

 private:
  std::shared_ptr<const TemporaryDirectory> shared_;
  std::string inputs_;
  std::string work_;
};

}  // namespace vd
