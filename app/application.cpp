// Start-up, the main loop and shutdown.
#include <csignal>

#include "app.h"
#include "ui.h"

namespace {

constexpr int missingFrameRetryMs = 200;

AppState* runningApp = nullptr;  // for the session's end, which Qt reports from inside a wait

DrawSurface* openCanvas(std::intptr_t id) { return canvasOutput(static_cast<int>(id)); }
std::uint32_t canvasChanges(std::intptr_t id) { return canvasRevision(static_cast<int>(id)); }

void buildMenu() {
  createMenuBar(layout::menuBar, layout::window);
  addMenuTitle("Datei");
  addMenuItem(menu::newSeries, "Neu\tStrg+N");
  addMenuItem(menu::save, "Speichern\tStrg+S");
  addMenuSeparator();
  addMenuItem(menu::capture, "Bild Speichern\tUmschalt+S");
  addMenuItem(menu::undo, "Letztes Bild entfernen\tStrg+Z");
  addMenuItem(menu::redo, "Bild wiederherstellen\tStrg+Umschalt+Z");
  addMenuItem(menu::preview, "Vorschau\tStrg+V");
  addMenuSeparator();
  addMenuItem(menu::quit, "Beenden");
}

void buildControls() {
  canvasControl(layout::canvas, 0, 0, layout::canvasSide, layout::canvasSide);
  containerControl(layout::panel, 0, layout::canvasSide, layout::canvasSide, layout::previewHeight - layout::editHeight);
  buttonControl(layout::playButton, 5, 30, 80, 20, "Play/Pause");
  textControl(layout::rateLabel, 100, 34, 25, 15, "FPS:");
  editControl(layout::rateEdit, 130, 30, 60, 20, "25");
  trackbarControl(layout::trackbar, 5, 5, 390, 25, 10);
  closeControlList();
  setControlName(layout::canvas, "Zeichenfläche mit der Strichfigur");
  setControlName(layout::trackbar, "Bild der Vorschau");
}

// Poses the dragged Segment from the pointer where the input handled so far left it. Outside
// the window there is no pointer position: the pose holds until it returns.
void followPointer(AppState& app) {
  const int px = pointerX(layout::window), py = pointerY(layout::window);
  if (px != -1 && py != -1) dragUpdate(app.session.figure, app.dragSegment, px, py);
}

// The release is the drag's last position: the limb stays where the button let it go, its
// chain attached, however soon the pointer moves on.
void endDrag(AppState& app) {
  if (app.dragSegment < 0) return;
  followPointer(app);
  settleDrag(app.session.figure, app.dragSegment);
  app.dragSegment = -1;
}

void canvasEvent(AppState& app) {
  switch (eventSubtype()) {
    case LeftDown: {
      const int hit = hitTest(app.session.figure, pointerX(layout::window), pointerY(layout::window));
      if (hit >= 0) app.dragSegment = hit;
      break;
    }
    case LeftUp: endDrag(app); break;
    case RightClick: rightClickCommand(app); break;
    default: break;
  }
}

}  // namespace

void startUp(AppState& app) {
  // A write past the file-size limit then fails with EFBIG, which the export reports, instead
  // of ending the program with every unsaved frame.
  std::signal(SIGXFSZ, SIG_IGN);
  holdMemoryReserve();
  initImageStore();
  startWindowServices();
  app = AppState{};
  openWindow(layout::window, layout::canvasSide, layout::editHeight, "Limbrik Animator");
  buildMenu();
  addShortcut(layout::window, 0x2004E, menu::newSeries);
  addShortcut(layout::window, 0x20053, menu::save);
  addShortcut(layout::window, 0x10053, menu::capture);
  addShortcut(layout::window, 0x20056, menu::preview);
  // Greyed in preview mode, these keys go on to the focused control: the frame-rate box's own undo.
  addShortcut(layout::window, 0x2005A | passedOnWhenGreyed, menu::undo);
  addShortcut(layout::window, 0x3005A | passedOnWhenGreyed, menu::redo);
  addShortcut(layout::window, 0x20059 | passedOnWhenGreyed, menu::redo);
  buildControls();
  resetPose(app.session.figure);
}

void handleEvent(AppState& app, int event) {
  if (event == WindowClose) {
    app.quitRequested = true;  // the main window is the only one
  } else if (event == MenuEvent) {
    menuCommand(app, eventMenu());
  } else if (event == ControlEvent) {
    const int control = eventControl();
    if (control == layout::canvas) canvasEvent(app);
    if (control == layout::playButton || control == layout::trackbar) controlCommand(app, control);
  }
  showWhatCanBeUndone(app.session);
}

void updateView(AppState& app) {
  if (app.dragSegment >= 0) followPointer(app);
  Session& session = app.session;
  if (session.previewMode) {
    previewStep(session);
    prepareNextFrame(session);
  } else {
    const Frame* last = session.frames.last();
    renderFigure(session.figure, {openCanvas, layout::canvas, canvasChanges}, true, last ? imageHandle(last->image) : 0);
  }
  session.frames.packOlderFrames();  // after the drawing, which never waits for it
}

int passTimeout(const AppState& app, bool drew) {
  if (app.session.previewMode) {
    const int due = nextFrameDueIn(app.session);
    // A frame that memory did not let show is tried again a few times a second.
    return app.session.frameMissing && (due < 0 || due > missingFrameRetryMs) ? missingFrameRetryMs : due;
  }
  return drew ? 2 : -1;  // a pass that drew is followed by one more, until nothing changes
}

// Where not even the message finds room, the title of a frame that cannot show says it too.
void warnOfShortage() {
  if (!memoryShortageToReport()) return;
  withinMemory([] {
    askUser(dialogTitle,
            "Der Arbeitsspeicher ist knapp geworden. Speichern Sie die Bilderserie jetzt, damit kein Bild "
            "verloren geht.", OkWarning);
  });
}

void runPass(AppState& app, int event) {
  warnOfShortage();  // before the work that input asks for: a dialog, an export
  const bool done = withinMemory([&] {
    handleEvent(app, event);
    updateView(app);
    warnOfJournalFailure(app.session);
    confirmQuit(app);
  });
  if (!done) app.quitRequested = false;  // nothing ends for a command that found no memory
  warnOfShortage();
}

void confirmQuit(AppState& app) {
  if (!app.quitRequested) return;
  app.quitRequested = quitConfirmed(app.session);
  dropCloseRequests();  // those that came while it asked have their answer
}

bool sessionMayEnd(AppState& app) {
  finishRunningExport();  // the manager may ask while an export writes: it is answered after it
  watchMemory();
  bool confirmed = false;  // without memory the logout waits for a save that can run
  app.sessionEnded = withinMemory([&] { confirmed = quitConfirmed(app.session); }) && confirmed;
  dropCloseRequests();
  return app.sessionEnded;
}

void shutDown() {
  stopWindowServices();
  shutdownImageStore();
  endDrawing();
  releaseMemoryReserve();
}

int runApplication(int& argc, char** argv) {
  if (const int answered = answerCommandLine(argc, argv); answered >= 0) return answered;
  startWindowServices(&argc, argv);  // Qt takes its own options out of the command line
  if (const int refused = refuseArguments(argc, argv); refused >= 0) {
    stopWindowServices();
    return refused;
  }
  AppState app;
  startUp(app);
  startJournal(app.session);  // a failure is told after the first pass has drawn the window
  runningApp = &app;
  onSessionEnd([] { return sessionMayEnd(*runningApp); });
  int timeout = 2;
  do {
    const int event = waitEvent(timeout);
    const std::uint32_t shown = canvasRevision(layout::canvas);
    runPass(app, event);
    const bool drew = canvasRevision(layout::canvas) != shown;
    timeout = passTimeout(app, drew);
  } while (!app.quitRequested && !app.sessionEnded);
  runningApp = nullptr;
  shutDown();
  // Every frame is saved or given up. After the window has gone: the removal waits for a flush
  // the disk may still be busy with.
  endJournal(app.session);
  return 0;
}
