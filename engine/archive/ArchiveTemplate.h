// The archive package's descriptor files, kept as one zstd frame built from
// engine/archive/template/ at build time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace KestrinMIMEEngineCommon {

constexpr size_t kArchiveTemplateFrameSize = 443;
extern const std::array<uint8_t, kArchiveTemplateFrameSize> kArchiveTemplateFrame;
extern const size_t kArchiveTemplateFrameLength;  // bytes of frame before the padding

// Where each file lies in the expanded template.
constexpr size_t kArchiveXmlOffset = 0, kArchiveXmlSize = 269;
constexpr size_t kInfoPlistOffset = 269, kInfoPlistSize = 424;
constexpr size_t kPkgInfoOffset = 693, kPkgInfoSize = 8;
// The expansion buffer is sized for the largest template the package format
// has carried; ours is shorter and the rest stays zero.
constexpr size_t kArchiveTemplateExpandedSize = 4797;

}  // namespace KestrinMIMEEngineCommon
