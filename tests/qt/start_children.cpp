#include "tests/qt/start_children.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "runtime/qt/start.h"
#include "start/program.h"
#include "tests/core/resource_fixture.h"
#include "tests/qt/qt_fixture.h"

namespace lq::testing {

namespace {

std::array<ControlRef, kControlCount> g_refs{};
std::vector<std::uint8_t> g_set;

void LoadTheForm() { Rt().LoadForm("frm1", 2, 0, 0, g_refs.data()); }

void MainThatCloses() {
  LoadTheForm();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) w->close();
  }
  do {
    Rt().ProcessEvents();
  } while (Rt().TestKeepRunning() != 0);
}

void MainThatThrows() { Rt().RaiseCallError(-3); }

void FatalEntry() { Rt().RaiseFatalError(); }

// A set that holds only a form definition: the quiz's own, changed.
std::span<const std::uint8_t> SetWithForm(std::string (*change)(std::string)) {
  const std::string form = change(EmbeddedContent(":{frm1"));
  g_set = BuildFixtureSet({{":{frm1", Bytes(form), 0}});
  return g_set;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string Malformed(std::string form) {
  // Records only, the form first; then an unknown key on line 3.
  std::string records, line;
  std::istringstream in(form);
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') records += line + "\n";
  }
  const auto second = records.find('\n', records.find('\n') + 1);
  return records.substr(0, second + 1) + "label lbl99 x=0 y=0 w=1 h=1 colour=0x1\n" +
         records.substr(second + 1);
}

std::string WithoutLbl32(std::string form) {
  const auto at = form.find("label lbl32 ");
  const auto end = form.find('\n', at);
  return form.erase(at, end - at + 1);
}

std::string Cmd2AsLabel(std::string form) {
  return Replace(std::move(form), "button cmd2 ", "label cmd2 ");
}

// The program's window once it shows its first letter, or nullptr.
QWidget* WindowWithALetter() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    const auto* big = w->findChild<QLabel*>("lbl55");
    if (w->objectName() != "frm1" || !w->isVisible() || big == nullptr) continue;
    const QString text = big->text();
    if (text.size() == 1 && text[0] >= QChar('A') && text[0] <= QChar('[')) return w;
  }
  return nullptr;
}

// Polls until the window shows a letter glyph, then shoots and closes it.
void ShootAndClose() {
  QWidget* w = WindowWithALetter();
  if (w == nullptr) {
    QTimer::singleShot(100, &ShootAndClose);
    return;
  }
  QDir dir(QCoreApplication::applicationDirPath() + "/../screenshots");
  dir.mkpath(".");
  w->grab().save(dir.filePath("program.png"));
  w->close();
}

void ArmShot() { QTimer::singleShot(100, &ShootAndClose); }

void ShootFaces() {
  QWidget* w = WindowWithALetter();
  if (w == nullptr) {
    QTimer::singleShot(50, &ShootFaces);
    return;
  }
  // A limit on file sizes that the parent set for the start ends here.
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  auto* big = w->findChild<QLabel*>("lbl55");
  auto* cmd1 = w->findChild<QPushButton*>("cmd1");
  const QString dir = qEnvironmentVariable("LQ_SHOT_DIR");
  for (int face = 0; face < 2; ++face) {
    if (face == 1) cmd1->click();  // the program's own font switch
    for (const char* code = kShotCodes; *code != '\0'; ++code) {
      big->setText(QString(QChar(*code)));
      big->grab().save(dir + "/" + big->font().family() + "-" +
                       QString::number(static_cast<int>(*code)) + "-" +
                       QString::number(big->font().pixelSize()) + ".png");
    }
  }
  w->close();
}

void ArmFaceShots() { QTimer::singleShot(50, &ShootFaces); }

// The calling thread's CPU time so far, in microseconds.
long long ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<long long>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

bool g_spin = false;  // kChildSpins: a 0 ms timer keeps the loop turning

// Once the first letter shows: over kIdleWindowMs, the main thread's CPU
// time and the turns of its event loop (each time the loop goes to wait
// for events or wakes up), read on the main thread itself.
void MeasureIdle() {
  QWidget* w = WindowWithALetter();
  if (w == nullptr) {
    QTimer::singleShot(50, &MeasureIdle);
    return;
  }
  struct Measure {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    long long cpu_us = ThreadCpuUs();
    long long turns = 0;
  };
  const auto m = std::make_shared<Measure>();
  QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance();
  QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, w, [m] { ++m->turns; });
  QObject::connect(loop, &QAbstractEventDispatcher::awake, w, [m] { ++m->turns; });
  QTimer* spinner = nullptr;
  if (g_spin) {
    spinner = new QTimer(w);
    spinner->start(0);
  }
  QTimer::singleShot(kIdleWindowMs, Qt::PreciseTimer, w, [w, m, spinner] {
    const long long turns = m->turns;
    const long long cpu_ms = (ThreadCpuUs() - m->cpu_us) / 1000;
    const long long wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - m->wall).count();
    if (spinner != nullptr) spinner->stop();
    std::printf("cpu %lld wall %lld turns %lld\n", cpu_ms, wall_ms, turns);
    std::fflush(stdout);
    w->close();
  });
}

void ArmIdle() { QTimer::singleShot(50, &MeasureIdle); }

// Prints "height <pixels>" each time the window's height changes.
class HeightLog : public QObject {
 public:
  explicit HeightLog(QWidget* window) : QObject(window), last_(window->height()) {
    window->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) {
      const int height = static_cast<QResizeEvent*>(event)->size().height();
      if (height != last_) {
        last_ = height;
        std::printf("height %d\n", height);
        std::fflush(stdout);
      }
    }
    return false;
  }

 private:
  int last_;
};

void SayReady() {
  QWidget* w = WindowWithALetter();
  if (w == nullptr) {
    QTimer::singleShot(50, &SayReady);
    return;
  }
  new HeightLog(w);
  std::printf("ready %d\n", QGuiApplication::styleHints()->mouseDoubleClickInterval());
  std::fflush(stdout);
}

void ArmReady() { QTimer::singleShot(50, &SayReady); }

// The fonts folder from its hex form, byte for byte.
void FontsFolderFromHex() {
  const QByteArray hex = qgetenv("LQ_FONTS_DIR_HEX");
  if (hex.isEmpty()) return;
  const QByteArray path = QByteArray::fromHex(hex);
  setenv("LETTER_QUIZ_FONTS_DIR", path.constData(), 1);
}

}  // namespace

int RunChildMode(int argc, char** argv) {
  const std::string mode = argv[1];
  ProgramImage image = RecordingImage();
  image.main = &LoadTheForm;
  image.fatal_error_entry = &FatalEntry;
  if (mode == kChildProgram) return qt::Start(argc, argv, TheProgram());
  if (mode == kChildProgramShot) {
    qAddPreRoutine(&ArmShot);
    return qt::Start(argc, argv, TheProgram());
  }
  if (mode == kChildFaceShots) {
    FontsFolderFromHex();
    qAddPreRoutine(&ArmFaceShots);
    return qt::Start(argc, argv, TheProgram());
  }
  if (mode == kChildProgramReady) {
    qAddPreRoutine(&ArmReady);
    return qt::Start(argc, argv, TheProgram());
  }
  if (mode == kChildIdle || mode == kChildSpins) {
    g_spin = mode == kChildSpins;
    qAddPreRoutine(&ArmIdle);
    return qt::Start(argc, argv, TheProgram());
  }
  if (mode == kChildCloses) {
    image.main = &MainThatCloses;
  } else if (mode == kChildThrows) {
    image.main = &MainThatThrows;
  } else if (mode == kChildMalformed) {
    image.resources = SetWithForm(&Malformed);
  } else if (mode == kChildMissing) {
    image.resources = SetWithForm(&WithoutLbl32);
  } else if (mode == kChildWrongKind) {
    image.resources = SetWithForm(&Cmd2AsLabel);
  } else {
    return -1;
  }
  return qt::Start(argc, argv, image);
}

}  // namespace lq::testing
