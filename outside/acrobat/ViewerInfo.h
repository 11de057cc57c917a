// What the stand-in viewer says about itself when a script asks its App.
//
//   viewerVersion    the version the setup registered for it (HKEY_LOCAL_MACHINE
//                    "SOFTWARE\Classes\AcroExch.App\AcrobatVersion", default value);
//                    "0" when nothing is registered
//   viewerType       "Exchange-Pro": a viewer that can create and change documents
//   viewerVariation  "Full"
//   language         "ENU" (the viewer's own texts are English)
//   platform         "UNIX"
//   formsVersion     the same number as viewerVersion: forms come with the viewer
#pragma once

#include <optional>
#include <string>

namespace vd {

std::string RegisteredViewerVersion();
// The value named, or nothing when the App has no value of that name.
std::optional<std::string> ViewerAppValue(const std::string& name);

}  // namespace vd
