// A seam is the one place where a platform facility is reached. The code above the
// platform layer asks Seam<I>::get() for the facility; tests put a double in its place
// with ScopedSeam for the length of a test, and a program its own realisation (the
// program with windows its dialogs) for the length of its main.
#pragma once

namespace vd {

template <class Interface>
class Seam {
 public:
  static Interface& get() { return current_ != nullptr ? *current_ : defaultInstance(); }
  // Replaces the facility; returns the one that was in force (nullptr for the default).
  static Interface* swap(Interface* replacement) {
    Interface* previous = current_;
    current_ = replacement;
    return previous;
  }

 private:
  // Defined next to the Linux realisation of each facility.
  static Interface& defaultInstance();
  static inline Interface* current_ = nullptr;
};

template <class Interface>
class ScopedSeam {
 public:
  explicit ScopedSeam(Interface& replacement) : previous_(Seam<Interface>::swap(&replacement)) {}
  ~ScopedSeam() { Seam<Interface>::swap(previous_); }
  ScopedSeam(const ScopedSeam&) = delete;
  ScopedSeam& operator=(const ScopedSeam&) = delete;

 private:
  Interface* previous_;
};

}  // namespace vd
