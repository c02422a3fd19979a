#include "form/tables.h"
#include "media/embedded.h"
#include "media/preload.h"
#include "quiz/quiz.h"
#include "quiz/state.h"
#include "runtime/strings.h"
#include "start/program.h"

namespace lq {

// The main routine: start values, fonts and recordings, the window, the
// first question, then the event loop until the window has been closed.
void Main() {
  RightCount = 0;
  WrongCount = 0;
  AssignString(DisplayText);
  InstallFonts();
  PreloadRecordings();
  Rt().LoadForm("frm1", 2, 0, 0, Controls.data());
  NextQuestion();
  do {
    Rt().ProcessEvents();
  } while (Rt().TestKeepRunning() != 0);
}

// The runtime's way into its fatal-error service.
[[noreturn]] void FatalErrorEntry() {
  Rt().RaiseFatalError();
  __builtin_trap();  // never reached: the service does not return
}

ProgramImage TheProgram() {
  ProgramImage image;
  image.resources = EmbeddedResourceSet();
  image.event_table = StoredEventTable();
  image.handlers = kHandlers;
  image.control_names = StoredControlNames();
  image.main = &Main;
  image.fatal_error_entry = &FatalErrorEntry;
  return image;
}

}  // namespace lq
