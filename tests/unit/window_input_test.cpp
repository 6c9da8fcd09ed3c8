// Key flags and the key decoder, and the mouse: what one updateWindow makes of the host's
// key events and pointer record.

#include <climits>
#include <map>

#include "support/window_test.h"

namespace {

using nk::sim::Entry;
using nk::test::Window;

const char* const kFlagNames[] = {
    "keyreturn", "keyup", "keydown", "keyleft", "keyright", "keya", "keyb", "keyc", "keyd",
    "keye", "keyf", "keyg", "keyh", "keyi", "keyj", "keyk", "keyl", "keym", "keyn", "keyo",
    "keyp", "keyq", "keyr", "keys", "keyt", "keyu", "keyv", "keyw", "keyx", "keyy", "keyz",
    "key1", "key2", "key3", "key4", "key5", "key6", "key7", "key8", "key9", "key0",
    "keyminus", "keyperiod", "keyback", "keydelete", "keyspace", "keylastchar"};

class Input : public nk::test::WindowTest {
 protected:
  Window* window = create("input", 200, 100);

  // The flags that are set, by name (keylastchar by its value).
  std::map<std::string, int> flags() {
    std::map<std::string, int> set;
    for (const char* name : kFlagNames)
      if (int value = *lib.data<unsigned char>(name)) set[name] = value;
    return set;
  }
  // Queues the events and runs one frame; returns the flags it set.
  std::map<std::string, int> frame(std::initializer_list<std::pair<uint8_t, uint8_t>> events) {
    for (auto [ch, code] : events) host.queue_key(ch, code);
    update(window);
    return flags();
  }
  bool closing() { return record(window).shouldClose != 0; }
  std::pair<int, int> mouse() {
    int x = 0, y = 0;
    mouse_position(window, &x, &y);
    return {x, y};
  }
  using Flags = std::map<std::string, int>;
};

TEST_F(Input, PrintableCharactersSetTheirFlagsAndTheLastCharacter) {
  EXPECT_EQ(frame({{'a', 0}, {'B', 0}, {'7', 0}, {' ', 0}}),
            (Flags{{"keya", 1}, {"keyb", 1}, {"key7", 1}, {"keyspace", 1}, {"keylastchar", ' '}}));
  EXPECT_EQ(frame({{'-', 0}, {'.', 0}, {'!', 0}}),
            (Flags{{"keyminus", 1}, {"keyperiod", 1}, {"keylastchar", '!'}}));
  EXPECT_EQ(frame({}), Flags{});  // flags last one update

  for (char c = 'a'; c <= 'z'; ++c)
    EXPECT_EQ(frame({{uint8_t(c - 'a' + 'A'), 0}}), (Flags{{std::string("key") + c, 1}, {"keylastchar", c - 'a' + 'A'}}));
  for (char c = '0'; c <= '9'; ++c)
    EXPECT_EQ(frame({{uint8_t(c), 0}}), (Flags{{std::string("key") + c, 1}, {"keylastchar", c}}));
  EXPECT_EQ(frame({{'~', 0}}), (Flags{{"keylastchar", '~'}}));
}

TEST_F(Input, ControlCharactersAndScanCodes) {
  EXPECT_EQ(frame({{0x08, 0}}), (Flags{{"keyback", 1}}));
  EXPECT_EQ(frame({{0x7F, 0}}), (Flags{{"keyback", 1}}));
  EXPECT_EQ(frame({{0x0A, 0}}), (Flags{{"keyreturn", 1}}));
  EXPECT_EQ(frame({{0x0D, 0x1C}}), (Flags{{"keyreturn", 1}}));  // Enter: once as a flag
  EXPECT_EQ(frame({{0x09, 0}, {0x80, 0}}), Flags{});
  // Scan codes act whatever the character was.
  EXPECT_EQ(frame({{0, 0x0E}}), (Flags{{"keyback", 1}}));
  EXPECT_EQ(frame({{0, 0x1C}}), (Flags{{"keyreturn", 1}}));
  EXPECT_EQ(frame({{0, 0x48}}), (Flags{{"keyup", 1}}));
  EXPECT_EQ(frame({{0, 0x4B}}), (Flags{{"keyleft", 1}}));
  EXPECT_EQ(frame({{0, 0x4D}}), (Flags{{"keyright", 1}}));
  EXPECT_EQ(frame({{0, 0x50}}), (Flags{{"keydown", 1}}));
  EXPECT_EQ(frame({{0, 0x53}}), (Flags{{"keydelete", 1}}));
  EXPECT_EQ(frame({{'q', 0x53}}), (Flags{{"keyq", 1}, {"keydelete", 1}, {"keylastchar", 'q'}}));
  EXPECT_EQ(frame({{0, 0x30}, {0, 0xFF}}), Flags{});
  // Codes of a keyboard without characters.
  EXPECT_EQ(frame({{0, 1}}), (Flags{{"keyup", 1}}));
  EXPECT_EQ(frame({{0, 2}}), (Flags{{"keydown", 1}}));
  EXPECT_EQ(frame({{0, 3}}), (Flags{{"keyright", 1}}));
  EXPECT_EQ(frame({{0, 4}}), (Flags{{"keyleft", 1}}));
  EXPECT_FALSE(closing());
}

TEST_F(Input, CloseKeys) {
  // Code 1 without a character is the up arrow, not Esc.
  EXPECT_EQ(frame({{0, 1}}), (Flags{{"keyup", 1}}));
  EXPECT_FALSE(closing());
  // ESC with scan code 1: the serial decoder starts a sequence and the scan code closes.
  EXPECT_EQ(frame({{0x1B, 0x01}, {'[', 0}, {'C', 0}}), (Flags{{"keyright", 1}}));
  EXPECT_TRUE(closing());
  for (auto [ch, code] : std::initializer_list<std::pair<uint8_t, uint8_t>>{{0x03, 0}, {0x04, 0}, {0, 0x17}, {'x', 0x01}}) {
    Window* w = create("closing", 10, 10);
    host.queue_key(ch, code);
    update(w);
    EXPECT_TRUE(record(w).shouldClose) << int(ch) << "/" << int(code);
    destroy(w);
  }
}

TEST_F(Input, SerialEscapeSequences) {
  EXPECT_EQ(frame({{0x1B, 0}, {'[', 0}, {'A', 0}}), (Flags{{"keyup", 1}}));
  EXPECT_EQ(frame({{0x1B, 0}, {'[', 0}, {'B', 0}}), (Flags{{"keydown", 1}}));
  EXPECT_EQ(frame({{0x1B, 0}, {'[', 0}, {'C', 0}}), (Flags{{"keyright", 1}}));
  EXPECT_EQ(frame({{0x1B, 0}, {'[', 0}, {'D', 0}}), (Flags{{"keyleft", 1}}));
  EXPECT_EQ(frame({{0x1B, 0}, {'[', 0}, {'Z', 0}, {'z', 0}}), (Flags{{"keyz", 1}, {"keylastchar", 'z'}}));
  EXPECT_EQ(frame({{0x1B, 0}, {'x', 0}, {'y', 0}}), (Flags{{"keyy", 1}, {"keylastchar", 'y'}}));
  // A sequence split across updates, and across consumeKeyboardState.
  EXPECT_EQ(frame({{0x1B, 0}}), Flags{});
  EXPECT_EQ(frame({{'[', 0}}), Flags{});
  fn<void()>("consumeKeyboardState")();
  EXPECT_EQ(frame({{'A', 0}}), (Flags{{"keyup", 1}}));
}

TEST_F(Input, OnlyAFocusedActiveWindowReadsKeys) {
  host.set_focus(false);
  host.queue_key('a', 0);
  machine.clear_calls();
  update(window);
  EXPECT_TRUE(calls_to(Entry::key_poll).empty());
  EXPECT_EQ(host.pending_keys(), 1u);  // the host keeps them for later
  host.set_focus(true);
  EXPECT_EQ(frame({}), (Flags{{"keya", 1}, {"keylastchar", 'a'}}));

  // Keys go to the active window, whichever window is updated.
  Window* other = create("other", 10, 10);
  host.queue_key(0x03, 0);
  update(window);
  EXPECT_TRUE(record(other).shouldClose);
  EXPECT_FALSE(closing());
  destroy(other);
  host.queue_key('b', 0);
  update(window);  // no active window now
  EXPECT_EQ(flags(), Flags{});
  EXPECT_EQ(host.pending_keys(), 1u);
}

TEST_F(Input, ConsumeClearsTheFlags) {
  frame({{'k', 0}, {0, 0x48}});
  fn<void()>("consumeKeyboardState")();
  EXPECT_EQ(flags(), Flags{});
  host.queue_key('k', 0);
  fn<void()>("updateKeyboardState")();
  EXPECT_EQ(flags(), (Flags{{"keyk", 1}, {"keylastchar", 'k'}}));
}

TEST_F(Input, MapPointerCoordinate) {
  auto map = lib.internal_function<int(int, unsigned, int)>("_ZN2nk20mapPointerCoordinateEiji");
  EXPECT_EQ(map(16384, 32767, 1024), 511);
  EXPECT_EQ(map(32767, 32767, 1024), 1023);
  EXPECT_EQ(map(40000, 32767, 1024), 1023);
  EXPECT_EQ(map(-5, 32767, 1024), 0);
  EXPECT_EQ(map(500, 32767, 1), 0);
  EXPECT_EQ(map(5000, 0, 1024), 1023);
  EXPECT_EQ(map(-3, 0, 1024), 0);
  EXPECT_EQ(map(INT_MAX, 0xFFFFFFFFu, INT_MAX), 1073741822);  // (2^31 - 2)(2^31 - 1) / (2^32 - 1)
}

TEST_F(Input, AbsolutePositionsBecomeClientPixels) {
  EXPECT_EQ(mouse(), (std::pair{100, 50}));  // the centre at creation
  host.move(100, 50);
  host.pointer_abs(164, 138);  // display pixels
  update(window);
  EXPECT_EQ(mouse(), (std::pair{50, 50}));
  host.pointer_abs(16384, 32767, 32767, 32767);  // device units on the 1280 x 800 display
  update(window);
  EXPECT_EQ(mouse(), (std::pair{199, 99}));  // (639 - 114, 799 - 88), clamped
  host.pointer_abs(0, 0);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{0, 0}));
}

TEST_F(Input, RelativeMotionWinsAndAbsoluteNeedsAUsableDisplay) {
  host.pointer_rel(-30, 7);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{70, 57}));
  host.pointer_abs(50, 60);
  host.pointer_rel(1, 1);  // both valid: the motion is used
  update(window);
  EXPECT_EQ(mouse(), (std::pair{71, 58}));

  host.set_display(0, 0);  // unusable: absolute positions are ignored
  host.pointer_abs(50, 60);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{71, 58}));
  host.pointer_rel(2, 0);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{73, 58}));

  host.set_display(1280, 800);
  update(window);  // motion polled, position known again only after an absolute event
  EXPECT_EQ(mouse(), (std::pair{73, 58}));
  host.pointer_abs(50 + 14, 60 + 38);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{50, 60}));

  machine.table().disable(Entry::pointer_poll);
  host.pointer_rel(5, 5);
  host.set_buttons(1);
  machine.clear_calls();
  update(window);
  EXPECT_EQ(mouse(), (std::pair{50, 60}));
  EXPECT_FALSE(mouse_button(window, 0));
  EXPECT_TRUE(calls_to(Entry::display_info).empty());
}

TEST_F(Input, MotionSaturatesBeforeItIsClamped) {
  host.pointer_rel(INT_MAX, INT_MAX);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{199, 99}));  // wrapping would have clamped to 0
  host.pointer_rel(INT_MIN, INT_MIN);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{0, 0}));
  host.move(INT_MAX, INT_MAX);
  host.pointer_abs(0, 0);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{0, 0}));
  host.move(INT_MIN, INT_MIN);
  update(window);
  EXPECT_EQ(mouse(), (std::pair{199, 99}));
}

TEST_F(Input, ButtonsNeedFocus) {
  host.set_buttons(0b101 | 0x80);
  update(window);
  EXPECT_TRUE(mouse_button(window, 0));
  EXPECT_FALSE(mouse_button(window, 1));
  EXPECT_TRUE(mouse_button(window, 2));
  EXPECT_FALSE(mouse_button(window, 3));
  EXPECT_FALSE(mouse_button(window, 7));
  host.set_focus(false);
  update(window);
  for (unsigned b = 0; b < 3; ++b) EXPECT_FALSE(mouse_button(window, b));
}

}  // namespace
