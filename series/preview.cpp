// Preview mode: entering and leaving it, the panel's handlers and the playback step.
#include <chrono>
#include <optional>

#include "series.h"
#include "ui.h"

namespace {

// Elapsed ticks as an unsigned difference, so timing holds where the count wraps.
bool advanceDue(std::uint32_t now, std::uint32_t lastAdvance, std::int32_t delay) {
  return delay < 0 || now - lastAdvance > static_cast<std::uint32_t>(delay);
}

// The typed frame rate as ticks between frames; none for a rate of 0, which plays nothing.
std::optional<std::int32_t> frameDelay() {
  const auto rate = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(static_cast<std::uint64_t>(textToInteger(getControlText(layout::rateEdit)))));
  if (rate == 0) return std::nullopt;
  return 1000 / rate;
}

PreviewShown shownNow(ImageId image) {
  const ImageRecord* record = lookupImage(image);
  return {true, image, record ? record->revision : 0, canvasRevision(layout::canvas)};
}

void sayFrameMissing(Session& session, bool missing) {
  if (session.frameMissing == missing) return;
  session.frameMissing = missing;
  setWindowTitle(layout::window, missing ? "Limbrik Animator – Bild " + integerToText(session.frames.index() + 1) +
                                               " kann gerade nicht gezeigt werden: Der Arbeitsspeicher ist knapp"
                                         : "Limbrik Animator");
}

// Draws the current Frame unless the canvas shows exactly it already. A frame that cannot be
// expanded now is not drawn and does not count as shown: the last picture stays, and the
// title says why, until memory is back.
void showCurrentFrame(Session& session) {
  const Frame* frame = session.frames.current();
  const ImageId image = frame ? frame->image : 0;
  if (session.shown == shownNow(image)) return;
  const ImageRecord* record = lookupImage(image);
  sayFrameMissing(session, record && !imagePixels(*record));
  if (session.frameMissing || !beginDrawing(canvasOutput(layout::canvas))) return;
  if (image) drawImage(imageHandle(image), 0, 0);
  endDrawing();
  session.shown = shownNow(image);
}

}  // namespace

std::uint32_t systemTick() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void enterPreview(Session& session) {
  disableMenuItem(layout::menuBar, menu::capture, ItemGreyed);
  setMenuItemChecked(layout::menuBar, menu::preview, 1);
  session.previewMode = true;
  session.playing = false;
  setControlState(layout::playButton, 0);  // its look matches the stopped playback
  session.frames.first();
  setControlState(layout::trackbar, 0);
  setTrackbarMaximum(layout::trackbar, session.frames.count() - 1);
  resizeWindow(layout::window, layout::previewHeight);
}

void leavePreview(Session& session) {
  sayFrameMissing(session, false);
  disableMenuItem(layout::menuBar, menu::capture, ItemEnabled);
  setMenuItemChecked(layout::menuBar, menu::preview, 0);
  session.previewMode = false;
  resizeWindow(layout::window, layout::editHeight);
}

void togglePreview(Session& session) {
  getMenuItemChecked(layout::menuBar, menu::preview) ? leavePreview(session) : enterPreview(session);
}

void playButtonCommand(Session& session) {
  if (!getControlState(layout::playButton)) {
    session.playing = false;
  } else if (session.frames.count() == 0) {
    setControlState(layout::playButton, 0);  // springs back: there is nothing to play
  } else {
    session.playing = true;
  }
}

void trackbarCommand(Session& session) { session.frames.select(getControlState(layout::trackbar)); }

void previewStep(Session& session, TickSource tick) {
  const auto delay = frameDelay();
  FrameSeries& series = session.frames;
  if (!delay || series.count() == 0) return;
  if (session.playing && advanceDue(tick(), session.lastAdvanceTick, *delay)) {
    series.index() == series.count() - 1 ? series.first() : series.next();
    setControlState(layout::trackbar, series.index());
    session.lastAdvanceTick = tick();
  }
  showCurrentFrame(session);
}

int nextFrameDueIn(const Session& session, TickSource tick) {
  const auto delay = frameDelay();
  if (!session.playing || !delay || session.frames.count() == 0) return -1;
  if (*delay < 0) return 2;  // a negative rate advances on every pass, paced as a drag is
  const std::uint32_t elapsed = tick() - session.lastAdvanceTick;
  const auto ticks = static_cast<std::uint32_t>(*delay);
  return elapsed > ticks ? 0 : static_cast<int>(ticks + 1 - elapsed);
}

void prepareNextFrame(const Session& session) {
  const int count = session.frames.count();
  if (!session.playing || count < 2) return;
  const Frame& next = session.frames.frames[static_cast<std::size_t>((session.frames.index() + 1) % count)];
  if (const ImageRecord* record = lookupImage(next.image)) imagePixels(*record);
}
