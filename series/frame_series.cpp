// The frame series: Frames in capture order with one current position.

#include "series.h"

int FrameSeries::count() const { return static_cast<int>(frames.size()); }

Frame* FrameSeries::current() { return position >= 0 ? &frames[static_cast<std::size_t>(position)] : nullptr; }

Frame* FrameSeries::first() { return select(0); }

Frame* FrameSeries::last() { return select(count() - 1); }

Frame& FrameSeries::append() {
  const auto at = static_cast<std::size_t>(position + 1);
  frames.insert(frames.begin() + static_cast<std::ptrdiff_t>(at), Frame{});
  position = static_cast<std::int32_t>(at);
  return frames[at];
}

Frame* FrameSeries::select(int index) {
  position = index >= 0 && index < count() ? index : -1;
  return current();
}

Frame* FrameSeries::next() {
  if (position < 0) return first();
  if (position == count() - 1) return nullptr;
  ++position;
  return current();
}

void FrameSeries::reset() { position = -1; }

int FrameSeries::index() const { return position; }

void FrameSeries::forgetTakenBack() {
  for (const Frame& frame : takenBack) releaseImage(frame.image);
  takenBack.clear();
  takenBack.shrink_to_fit();
}

void FrameSeries::clear() {
  for (const Frame& frame : frames)
    if (frame.image) releaseImage(frame.image);
  frames.clear();
  frames.shrink_to_fit();
  forgetTakenBack();
  position = -1;
  packedUpTo = 0;
  giveMemoryBack();  // the packed pictures were small heap blocks: their pages go back too
}

void FrameSeries::packOlderFrames() {
  for (; packedUpTo + 1 < frames.size(); ++packedUpTo)
    if (!packImage(frames[packedUpTo].image)) return;
}
