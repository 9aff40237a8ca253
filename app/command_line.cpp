// The command line: --help and --version answer at once, with or without a display; Qt's
// own options (-platform, -display, the -session a session manager restarts with) go to Qt;
// anything else is refused.
#include <cstdio>
#include <cstring>

#include "app.h"

namespace {

constexpr char usage[] =
    "Aufruf: limbrik [Optionen]\n"
    "Limbrik Animator, ein Editor für Strichfiguren-Animationen: die Figur mit der Maus\n"
    "posieren, Bilder aufnehmen, als Schleife ansehen und als 24-Bit-Bitmaps exportieren.\n"
    "\n"
    "  -h, --help     diese Hilfe zeigen und beenden\n"
    "      --version  die Versionsnummer zeigen und beenden\n"
    "\n"
    "Dazu nimmt limbrik die Optionen von Qt an, etwa -platform, -display und -session.\n"
    "Mehr in der Handbuchseite: man limbrik\n";

}  // namespace

int answerCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs("limbrik " LIMBRIK_VERSION "\n", stdout);
      return 0;
    }
  }
  return -1;
}

int refuseArguments(int argc, char** argv) {
  if (argc < 2) return -1;
  const bool option = argv[1][0] == '-';
  std::fprintf(stderr, "limbrik: %s „%s“\nMehr mit: limbrik --help\n",
               option ? "unbekannte Option" : "unerwartetes Argument", argv[1]);
  return 2;
}
