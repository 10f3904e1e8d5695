// Dialog definitions read from a context's variables: the fields of control definitions, defaults,
// quoting, the two formats, and the colour and font texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dialog/definition.h"
#include "test_context.h"

namespace tov::dialog {
namespace {

class DialogDefinition : public ::testing::Test {
 protected:
  // Defines dialog "d" of one control (the definition given as a script string expression) and reads it.
  bool read(const std::string& control, const char* format = "ZRKDLGED,6.2") {
    t_.assign(std::string("dFormat = \"") + format + "\"");
    t_.assign("dWidth = 100");
    t_.assign("dHeight = 60");
    t_.assign("dNumControls = 1");
    t_.assign("d001 = " + control);
    t_->err = 0;
    def_ = DialogDef{};
    return read_definition(t_.ctx(), "d", &def_);
  }
  const ControlDef& control() { return def_.controls.at(0); }
  // The control's fields as one text: type, place and size, name, text, value, tab order, style, font (or
  // "-" when it has none of its own), text and background colours.
  std::string fields() {
    const ControlDef& c = control();
    const FontDef& f = c.font;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%d %d,%d %dx%d %s \"%s\" %d %d %d %s %d %d", c.type, c.x, c.y, c.width, c.height,
                  c.name.c_str(), c.text.c_str(), c.value, c.tabOrder, c.style,
                  f.set ? (f.face + "|" + std::to_string(f.size) + "|" + std::to_string(f.style) + "|" +
                           std::to_string(f.pitchFamily)).c_str() : "-",
                  c.textColor, c.background);
    return buf;
  }

  test::TestContext t_;
  DialogDef def_;
};

TEST_F(DialogDefinition, DefaultFieldsOfAPushButton) {
  ASSERT_TRUE(read("`DEFAULT,DEFAULT,DEFAULT,DEFAULT,PUSHBUTTON,DEFAULT,DEFAULT,\"OK\",1,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(fields(), std::to_string(CT_PUSHBUTTON) + " 8,16 44x32 1 \"OK\" 1 1 0 - -1 -1");
}

TEST_F(DialogDefinition, QuotesCommasBlanksAndTabs) {
  // Quotes protect commas; two double quotes in the text stand for one; blanks before a field and after it
  // go, quoted ones stay; TABs are dropped outside an item box's quoted text.
  ASSERT_TRUE(read("`  1 , 2,3,4, STATICTEXT ,  s\tt ,DEFAULT, \"say \"\"a, b\"\"  \" ,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().name, "st");
  EXPECT_EQ(control().text, "say \"a, b\"  ");
  ASSERT_TRUE(read("`1,2,3,4,ITEMBOX,box,v,\"a\tb\",DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().text, "a\tb");
  ASSERT_TRUE(read("`1,2,3,4,DROPLISTBOX,box,v,\"a\tb\",DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().text, "ab");
  // The word DEFAULT in quotes is the text itself.
  ASSERT_TRUE(read("`1,2,3,4,PUSHBUTTON,p,DEFAULT,\"Default\",2,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().text, "Default");
}

TEST_F(DialogDefinition, FormatsShiftTheFields) {
  // Format 6.1 has no name field: the text OK lands in the value field.
  EXPECT_FALSE(read("`DEFAULT,DEFAULT,DEFAULT,DEFAULT,PUSHBUTTON,DEFAULT,DEFAULT,\"OK\",1,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`",
                    "ZRKDLGED,6.1"));
  EXPECT_EQ(t_->err, 3958);
  ASSERT_TRUE(read("`1,2,3,4,EDITBOX,answer,\"text\",DEFAULT,5,DEFAULT,DEFAULT,DEFAULT,DEFAULT`", "ZRKDLGED,6.1"));
  EXPECT_EQ(control().name, "1");
  EXPECT_EQ(control().variable, "answer");
  EXPECT_EQ(control().text, "text");
  EXPECT_EQ(control().tabOrder, 5);
}

TEST_F(DialogDefinition, AttributesOfEachKind) {
  EXPECT_FALSE(read("`1,2,3,4,STATICTEXT,s,DEFAULT,\"t\",DEFAULT,9,32,\"Arial|8192|1140|0x\",\"255|0|0\",\"0|0|255\"`"));
  EXPECT_EQ(t_->err, 3954) << "a font with a part that is not an integer";
  ASSERT_TRUE(read("`1,2,3,4,STATICTEXT,s,DEFAULT,\"t\",DEFAULT,9,32,\"Arial|8192|1140|512\",\"255|0|0\",\"0|0|255\"`"));
  EXPECT_EQ(fields(), std::to_string(CT_STATICTEXT) + " 1,2 3x4 s \"t\" 0 9 32 Arial|8192|1140|512 " +
                          std::to_string(0x0000FF) + " " + std::to_string(0xFF0000));
  ASSERT_TRUE(read("`1,2,3,4,PICTURE,p,DEFAULT,\"t\",DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT,\"logo.bmp\"`"));
  EXPECT_EQ(control().bitmap, "logo.bmp");
  ASSERT_TRUE(read("`1,2,3,4,CALENDER,c,day,\"\",DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().type, CT_CALENDAR);
  ASSERT_TRUE(read("`1,2,3,4,MENUBAR,bar,DEFAULT,DEFAULT`"));
  EXPECT_EQ(control().type, CT_MENUBAR);
}

TEST_F(DialogDefinition, TheDialogsOwnVariables) {
  t_.assign("dCaption = \"Title\"");
  t_.assign("dProcedure = \" handler \"");
  t_.assign("dx = 10");
  t_.assign("dBackground = \"0|128|255\"");
  ASSERT_TRUE(read("`1,2,3,4,PUSHBUTTON,p,DEFAULT,\"t\",1,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT`"));
  EXPECT_EQ(def_.caption, "Title");
  EXPECT_EQ(def_.procedure, "handler");
  EXPECT_EQ(def_.x, 10);
  EXPECT_EQ(def_.y, -1);
  EXPECT_EQ(def_.background, 0xFF8000);
  EXPECT_EQ(def_.minWidth, -1);
  // At most 300 controls are read, however many the count gives.
  for (int i = 1; i <= 300; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "d%03d = \"1,2,3,4,STATICTEXT,s%d,DEFAULT,t,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT,DEFAULT\"", i, i);
    t_.assign(line);
  }
  t_.assign("dNumControls = 500");
  DialogDef big;
  ASSERT_TRUE(read_definition(t_.ctx(), "d", &big)) << t_->err;
  EXPECT_EQ(big.controls.size(), 300u);
}

TEST(DialogTexts, ColoursAndFonts) {
  int32_t rgb = 0;
  EXPECT_TRUE(parse_color(" 1 | 2 | 3 ", &rgb));
  EXPECT_EQ(rgb, 0x030201);
  for (const char* bad : {"1|2", "1|2|3|4", "1|2|256", "-1|0|0", "a|b|c", "", "1||3"}) EXPECT_FALSE(parse_color(bad, &rgb)) << bad;
  FontDef f;
  EXPECT_TRUE(parse_font("|0|0|0", &f));
  EXPECT_TRUE(f.face.empty());
  EXPECT_FALSE(parse_font("Arial|8|0", &f));
  EXPECT_FALSE(parse_font(std::string(32, 'x') + "|8|0|0", &f));
  EXPECT_TRUE(parse_font(std::string(31, 'x') + "|8|0|0", &f));
}

}  // namespace
}  // namespace tov::dialog
