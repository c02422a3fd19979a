// The window, built from the form's definition: LoadForm checks the
// definition, registers the program's faces (fonts.cpp), builds the window
// and its controls, hands out the references and shows the window.
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/form_def.h"
#include "runtime/qt/colours.h"
#include "runtime/qt/fonts.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/widgets.h"

namespace lq::qt {

namespace {

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtRuntime::LoadForm(const std::string& form_name, int, int, int,
                         ControlRef* refs) {
  if (refs == nullptr) Fatal("LoadForm has no references to fill");
  if (window_ != nullptr || closed_) Fatal("the form " + form_name + " is loaded twice");
  const std::string resource = ":{" + form_name;
  const ResourceEntry* entry = image_.resources.Find(resource);
  if (entry == nullptr) Fatal("the program has no form definition " + resource);
  std::vector<std::uint8_t> content;
  std::string error;
  if (!ResourceSet::Content(*entry, content, &error)) {
    Fatal("cannot unpack the form definition " + resource + ": " + error);
  }
  const auto form = ParseFormDef(
      std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
      &error);
  if (!form) Fatal("the form definition " + resource + " is malformed: " + error);
  if (form->name != form_name) {
    Fatal("the form definition " + resource + " defines " + form->name +
          ", not " + form_name);
  }
  // Every listed name must be defined, once, with the kind its prefix names
  // (the same check refuses such a definition when the program is built).
  if (!CheckFormControls(*form, image_.control_names, &error)) {
    Fatal("the form definition " + resource + " cannot be built: " + error);
  }

  RegisterEmbeddedFonts();
  Build(*form);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    refs[i] = kFirstRef + static_cast<ControlRef>(i);
  }
  window_->show();
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    native_window_ = static_cast<std::uintptr_t>(window_->winId());
  }
  // The window paints before anything else of the start, such as opening
  // the sound output for the first recording.
  WaitForFirstPaint();
}

void QtRuntime::Build(const FormDef& form) {
  auto* window = new FormWindow([this] { OnWindowClosed(); });
  window_ = window;
  window->setObjectName(QString::fromStdString(form.name));
  window->setWindowTitle(Latin1(form.title));
  QPalette palette = ClassicPalette();
  QColor back;
  if (ToQColor(form.back, back)) palette.setColor(QPalette::Window, back);
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  form_width_ = form.width;
  extent_ = form.extent;
  window->setFixedSize(form.width, form.height());

  std::vector<std::unique_ptr<Control>> built;
  for (const ControlDef& def : form.controls) {
    auto c = std::make_unique<Control>();
    c->kind = def.kind;
    c->name = def.name;
    switch (def.kind) {
      case ControlKind::kLabel: {
        auto* label = new QLabel(window);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setText(Latin1(def.caption));
        label->setAutoFillBackground(true);
        QColor colour;
        if (ToQColor(def.fore, colour)) SetRole(label, QPalette::WindowText, colour);
        if (ToQColor(def.back, colour)) SetRole(label, QPalette::Window, colour);
        c->style = def.style;
        c->frame = def.frame;
        ApplyFrame(label, def.style, def.frame);
        c->widget = label;
        break;
      }
      case ControlKind::kButton: {
        auto* button = new QPushButton(Latin1(def.caption), window);
        button->setAutoDefault(false);
        const std::string event = def.name + "_Click";
        connect(button, &QPushButton::clicked, this, [this, event] { Dispatch(event); });
        c->widget = button;
        break;
      }
      case ControlKind::kProgress: {
        auto* bar = new ScoreBar(window);
        c->minimum = def.minimum;
        c->maximum = def.maximum;
        c->value = def.value;
        bar->setRange(def.minimum, def.maximum);
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
        bar->SetText(Latin1(def.text));
        c->widget = bar;
        break;
      }
      case ControlKind::kForm:
        break;  // the parser makes no second form
    }
    QFont font = window->font();
    if (!def.font_face.empty()) font.setFamily(Latin1(def.font_face));
    font.setPixelSize(PixelsForPoints(def.font_size));
    c->widget->setFont(font);
    c->widget->setObjectName(QString::fromStdString(def.name));
    c->widget->setGeometry(def.x, def.y, def.width, def.height);
    c->widget->setVisible(def.visible);
    built.push_back(std::move(c));
  }
  for (auto& c : built) {
    if (c->kind == ControlKind::kProgress) c->ShowValue();
  }

  // References in name-list order; the form is one of them.
  for (const std::string& name : image_.control_names) {
    if (name == form.name) {
      auto c = std::make_unique<Control>();
      c->kind = ControlKind::kForm;
      c->name = name;
      c->widget = window;
      controls_.push_back(std::move(c));
      continue;
    }
    for (auto& c : built) {
      if (c && c->name == name) {
        controls_.push_back(std::move(c));
        break;
      }
    }
  }
  for (auto& c : built) {
    if (c) unlisted_.push_back(std::move(c));
  }
}

}  // namespace lq::qt
