// Input scripts: the grammar, the errors that refuse a script, and the written form that
// --record produces.

#include "sim/services/window/input_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "sim/services/window/key_names.h"

namespace {

using namespace nk::sim;

std::string error_of(std::string_view script) {
  try {
    parse_input_script(script, "s.txt");
  } catch (const InputScriptError& problem) {
    return problem.what();
  }
  return "(accepted)";
}

TEST(InputScript, ReadsEveryEventInQueueOrder) {
  const char* script =
      "# a demo session\n"
      "\n"
      "@3 key 0x1b 0x01   # Esc\r\n"
      "@0x1 text \"a\\\"\\\\\\x41\\n\"\n"
      "@1 pointer abs 100 -20\n"
      "  @2\tpointer abs 0x4000 16384 32767 0x7FFF\n"
      "@1 pointer rel -5 7\n"
      "@2 buttons 0x5\n"
      "@2 close\n"
      "@0 focus off\n"
      "@0 focus on#no space needed\n"
      "@4 move -2147483648 2147483647\n"
      "@5 text \"\"\n";
  const std::vector<InputEvent> expected = {
      {0, FocusInput{false}},
      {0, FocusInput{true}},
      {1, KeyInput{'a', 0}},
      {1, KeyInput{'"', 0}},
      {1, KeyInput{'\\', 0}},
      {1, KeyInput{'A', 0}},
      {1, KeyInput{'\n', 0}},
      {1, PointerAbsInput{100, -20, 0, 0}},
      {1, PointerRelInput{-5, 7}},
      {2, PointerAbsInput{0x4000, 16384, 32767, 0x7FFF}},
      {2, ButtonsInput{5}},
      {2, CloseInput{}},
      {3, KeyInput{0x1B, 0x01}},
      {4, MoveInput{INT32_MIN, INT32_MAX}},
  };
  EXPECT_EQ(parse_input_script(script, "s.txt"), expected);
  EXPECT_TRUE(parse_input_script("", "s.txt").empty());
  EXPECT_TRUE(parse_input_script("# only a comment", "s.txt").empty());
}

TEST(InputScript, MalformedLinesAreRefusedWithFileLineAndReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"key 1 2", "s.txt:1: expected '@N' (a frame number) at the start of an event"},
      {"\n@ 1 close", "s.txt:2: expected a frame number right after '@'"},
      {"@x close", "s.txt:1: 'x' is not a number (for the frame number)"},
      {"@-1 close", "s.txt:1: the frame number cannot be negative: '-1'"},
      {"@1", "s.txt:1: expected an event after @1"},
      {"@1 klick", "s.txt:1: unknown event 'klick' (expected key, text, pointer, buttons, close, focus or move)"},
      {"@1 key", "s.txt:1: key needs a name (such as enter, left or a) or a character and a code"},
      {"@1 key 0x61", "s.txt:1: unknown key '0x61' (names: esc, enter,"},
      {"@1 key Enter", "s.txt:1: unknown key 'Enter'"},
      {"@1 key left 5", "s.txt:1: unexpected '5' after the event"},
      {"@1 key enter\x1b[2J", "s.txt:1: unknown key 'enter\\x1B[2J'"},
      {"@1 key zz 1", "s.txt:1: 'zz' is not a number (for the key's character)"},
      {"@1 key 256 0", "s.txt:1: '256' is out of range for the key's character (0 to 255)"},
      {"@1 key 0 0", "s.txt:1: a key with character 0 and code 0 cannot be queued"},
      {"@1 key 0x 1", "s.txt:1: '0x' is not a number (for the key's character)"},
      {"@1 key 12a 1", "s.txt:1: '12a' is not a number"},
      {"@1 key 1 2 3", "s.txt:1: unexpected '3' after the event"},
      {"@1 text abc", "s.txt:1: text needs a quoted string"},
      {"@1 text \"abc", "s.txt:1: the text has no closing '\"'"},
      {"@1 text \"a\\q\"", "s.txt:1: unknown escape '\\q'"},
      {"@1 text \"a\\\x07\"", "s.txt:1: unknown escape '\\\\x07'"},
      {"@1 text \"\\x4\"", "s.txt:1: '\\x' needs two hex digits"},
      {"@1 text \"\\x00\"", "s.txt:1: the text holds a NUL byte"},
      {"@1 text \"a\" b", "s.txt:1: unexpected 'b' after the event"},
      {"@1 pointer 1 2", "s.txt:1: pointer needs 'abs' or 'rel', not '1'"},
      {"@1 pointer abs 1 2 3", "s.txt:1: pointer abs needs RANGEY after RANGEX"},
      {"@1 pointer abs 1 2 -3 4", "s.txt:1: RANGEX cannot be negative"},
      {"@1 pointer rel 2147483648 0", "s.txt:1: '2147483648' is out of range for DX (-2147483648 to 2147483647)"},
      {"@1 move 0 -2147483649", "s.txt:1: '-2147483649' is out of range for Y"},
      {"@99999999999999999999 close", "s.txt:1: '99999999999999999999' is out of range for the frame number"},
      {"@1 buttons", "s.txt:1: expected the button mask"},
      {"@1 focus maybe", "s.txt:1: focus needs 'on' or 'off', not 'maybe'"},
      {"@1 close now", "s.txt:1: unexpected 'now' after the event"},
  };
  for (const auto& [script, message] : cases)
    EXPECT_TRUE(error_of(script).starts_with(message)) << script << "\n  gave: " << error_of(script);
  // The first bad line is the one reported, even after good ones.
  EXPECT_TRUE(error_of("@1 close\n# fine\n@2 zoom\n@3 zap").starts_with("s.txt:3: unknown event 'zoom'"));
}

TEST(InputScript, MessagesEscapeWhatTheScriptHolds) {
  // Neither a terminal's control sequences nor a NUL reach the message as they are.
  std::string message = error_of("@1 \x1b[2J\x1b]0;pwned\a zap");
  EXPECT_EQ(message.find('\x1b'), std::string::npos) << message;
  EXPECT_EQ(message.find('\a'), std::string::npos) << message;
  EXPECT_TRUE(message.starts_with("s.txt:1: unknown event '\\x1B[2J\\x1B]0;pwned\\x07'")) << message;
  using namespace std::string_view_literals;
  EXPECT_TRUE(error_of("@1 close\0junk"sv).starts_with("s.txt:1: unknown event 'close\\x00junk'"))
      << error_of("@1 close\0junk"sv);
  EXPECT_TRUE(error_of("@1 move 1 \x9b" "2J"sv).starts_with("s.txt:1: '\\x9B2J' is not a number"));
}

TEST(InputScript, KeysByNameActAsTheirCharacterAndCode) {
  const std::vector<InputEvent> expected = {
      {1, KeyInput{0, 0x4B}},    {1, KeyInput{0x0D, 0x1C}}, {1, KeyInput{0x61, 0x1E}},
      {1, KeyInput{'1', 0x02}},  {1, KeyInput{1, 2}},       {1, KeyInput{0x1B, 0x01}},
      {2, KeyInput{0, 0x58}},    {2, KeyInput{' ', 0x39}},  {2, KeyInput{0x08, 0x0E}},
      {2, KeyInput{0, 0x53}},
  };
  EXPECT_EQ(parse_input_script("@1 key left\n@1 key enter\n@1 key a\n@1 key 1\n@1 key 1 2\n"
                               "@1 key esc\n@2 key f12 # comment\n@2 key space\n"
                               "@2 key backspace\n@2\tkey\tdelete\t\n",
                               "s.txt"),
            expected);
}

// The names are the header's: every ORVANE_KEY_ constant has its name (lower case, without
// '_') with the same code, and no name lacks a constant.
TEST(InputScript, KeyNamesAreTheHeadersConstants) {
  std::ifstream header(NK_SOURCE_DIR "/include/orvane_keys.h");
  std::stringstream text;
  text << header.rdbuf();
  std::map<std::string, int> constants;
  const std::regex constant("ORVANE_KEY_([A-Z0-9_]+) = (0x[0-9A-F]+)");
  std::string source = text.str();
  for (std::sregex_iterator it(source.begin(), source.end(), constant), end; it != end; ++it) {
    std::string name;
    for (char c : (*it)[1].str())
      if (c != '_') name += char(std::tolower(c));
    constants[name] = std::stoi((*it)[2].str(), nullptr, 16);
  }
  std::map<std::string, int> names;
  for (const KeyName& key : key_names()) names[std::string(key.name)] = key.code;
  EXPECT_EQ(names, constants);
}

TEST(InputScript, WrittenFormReadsBackAndGroupsTyping) {
  const std::vector<InputEvent> events = {
      {0, KeyInput{'h', 0}},  {0, KeyInput{'"', 0}},    {0, KeyInput{'\\', 0}},
      {1, KeyInput{'i', 0}},  {1, KeyInput{0x0D, 0x1C}}, {1, KeyInput{'!', 0}},
      {2, KeyInput{0, 0x48}}, {2, PointerAbsInput{14, 38}}, {2, PointerAbsInput{1, 2, 3, 4}},
      {3, ButtonsInput{1}},   {3, PointerRelInput{-1, 0}}, {4, FocusInput{false}},
      {4, MoveInput{-14, 9}}, {5, CloseInput{}},
  };
  std::string text = format_input_script(events);
  EXPECT_NE(text.find("@0 text \"h\\\"\\\\\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@1 text \"i\"\n@1 key enter\n@1 text \"!\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@2 key up\n"), std::string::npos) << text;
  EXPECT_EQ(parse_input_script(text, "recorded"), events);

  // Every named key is written by its name; keys without one keep their numbers.
  std::vector<InputEvent> keys;
  for (const KeyName& key : key_names()) keys.push_back({7, KeyInput{key.character, key.code}});
  keys.push_back({8, KeyInput{'A', 0x1E}});
  keys.push_back({8, KeyInput{0x03, 0}});
  text = format_input_script(keys);
  for (const KeyName& key : key_names())
    EXPECT_NE(text.find("@7 key " + std::string(key.name) + "\n"), std::string::npos) << key.name;
  EXPECT_NE(text.find("@8 key 0x41 0x1e\n@8 key 0x03 0x00\n"), std::string::npos) << text;
  EXPECT_EQ(parse_input_script(text, "recorded"), keys);
}

TEST(InputScript, UnreadableFileIsNamed) {
  try {
    read_input_script("/nonexistent/script.txt");
    FAIL() << "a missing script was accepted";
  } catch (const InputScriptError& problem) {
    EXPECT_STREQ(problem.what(), "/nonexistent/script.txt: cannot be read");
  }
}

}  // namespace
