#include "converters/ConverterRegistry.h"

#include <algorithm>
#include <stdexcept>

namespace vd {

void ConverterRegistry::add(std::unique_ptr<Converter> converter) {
  if (!converter) throw std::logic_error("no converter to register");
  if (named(converter->name()) != nullptr) {
    throw std::logic_error("the converter " + converter->name() + " is registered twice");
  }
  for (const std::string& ext : converter->extensions()) {
    for (const auto& registered : converters_) {
      const std::vector<std::string> taken = registered->extensions();
      if (std::find(taken.begin(), taken.end(), ext) != taken.end()) {
        throw std::logic_error("the extension \"" + ext + "\" belongs to " + registered->name() + " and " +
                               converter->name());
      }
    }
  }
  converters_.push_back(std::move(converter));
}

void ConverterRegistry::addFallback(std::unique_ptr<Converter> converter) {
  if (fallback_ >= 0) throw std::logic_error("a second converter for every other extension");
  add(std::move(converter));
  fallback_ = static_cast<int>(converters_.size()) - 1;
}

Converter* ConverterRegistry::forExtension(const std::string& ext) const {
  for (const auto& converter : converters_) {
    const std::vector<std::string> taken = converter->extensions();
    if (std::find(taken.begin(), taken.end(), ext) != taken.end()) return converter.get();
  }
  return fallback_ >= 0 ? converters_[static_cast<std::size_t>(fallback_)].get() : nullptr;
}

Converter* ConverterRegistry::named(const std::string& name) const {
  for (const auto& converter : converters_) {
    if (converter->name() == name) return converter.get();
  }
  return nullptr;
}

void ConverterRegistry::wrapEach(const std::function<std::unique_ptr<Converter>(std::unique_ptr<Converter>)>& wrap) {
  for (auto& converter : converters_) {
    converter = wrap(std::move(converter));
    if (!converter) throw std::logic_error("a converter was wrapped into nothing");
  }
}

}  // namespace vd
