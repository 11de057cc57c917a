// Runs a step whose failure must not stop what follows: a cleanup that must not hide the
// error being reported, or a step the caller skips when it fails.
#pragma once

namespace vd {

template <class Step>
void ignoringErrors(Step step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace vd
