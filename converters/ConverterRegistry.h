// The converters of one engine, by name and by extension. The order in which they are added
// is the order of the scan cycle's dispatch table; each extension belongs to one row only,
// and one converter (the text converter) also takes every extension no row names.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "converters/Converter.h"

namespace vd {

class ConverterRegistry {
 public:
  ConverterRegistry() = default;
  ConverterRegistry(ConverterRegistry&&) = default;
  ConverterRegistry& operator=(ConverterRegistry&&) = default;

  // Adds converter as the next row. A name registered before, or an extension another row
  // takes, is a mistake of the registration: std::logic_error.
  void add(std::unique_ptr<Converter> converter);
  // As add; the converter also takes every extension of no row, and names without one.
  void addFallback(std::unique_ptr<Converter> converter);

  // The converter of ext's row (ext in lower case), else the fallback; nullptr when the
  // registry has neither.
  Converter* forExtension(const std::string& ext) const;
  // The converter of that name; nullptr when none is registered.
  Converter* named(const std::string& name) const;
  // Every converter, in the order of the rows.
  const std::vector<std::unique_ptr<Converter>>& all() const { return converters_; }

  // Puts what wrap makes of each converter in its place, keeping its row and the fallback
  // (a test's recording double around each, say).
  void wrapEach(const std::function<std::unique_ptr<Converter>(std::unique_ptr<Converter>)>& wrap);

 private:
  std::vector<std::unique_ptr<Converter>> converters_;
  // Index into converters_ of the fallback; -1 when there is none.
  int fallback_ = -1;
};

}  // namespace vd
