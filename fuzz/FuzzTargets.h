// The fuzz targets: each takes one input of any bytes, feeds it to a parser of untrusted
// input and checks what the parser promises. A broken promise aborts with a message, so
// libFuzzer keeps the input and the replay test fails on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vd::fuzz {

int FuzzScriptEntries(const std::uint8_t* data, std::size_t size);
int FuzzJpegFacts(const std::uint8_t* data, std::size_t size);
int FuzzPngFacts(const std::uint8_t* data, std::size_t size);
int FuzzBmpResolution(const std::uint8_t* data, std::size_t size);
int FuzzRegistryValues(const std::uint8_t* data, std::size_t size);
int FuzzMountInfo(const std::uint8_t* data, std::size_t size);
int FuzzDesktopEntry(const std::uint8_t* data, std::size_t size);
int FuzzTextContent(const std::uint8_t* data, std::size_t size);
int FuzzFolderConfig(const std::uint8_t* data, std::size_t size);
int FuzzSvgDrawing(const std::uint8_t* data, std::size_t size);
int FuzzHttpTexts(const std::uint8_t* data, std::size_t size);

// Aborts, naming the broken promise, when holds is false.
void Require(bool holds, const char* promise);

inline std::string BytesOf(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace vd::fuzz
