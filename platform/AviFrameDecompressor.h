// The frame objects of the file service. Each owns one output block, laid out
// as a packed bitmap (header, colour table or zeros up to the stream's format
// size, bottom-up rows), allocated once when it is made and never moved, so a
// painter may keep drawing the last frame while the next one is fetched.
#pragma once

#include <memory>
#include <vector>

#include "platform/AviStreamData.h"
#include "platform/BitmapRecords.h"

struct AviFrameObject {
  virtual ~AviFrameObject() = default;
  // The bitmap of sample pos, or null.
  virtual void* GetFrame(LONG pos) = 0;
};

class AviFrameDecompressor {
 public:
  // Null when the stream is not video, its format cannot be shown, or no
  // decoder knows its compression (never for the built-in screen codec).
  static std::unique_ptr<AviFrameObject> Create(std::shared_ptr<const AviStreamData> stream);
};
