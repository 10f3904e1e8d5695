// Keystroke sending and the mouse on the simulated keyboard and mouse of the POSIX build: the events
// every key string of the shared table injects, the lock keys, and the clicks. The refused arguments are
// checked by the script case win_arguments.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <string>

#include "builtin_eval.h"
#include "diag/errors.h"
#include "key_string_cases.h"
#include "platform/posix/input_record.h"

namespace tov::test {
namespace {

std::string recorded_keys() {
  std::string out;
  for (const plat::InputEvent& e : plat::recorded_input())
    if (e.kind == plat::InputEvent::Key) describe_key(out, e.code, e.up, e.extended);
  return out;
}

std::string recorded_mouse() {
  static const char* const kButtons[] = {"left", "right", "middle"};
  std::string out;
  for (const plat::InputEvent& e : plat::recorded_input()) {
    std::string event;
    if (e.kind == plat::InputEvent::MouseMove) event = "move " + std::to_string(e.x) + "," + std::to_string(e.y);
    else if (e.kind == plat::InputEvent::MouseButton) event = std::string(e.up ? "-" : "+") + kButtons[e.code];
    else describe_key(event, e.code, e.up, e.extended);
    out += (out.empty() ? "" : " ") + event;
  }
  return out;
}

class SendKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::clear_recorded_input(true);
    t.assign("IntControl(35, 0, 0, 0, 0)");
  }
  void TearDown() override { plat::clear_recorded_input(true); }
  TestContext t;
};

TEST_F(SendKeyTest, EveryKeyStringOfTheTableInjectsItsEvents) {
  for (const KeyStringCase& c : kKeyStringCases) {
    plat::clear_recorded_input(false);
    const std::string expr = std::string("SendKey(\"") + c.keys + "\")";
    EXPECT_EQ(integer_of(t, expr.c_str()), c.result) << c.keys;
    EXPECT_EQ(recorded_keys(), c.events) << c.keys;
  }
}

TEST_F(SendKeyTest, CapsLockIsLiftedForTheStringAndPutBack) {
  EXPECT_EQ(integer_of(t, "KeyToggleSet(@CAPSLOCK, @ON)"), 0);
  EXPECT_EQ(integer_of(t, "KeyToggleGet(@CAPSLOCK)"), 1);
  plat::clear_recorded_input(false);
  EXPECT_EQ(integer_of(t, "SendKey(\"ab\")"), 0);
  EXPECT_EQ(recorded_keys(), "+CAPSLOCK* -CAPSLOCK* +A -A +B -B +CAPSLOCK* -CAPSLOCK*");
  EXPECT_EQ(integer_of(t, "KeyToggleGet(@CAPSLOCK)"), 1);
  // Setting the state it has presses nothing and returns it.
  plat::clear_recorded_input(false);
  EXPECT_EQ(integer_of(t, "KeyToggleSet(@CAPSLOCK, @ON)"), 1);
  EXPECT_EQ(recorded_keys(), "");
  EXPECT_EQ(integer_of(t, "KeyToggleSet(@CAPSLOCK, @OFF)"), 1);
  EXPECT_EQ(integer_of(t, "KeyToggleGet(@CAPSLOCK)"), 0);
}

TEST_F(SendKeyTest, AStopRequestEndsTheSending) {
  t->hdr.bCancel = 1;
  EXPECT_EQ(integer_of(t, "SendKey(\"abc\")"), 0);
  EXPECT_EQ(recorded_keys(), "");
  t->hdr.bCancel = 0;
}

TEST_F(SendKeyTest, SendKeysToAnEmptyTitleSendsToTheFocus) {
  EXPECT_EQ(integer_of(t, "SendKeysTo(\"\", \"x\")"), 0);
  EXPECT_EQ(recorded_keys(), "+X -X");
  t.assign("IntControl(46, 0, 0, 0, 0)");
  EXPECT_EQ(error_of(t, "SendKeysChild(\"No such window\", \"child\", \"x\")"), ERR_WINACTIVATE_NOT_FOUND);
  EXPECT_EQ(recorded_keys(), "+X -X");
}

TEST_F(SendKeyTest, MouseMovesAndClicksAreInjectedInOrder) {
  EXPECT_EQ(integer_of(t, "MouseMove(30, 40, \"\", \"\")"), 1);
  EXPECT_EQ(integer_of(t, "MouseClick(@LDBLCLICK, @SHIFT | @RBUTTON)"), 1);
  EXPECT_EQ(recorded_mouse(), "move 30,40 +SHIFT +right +left -left +left -left -right -SHIFT");
  EXPECT_EQ(t.text_of("MouseInfo(3)"), "30 40");
  EXPECT_EQ(integer_of(t, "MouseInfo(4)"), 0);

  // A drag with the left button to (90, 40) in two steps of the pointer, then a right click there.
  plat::clear_recorded_input(false);
  EXPECT_EQ(integer_of(t, "MousePlay(\"90 40\", \"\", \"\", @MPLAYLBUTTON | @MPLAYRCLK, 0.04)"), 1);
  EXPECT_EQ(recorded_mouse(), "+left move 60,40 move 90,40 -left +right -right");
  EXPECT_EQ(error_of(t, "MousePlay(\"90\", \"\", \"\", 0, 0)"), ERR_MOUSEPLAY_POSITION);
  EXPECT_EQ(error_of(t, "MousePlay(\"1 2\", \"\", \"\", 2048, 0)"), ERR_INVALID_FLAGS);
}

TEST_F(SendKeyTest, LongNamesAreCutToTheTitleBuffer) {
  EXPECT_EQ(integer_of(t, "WinExist(StrFill(\"~x\", 5000))"), 0);
  EXPECT_EQ(integer_of(t, "WinExist(ChrStringToUnicode(StrFill(\"x\", 5000)))"), 0);
  EXPECT_EQ(integer_of(t, "WinWaitExist(StrFill(\"x\", 5000), 0)"), 0);
}

}  // namespace
}  // namespace tov::test
#endif
