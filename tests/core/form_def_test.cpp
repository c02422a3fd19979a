// The form definition parser, and the quiz window's own definition.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "media/embedded.h"
#include "runtime/form_def.h"
#include "runtime/resource_set.h"

namespace lq {
namespace {

TEST(FormDefTest, ParsesEveryKeyWithDefaultsCommentsAndEscapes) {
  const std::string text =
      "# a comment, then a blank line\r\n"
      "\r\n"
      "form win title=\"T\\\"x\\\\y\\xE9\" width=200 extent=1500.0 back=0x00FF00\r\n"
      "  label a x=0 y=0 w=200 h=50 caption=\"a b\" font=\"Face\" size=12.5\t"
      "fore=0x000000FF back=0x80000000 style=7 frame=2 visible=0\n"
      "label plain x=10 y=60 w=20 h=20\n"
      "button b x=0 y=80 w=50 h=20 caption=\"\" font=\"\" size=9\n"
      "progress p x=0 y=80 w=200 h=20 min=-5 max=5 value=-7.25 text=\"0 %\" "
      "visible=1\n"
      "    # an indented comment\n";
  std::string error;
  const auto form = ParseFormDef(text, &error);
  ASSERT_TRUE(form) << error;
  EXPECT_EQ(form->name, "win");
  EXPECT_EQ(form->title, "T\"x\\y\xE9");
  EXPECT_EQ(form->width, 200);
  EXPECT_EQ(form->extent, 1500.0f);
  EXPECT_EQ(form->height(), 100);
  EXPECT_EQ(form->back, 0x00FF00u);
  ASSERT_EQ(form->controls.size(), 4u);

  const ControlDef& a = form->controls[0];
  EXPECT_EQ(a.kind, ControlKind::kLabel);
  EXPECT_EQ(a.line, 4);
  EXPECT_EQ(a.caption, "a b");
  EXPECT_EQ(a.font_face, "Face");
  EXPECT_EQ(a.font_size, 12.5f);
  EXPECT_EQ(a.fore, 0xFFu);
  EXPECT_EQ(a.back, 0x80000000u);
  EXPECT_EQ(a.style, kStyleSunken);
  EXPECT_EQ(a.frame, 2);
  EXPECT_FALSE(a.visible);

  const ControlDef* plain = form->Find("plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->x, 10);
  EXPECT_EQ(plain->y, 60);
  EXPECT_EQ(plain->caption, "");
  EXPECT_EQ(plain->fore, 0x80000008u);
  EXPECT_EQ(plain->back, 0x8000000Fu);
  EXPECT_EQ(plain->style, kStyleNoFrame);
  EXPECT_EQ(plain->frame, 1);
  EXPECT_TRUE(plain->visible);

  EXPECT_EQ(form->controls[2].kind, ControlKind::kButton);
  const ControlDef& p = form->controls[3];
  EXPECT_EQ(p.kind, ControlKind::kProgress);
  EXPECT_EQ(p.minimum, -5);
  EXPECT_EQ(p.maximum, 5);
  EXPECT_EQ(p.value, -7.25f);
  EXPECT_EQ(p.text, "0 %");
  EXPECT_EQ(form->Find("nothing"), nullptr);
}

struct BadCase {
  const char* what;
  std::string body;  // follows the good form record on line 2
  int line;
};

class FormDefRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(FormDefRejects, NamesTheLine) {
  const std::string text =
      "# window\nform f title=\"t\" width=100 extent=1500\n" + GetParam().body;
  std::string error;
  EXPECT_FALSE(ParseFormDef(text, &error));
  EXPECT_EQ(error.rfind("line " + std::to_string(GetParam().line) + ": ", 0),
            0u)
      << error;
}

const std::string kOk = "label ok x=0 y=0 w=10 h=10\n";

INSTANTIATE_TEST_SUITE_P(
    Malformed, FormDefRejects,
    ::testing::Values(
        BadCase{"unknown kind", kOk + "box b x=0 y=0 w=1 h=1\n", 4},
        BadCase{"unknown key", kOk + "label b x=0 y=0 w=1 h=1 colour=0x1\n", 4},
        BadCase{"key of another kind", "label b x=0 y=0 w=1 h=1 min=0\n", 3},
        BadCase{"caption on a progress", "progress p x=0 y=0 w=9 h=9 caption=\"\"\n", 3},
        BadCase{"key given twice", "label b x=0 x=1 y=0 w=1 h=1\n", 3},
        BadCase{"duplicate name", kOk + kOk, 4},
        BadCase{"control named like the form", "label f x=0 y=0 w=1 h=1\n", 3},
        BadCase{"second form", kOk + "form g title=\"t\" width=9 extent=150\n", 4},
        BadCase{"not key=value", "label b x 0 y=0 w=1 h=1\n", 3},
        BadCase{"empty value", "label b x= y=0 w=1 h=1\n", 3},
        BadCase{"integer with a letter", "label b x=1O y=0 w=1 h=1\n", 3},
        BadCase{"integer with a fraction", "label b x=1.5 y=0 w=1 h=1\n", 3},
        BadCase{"integer out of range", "label b x=99999999999 y=0 w=1 h=1\n", 3},
        BadCase{"number with exponent", "label b x=0 y=0 w=1 h=1 size=1e2\n", 3},
        BadCase{"number with bare point", "label b x=0 y=0 w=1 h=1 size=2.\n", 3},
        BadCase{"font size zero", "label b x=0 y=0 w=1 h=1 size=0\n", 3},
        BadCase{"colour without 0x", "label b x=0 y=0 w=1 h=1 fore=FF\n", 3},
        BadCase{"colour with bad digit", "label b x=0 y=0 w=1 h=1 fore=0xFG\n", 3},
        BadCase{"colour too long", "label b x=0 y=0 w=1 h=1 fore=0x800000000\n", 3},
        BadCase{"system colour past the table", "label b x=0 y=0 w=1 h=1 back=0x8000001F\n", 3},
        BadCase{"flag not 0 or 1", "label b x=0 y=0 w=1 h=1 visible=-1\n", 3},
        BadCase{"unquoted text", "label b x=0 y=0 w=1 h=1 caption=abc\n", 3},
        BadCase{"quoted number", "label b x=\"0\" y=0 w=1 h=1\n", 3},
        BadCase{"open quote", "label b x=0 y=0 w=1 h=1 caption=\"abc\n", 3},
        BadCase{"bad escape", "label b x=0 y=0 w=1 h=1 caption=\"a\\qb\"\n", 3},
        BadCase{"short hex escape", "label b x=0 y=0 w=1 h=1 caption=\"\\x4\"\n", 3},
        BadCase{"raw tab in a text", "label b x=0 y=0 w=1 h=1 caption=\"a\tb\"\n", 3},
        BadCase{"text glued to a field", "label b x=0 y=0 w=1 h=1 caption=\"a\"y=0\n", 3},
        BadCase{"style outside 0, 6, 7", "label b x=0 y=0 w=1 h=1 style=5\n", 3},
        BadCase{"negative frame", "label b x=0 y=0 w=1 h=1 frame=-1\n", 3},
        BadCase{"missing height", kOk + "label b x=0 y=0 w=1\n", 4},
        BadCase{"no area", "label b x=0 y=0 w=0 h=1\n", 3},
        BadCase{"past the right edge", "label b x=91 y=0 w=10 h=1\n", 3},
        BadCase{"past the bottom edge", "\nlabel b x=0 y=95 w=10 h=6\n", 4},
        BadCase{"left of the window", "label b x=-1 y=0 w=10 h=1\n", 3},
        BadCase{"progress range empty", "progress p x=0 y=0 w=9 h=9 min=5 max=5\n", 3},
        BadCase{"name starting with a digit", "label 2b x=0 y=0 w=1 h=1\n", 3},
        BadCase{"no name", "label\n", 3}),
    [](const ::testing::TestParamInfo<BadCase>& param_info) {
      std::string name;
      for (char c : std::string(param_info.param.what)) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

TEST(FormDefTest, RejectsBadFormRecords) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"", 1},
      {"# only a comment\n\n", 2},
      {"label a x=0 y=0 w=1 h=1\nform f title=\"t\" width=9 extent=150\n", 1},
      {"\nform f width=9 extent=150\n", 2},
      {"form f title=\"t\" extent=150\n", 1},
      {"form f title=\"t\" width=9\n", 1},
      {"form f title=\"t\" width=0 extent=150\n", 1},
      {"form f title=\"t\" width=9 extent=-150\n", 1},
      {"form f title=\"t\" width=9 extent=5\n", 1},  // under one pixel
      {"form f title=t width=9 extent=150\n", 1},
  };
  for (const auto& [text, line] : cases) {
    std::string error;
    EXPECT_FALSE(ParseFormDef(text, &error)) << text;
    EXPECT_EQ(error.rfind("line " + std::to_string(line) + ": ", 0), 0u)
        << text << " -> " << error;
  }
}

// ---- a definition against a control-name list ----------------------------

TEST(FormDefTest, ChecksTheControlsAListNames) {
  std::string error;
  const auto form = ParseFormDef(
      "form frm1 title=\"t\" width=200 extent=1500\n"
      "label lbl2 x=0 y=0 w=10 h=10\n"
      "button cmd1 x=20 y=0 w=10 h=10\n"
      "progress pro1 x=40 y=0 w=10 h=10\n"
      "button lbl3 x=60 y=0 w=10 h=10\n"
      "label lbl9 x=80 y=0 w=10 h=10\n",  // named by no list: allowed
      &error);
  ASSERT_TRUE(form) << error;
  const struct {
    std::vector<std::string> names;
    std::string fault;  // empty: accepted
  } cases[] = {
      {{"frm1", "lbl2", "cmd1", "pro1"}, ""},
      {{"lbl2", "pro1", "frm1"}, ""},  // the form need not come first
      {{}, ""},
      {{"frm1", "lbl2", "cmd1", "lbl2"}, "the control name lbl2 is listed twice"},
      {{"frm1", "frm1"}, "the control name frm1 is listed twice"},
      {{"frm1", "txt1"}, "the control name txt1 names no control kind"},
      {{"frm1", "Lbl2"}, "the control name Lbl2 names no control kind"},
      {{"frm2", "lbl2"}, "the form definition has no form frm2"},
      {{"frm1", "frm2"}, "the form definition has no form frm2"},
      {{"frm1", "lbl4"}, "the form definition has no label lbl4"},
      {{"frm1", "cmd2"}, "the form definition has no button cmd2"},
      {{"frm1", "pro2"}, "the form definition has no progress control pro2"},
      {{"frm1", "lbl3"}, "lbl3 is a button, not a label"},
      {{"frm1", "cmd1", "lbl2", "pro1", "lbl3", "lbl4"},  // the first fault
       "lbl3 is a button, not a label"},
  };
  for (const auto& c : cases) {
    std::string names;
    for (const std::string& n : c.names) names += n + " ";
    SCOPED_TRACE(names);
    error.clear();
    EXPECT_EQ(CheckFormControls(*form, c.names, &error), c.fault.empty());
    EXPECT_EQ(error, c.fault);
    EXPECT_EQ(CheckFormControls(*form, c.names, nullptr), c.fault.empty());
  }
}

// ---- the quiz window's definition, as the build embeds it ----------------

FormDef EmbeddedForm() {
  std::string error;
  const auto set = ResourceSet::Open(EmbeddedResourceSet(), &error);
  EXPECT_TRUE(set) << error;
  const ResourceEntry* entry = set ? set->Find(":{frm1") : nullptr;
  EXPECT_NE(entry, nullptr);
  std::vector<std::uint8_t> content;
  if (entry == nullptr || !ResourceSet::Content(*entry, content, &error)) {
    ADD_FAILURE() << error;
    return {};
  }
  const auto form = ParseFormDef(
      std::string_view(reinterpret_cast<const char*>(content.data()),
                       content.size()),
      &error);
  EXPECT_TRUE(form) << error;
  return form.value_or(FormDef{});
}

// Answer label, start caption and value, in pick order (lbl2 .. lbl28).
struct Answer {
  const char* label;
  const char* name;
  int value;
};
constexpr Answer kAnswers[27] = {
    {"lbl2", "alef", 1},        {"lbl3", "bet/vet", 2},    {"lbl4", "gimel", 3},
    {"lbl5", "dalet", 4},       {"lbl6", "hey", 5},        {"lbl7", "vav", 6},
    {"lbl8", "zayin", 7},       {"lbl9", "chet", 8},       {"lbl10", "tet", 9},
    {"lbl11", "yud", 10},       {"lbl12", "kaf/haf", 20},  {"lbl13", "lamed", 30},
    {"lbl14", "mem", 40},       {"lbl15", "nun", 50},      {"lbl16", "samech", 60},
    {"lbl17", "ayin", 70},      {"lbl18", "pey/fey", 80},  {"lbl19", "tzadik", 90},
    {"lbl20", "quf", 100},      {"lbl21", "resh", 200},    {"lbl22", "shin/sin", 300},
    {"lbl23", "taf", 400},      {"lbl24", "kaf sofit", 20}, {"lbl25", "mem sofit", 40},
    {"lbl26", "nun sofit", 50}, {"lbl27", "pey sofit", 80}, {"lbl28", "tzadik sofit", 90},
};

TEST(QuizFormTest, HasTheStartStateTheQuizReliesOn) {
  const FormDef form = EmbeddedForm();
  EXPECT_EQ(form.name, "frm1");
  EXPECT_EQ(form.title, "Hebrew Letters");
  EXPECT_EQ(form.extent, 11850.0f);
  EXPECT_EQ(form.height(), 790);
  EXPECT_EQ(PixelsForExtent(11295.0f), 753);
  ASSERT_EQ(form.controls.size(), 36u);

  for (const Answer& a : kAnswers) {
    const ControlDef* c = form.Find(a.label);
    ASSERT_NE(c, nullptr) << a.label;
    EXPECT_EQ(c->kind, ControlKind::kLabel) << a.label;
    EXPECT_EQ(c->caption, a.name) << a.label;
    EXPECT_TRUE(c->visible) << a.label;
  }
  const ControlDef* big = form.Find("lbl55");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->kind, ControlKind::kLabel);
  EXPECT_EQ(big->font_face, "PCFrank");
  EXPECT_EQ(big->font_size, 190.0f);
  for (const auto& [name, caption] :
       std::map<std::string, std::string>{{"cmd1", "PC Frank"}, {"cmd2", "ALPHA"}}) {
    const ControlDef* c = form.Find(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->kind, ControlKind::kButton);
    EXPECT_EQ(c->caption, caption);
    EXPECT_TRUE(c->visible);
  }
  for (const char* name : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    const ControlDef* c = form.Find(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->kind, ControlKind::kLabel) << name;
    EXPECT_FALSE(c->visible) << name;
    EXPECT_FALSE(c->caption.empty()) << name;
  }
  const ControlDef* bar = form.Find("pro1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->kind, ControlKind::kProgress);
  EXPECT_TRUE(bar->visible);
}

TEST(QuizFormTest, CompactViewCutsOffOnlyTheProgressBar) {
  const FormDef form = EmbeddedForm();
  const int compact = PixelsForExtent(11295.0f);
  for (const ControlDef& c : form.controls) {
    if (c.name == "pro1") {
      EXPECT_GE(c.y, compact) << "pro1 must lie in the strip the compact view cuts";
    } else {
      EXPECT_LE(c.y + c.height, compact) << c.name << " is cut by the compact view";
    }
  }
}

TEST(QuizFormTest, NoTwoControlsOverlap) {
  const FormDef form = EmbeddedForm();
  for (std::size_t i = 0; i < form.controls.size(); ++i) {
    for (std::size_t j = i + 1; j < form.controls.size(); ++j) {
      const ControlDef& a = form.controls[i];
      const ControlDef& b = form.controls[j];
      const bool overlap = a.x < b.x + b.width && b.x < a.x + a.width &&
                           a.y < b.y + b.height && b.y < a.y + a.height;
      EXPECT_FALSE(overlap) << a.name << " overlaps " << b.name;
    }
  }
}

// Rows by value: ones, tens, hundreds each on one line in ascending value,
// every final form in the column of its base letter, on a row of its own.
TEST(QuizFormTest, AnswersStandInRowsByValue) {
  const FormDef form = EmbeddedForm();
  auto at = [&](const char* name) {
    const ControlDef* c = form.Find(name);
    EXPECT_NE(c, nullptr) << name;
    return c != nullptr ? *c : ControlDef{};
  };
  auto row_of = [](int value) { return value < 10 ? 0 : value < 100 ? 1 : 2; };
  for (int i = 0; i + 1 < 22; ++i) {  // the 22 letters, in value order
    const ControlDef a = at(kAnswers[i].label), b = at(kAnswers[i + 1].label);
    if (row_of(kAnswers[i].value) == row_of(kAnswers[i + 1].value)) {
      EXPECT_EQ(a.y, b.y) << a.name << " and " << b.name;
      EXPECT_LT(a.x + a.width, b.x) << a.name << " before " << b.name;
    } else {
      EXPECT_LT(a.y + a.height, b.y) << b.name << " starts a lower row";
    }
  }
  const std::map<std::string, std::string> finals = {{"lbl24", "lbl12"},
                                                     {"lbl25", "lbl14"},
                                                     {"lbl26", "lbl15"},
                                                     {"lbl27", "lbl18"},
                                                     {"lbl28", "lbl19"}};
  const int finals_y = at("lbl24").y;
  for (const auto& [final_form, base] : finals) {
    const ControlDef f = at(final_form.c_str()), b = at(base.c_str());
    EXPECT_EQ(f.x, b.x) << final_form << " stands under " << base;
    EXPECT_EQ(f.y, finals_y) << final_form;
    EXPECT_GT(f.y, b.y + b.height - 1) << final_form;
    EXPECT_LT(f.y + f.height, at("lbl20").y) << final_form << " above the hundreds";
  }
}

}  // namespace
}  // namespace lq
