#include "tests/qt/qt_fixture.h"

#include <utility>

namespace lq::testing {

namespace {

template <std::size_t I>
void Recorder() {
  const std::string name(kBindings[I].name);
  HandlerLog().push_back(name);
  if (ThrowingHandler() == name) Rt().RaiseCallError(kThrownStatus);
}

template <std::size_t... I>
constexpr std::array<Handler, sizeof...(I)> Recorders(std::index_sequence<I...>) {
  return {&Recorder<I>...};
}

const std::array<Handler, 31> kRecorders = Recorders(std::make_index_sequence<31>());

}  // namespace

std::vector<std::string>& HandlerLog() {
  static std::vector<std::string> log;
  return log;
}

std::string& ThrowingHandler() {
  static std::string name;
  return name;
}

ProgramImage RecordingImage(std::span<const std::uint8_t> resources) {
  ProgramImage image;
  image.resources = resources;
  image.event_table = StoredEventTable();
  image.handlers = kRecorders;
  image.control_names = StoredControlNames();
  return image;
}

std::string EmbeddedContent(const std::string& name) {
  std::string error;
  const auto set = ResourceSet::Open(EmbeddedResourceSet(), &error);
  EXPECT_TRUE(set) << error;
  const ResourceEntry* entry = set ? set->Find(name) : nullptr;
  EXPECT_NE(entry, nullptr) << name;
  std::vector<std::uint8_t> content;
  if (entry == nullptr || !ResourceSet::Content(*entry, content, &error)) return {};
  return {content.begin(), content.end()};
}

void Click(QWidget* widget) {
  const QPoint middle = widget->rect().center();
  Click(widget, middle, middle);
}

void Click(QWidget* widget, QPoint press_at, QPoint release_at) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(press_at),
                    QPointF(widget->mapToGlobal(press_at)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(release_at),
                      QPointF(widget->mapToGlobal(release_at)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

std::vector<QMessageBox*> OpenMessageBoxes() {
  std::vector<QMessageBox*> boxes;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
      boxes.push_back(box);
    }
  }
  return boxes;
}

std::unique_ptr<qt::QtRuntime> StartRuntime(const ProgramImage& image) {
  std::string error;
  auto checked = qt::CheckImage(image, &error);
  EXPECT_TRUE(checked) << error;
  if (!checked) return nullptr;
  auto runtime = std::make_unique<qt::QtRuntime>(image, std::move(*checked));
  SetRuntime(runtime.get());
  return runtime;
}

void QtRuntimeTest::SetUp() {
  HandlerLog().clear();
  ThrowingHandler().clear();
  image_ = RecordingImage();
  runtime_ = StartRuntime(image_);
  ASSERT_TRUE(runtime_);
  runtime_->LoadForm("frm1", 2, 0, 0, refs_.data());
  QCoreApplication::processEvents();
}

void QtRuntimeTest::TearDown() {
  for (QMessageBox* box : OpenMessageBoxes()) box->close();
  SetRuntime(nullptr);
  runtime_.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ControlRef QtRuntimeTest::Ref(const std::string& name) const {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (name == kNames[i]) return refs_[i];
  }
  ADD_FAILURE() << "no control " << name;
  return kNoControl;
}

}  // namespace lq::testing
