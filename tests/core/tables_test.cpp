// The letter table's rules, and the tables handed to the runtime.
#include <set>

#include "quiz_fixture.h"
#include "runtime/event_table.h"
#include "form/tables.h"

namespace lq::test {
namespace {

TEST(LetterTable, GlyphsAreTheCodesOfTheHebrewLettersInUnicodeOrder) {
  std::set<int> glyphs;
  for (const Letter& row : Letters) glyphs.insert(row.Glyph);
  ASSERT_EQ(glyphs.size(), 27u);
  EXPECT_EQ(*glyphs.begin(), 0x41);
  EXPECT_EQ(*glyphs.rbegin(), 0x5B);
  // The 22 letters ascend; each final form stands just before its base.
  for (int pick = 2; pick <= 22; ++pick) {
    EXPECT_LT(LetterByPick(pick - 1).Glyph, LetterByPick(pick).Glyph);
  }
  const std::pair<int, int> finals[] = {{23, 11}, {24, 13}, {25, 14}, {26, 17}, {27, 18}};
  for (auto [final_pick, base_pick] : finals) {
    EXPECT_EQ(LetterByPick(final_pick).Glyph + 1, LetterByPick(base_pick).Glyph);
    EXPECT_STREQ(LetterByPick(final_pick).Value, LetterByPick(base_pick).Value);
  }
  EXPECT_EQ(LetterByPick(22).Glyph, '[');
}

TEST(LetterTable, KeysAreTheCaptionsWithoutSlashOrBlankAndUnique) {
  std::set<std::string> keys;
  for (const Letter& row : Letters) {
    std::string stripped;
    for (const char16_t* c = row.NameCaption; *c; ++c) {
      if (*c != u'/' && *c != u' ') stripped.push_back(static_cast<char>(*c));
    }
    EXPECT_EQ(stripped, row.Key);
    EXPECT_EQ(row.AnswerLabelNumber, row.Pick + 1);
    keys.insert(row.Key);
  }
  EXPECT_EQ(keys.size(), 27u);
}

TEST(LetterTable, OrdersVisitEveryRowOnce) {
  for (const auto* order : {&NameModeOrder, &ValueModeOrder}) {
    EXPECT_EQ(std::set<std::int32_t>(order->begin(), order->end()).size(), 27u);
  }
  // In name mode each final form comes right after its base letter.
  for (std::size_t i = 0; i < NameModeOrder.size(); ++i) {
    if (NameModeOrder[i] >= 23) {
      const Letter& final_form = LetterByPick(NameModeOrder[i]);
      const Letter& before = LetterByPick(NameModeOrder[i - 1]);
      EXPECT_EQ(final_form.Glyph + 1, before.Glyph) << final_form.Key;
    }
  }
  std::set<std::string> loads(RecordingLoadOrder.begin(), RecordingLoadOrder.end());
  EXPECT_EQ(loads.size(), 27u);
  for (const Letter& row : Letters) EXPECT_TRUE(loads.contains(row.Key));
}

TEST(StoredTables, ControlNameListOrdersTheReferences) {
  const auto bytes = StoredControlNames();
  EXPECT_EQ(bytes.size(), 211u);
  const auto names = ParseControlNames(bytes, nullptr);
  ASSERT_TRUE(names);
  ASSERT_EQ(names->size(), 37u);
  EXPECT_EQ((*names)[0], "frm1");
  EXPECT_EQ((*names)[24], "lbl25");
  EXPECT_EQ((*names)[25], "lbl55");
  EXPECT_EQ((*names)[26], "lbl26");
  EXPECT_EQ((*names)[31], "pro1");
  EXPECT_EQ((*names)[32], "lbl1");
  for (const Letter& row : Letters) {
    EXPECT_EQ((*names)[AnswerLabelRef(row.AnswerLabelNumber)],
              Label(row.AnswerLabelNumber));
  }
}

TEST(StoredTables, EventTableIsSortedByBytesWithEmptySecondTexts) {
  const auto bytes = StoredEventTable();
  ASSERT_EQ(bytes.size(), 749u);
  std::string error;
  const auto table = EventTable::Parse(bytes, kHandlers.size(), &error);
  ASSERT_TRUE(table) << error;
  const auto& names = table->names();
  ASSERT_EQ(names.size(), 31u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  auto index = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  EXPECT_LT(index("lbl28_Click"), index("lbl2_Click"));
  EXPECT_LT(index("lbl55_Click"), index("lbl5_Click"));
  EXPECT_LT(index("cmd1_Click"), index("cmd1_LostFocus"));
  EXPECT_EQ(names[0], "cmd1_Click");
  EXPECT_EQ(names[30], "lbl9_Click");
  // Every second-text offset points at the one empty text at 376.
  for (int i = 0; i < 31; ++i) {
    const std::size_t at = 128 + 4 * i;
    EXPECT_EQ(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24, 376);
  }
  for (int i = 376; i < 384; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(table->Find("lbl5_Click") >= 0, true);
  EXPECT_EQ(table->Find("lbl5_click"), -1);
  EXPECT_EQ(table->Find("frm1_Click"), -1);
  EXPECT_EQ(table->Find("pro1_Click"), -1);
  EXPECT_EQ(table->Find("cmd2_LostFocus"), -1);
}

TEST(StoredTables, EventTableRejectsTablesThatPointOutside) {
  std::vector<std::uint8_t> bytes(StoredEventTable().begin(), StoredEventTable().end());
  std::string error;
  auto broken = bytes;
  broken[4] = 0xFF, broken[5] = 0xFF;  // first name offset past the end
  EXPECT_FALSE(EventTable::Parse(broken, 31, &error));
  EXPECT_NE(error.find("entry 0"), std::string::npos);
  EXPECT_FALSE(EventTable::Parse(bytes, 30, &error));  // a handler out of range
  EXPECT_FALSE(EventTable::Parse(std::span(bytes).first(100), 31, &error));
  EXPECT_FALSE(EventTable::Parse(std::span(bytes).first(3), 31, &error));
}

using Binding = QuizTest;

TEST_F(Binding, EachAnswerHandlerIsBoundUnderItsOwnLabelsName) {
  for (const Letter& row : Letters) {
    ShowLetter(row.Key);
    rt.ClearLog();
    rt.draws = {0};
    ASSERT_TRUE(rt.Fire(Label(row.AnswerLabelNumber) + "_Click"));
    ASSERT_FALSE(rt.ControlLog().empty());
    EXPECT_EQ(rt.ControlLog()[0],
              "SetBackColor " + Label(row.AnswerLabelNumber) + " 0x80000000");
  }
}

TEST_F(Binding, OtherEventsReachNoCodeAndLostFocusDoesNothing) {
  for (const char* name : {"pro1_Click", "lbl1_Click", "lbl29_Click", "frm1_Click",
                           "frm1_Load", "cmd2_LostFocus", "lbl5_DblClick", "lbl_Click"}) {
    EXPECT_FALSE(rt.Fire(name)) << name;
  }
  EXPECT_TRUE(rt.Fire("cmd1_LostFocus"));
  EXPECT_TRUE(rt.log().empty());
  EXPECT_TRUE(rt.Fire("lbl55_Click"));
  EXPECT_EQ(rt.log()[0], "GetExtent frm1");
}

TEST(Strings, ServicesBehaveAsTheProgramRelies) {
  EXPECT_EQ(CompareStrings("mem", "mem"), 0);
  EXPECT_NE(CompareStrings("mem", "memsofit"), 0);
  EXPECT_NE(CompareStrings(std::string("a\0b", 3), std::string("a\0c", 3)), 0);
  EXPECT_EQ(FormatInt(-12), "-12");
  EXPECT_EQ(FormatInt(0), "0");
  EXPECT_EQ(MakeTempBstr("\xE0Z"), (std::u16string{0x00E0, u'Z'}));
  EXPECT_EQ(TestVariantsEqual(u"PC Frank", MakeVariantFromString("PC Frank")), kTrue);
  EXPECT_EQ(TestVariantsEqual(u"PC Frank ", MakeVariantFromString("PC Frank")), kFalse);
}

}  // namespace
}  // namespace lq::test
