// Key flags and the key decoder. One event stream carries both keyboards that deliver a
// character with a key code and serial terminals that deliver bytes, where the arrows
// arrive as ESC "[" "A".."D"; the serial state therefore survives events and frames.

#include <orvane_keys.h>

#include "host/program_api.h"
#include "window/window.h"

unsigned char keyreturn, keyup, keydown, keyleft, keyright;
unsigned char keya, keyb, keyc, keyd, keye, keyf, keyg, keyh, keyi, keyj, keyk, keyl, keym, keyn,
    keyo, keyp, keyq, keyr, keys, keyt, keyu, keyv, keyw, keyx, keyy, keyz;
unsigned char key1, key2, key3, key4, key5, key6, key7, key8, key9, key0;
unsigned char keyminus, keyperiod, keyback, keydelete, keyspace;
char keylastchar;

namespace nk {
namespace {

enum SerialState : int { kPlain = 0, kEscape = 1, kBracket = 2 };
int gSerialEscapeState;

unsigned char* const gKeyFlagTable[36] = {
    &key0, &key1, &key2, &key3, &key4, &key5, &key6, &key7, &key8, &key9, &keya, &keyb,
    &keyc, &keyd, &keye, &keyf, &keyg, &keyh, &keyi, &keyj, &keyk, &keyl, &keym, &keyn,
    &keyo, &keyp, &keyq, &keyr, &keys, &keyt, &keyu, &keyv, &keyw, &keyx, &keyy, &keyz};

unsigned char* const kOtherFlags[] = {
    &keyreturn, &keyup, &keydown, &keyleft, &keyright, &keyminus, &keyperiod,
    &keyback, &keydelete, &keyspace, reinterpret_cast<unsigned char*>(&keylastchar)};

void request_close() {
  if (gActiveWindow) gActiveWindow->shouldClose = 1;
}

void set_arrow(char letter) {
  switch (letter) {
    case 'A': keyup = 1; break;
    case 'B': keydown = 1; break;
    case 'C': keyright = 1; break;
    case 'D': keyleft = 1; break;
  }
}

void decode_plain_character(unsigned char ch) {
  if (ch >= 0x20 && ch <= 0x7E) {
    keylastchar = char(ch);
    if (ch >= 'A' && ch <= 'Z') ch = ch - 'A' + 'a';
    if (ch >= 'a' && ch <= 'z') setLetterKey(char(ch));
    else if (ch >= '0' && ch <= '9') *gKeyFlagTable[ch - '0'] = 1;
    else if (ch == ' ') keyspace = 1;
    else if (ch == '-') keyminus = 1;
    else if (ch == '.') keyperiod = 1;
    return;
  }
  switch (ch) {
    case 0x1B: gSerialEscapeState = kEscape; break;
    case 0x03: case 0x04: request_close(); break;  // Ctrl-C, Ctrl-D
    case 0x08: case 0x7F: keyback = 1; break;
    case 0x0A: case 0x0D: keyreturn = 1; break;
  }
}

void decode_character(unsigned char ch) {
  switch (gSerialEscapeState) {
    case kBracket:
      gSerialEscapeState = kPlain;
      set_arrow(char(ch));
      return;
    case kEscape:
      gSerialEscapeState = ch == '[' ? kBracket : kPlain;
      return;
    default:
      decode_plain_character(ch);
  }
}

// Key codes of a keyboard that delivers no characters; false for any other code.
bool decode_bare_code(unsigned code) {
  switch (code) {
    case ORVANE_BARE_UP: keyup = 1; return true;
    case ORVANE_BARE_DOWN: keydown = 1; return true;
    case ORVANE_BARE_RIGHT: keyright = 1; return true;
    case ORVANE_BARE_LEFT: keyleft = 1; return true;
    case ORVANE_BARE_CLOSE: request_close(); return true;
  }
  return false;
}

void decode_scan_code(unsigned code) {
  switch (code) {
    case ORVANE_KEY_ESC: request_close(); break;
    case ORVANE_KEY_BACKSPACE: keyback = 1; break;
    case ORVANE_KEY_ENTER: keyreturn = 1; break;
    case ORVANE_KEY_UP: keyup = 1; break;
    case ORVANE_KEY_LEFT: keyleft = 1; break;
    case ORVANE_KEY_RIGHT: keyright = 1; break;
    case ORVANE_KEY_DOWN: keydown = 1; break;
    case ORVANE_KEY_DELETE: keydelete = 1; break;
  }
}

void decode_event(uint32_t event) {
  unsigned ch = event & 0xFF;
  unsigned code = event >> 8 & 0xFF;
  if (ch != 0) decode_character((unsigned char)ch);
  else if (decode_bare_code(code)) return;
  decode_scan_code(code);
}

}  // namespace

void resetKeyState() {
  for (unsigned char* flag : gKeyFlagTable) *flag = 0;
  for (unsigned char* flag : kOtherFlags) *flag = 0;
}

void setLetterKey(char c) {
  if (c >= 'a' && c <= 'z') *gKeyFlagTable[10 + (c - 'a')] = 1;
}

}  // namespace nk

void updateKeyboardState() {
  nk::resetKeyState();
  OrvaneWindow* window = nk::gActiveWindow;
  if (window == nullptr || !nk::queryWindowInfo(window) || !nk::has_input_focus(*window)) return;
  while (uint32_t event = nk::call_host_or<uint32_t()>(0, nk::HostEntry::key_poll))
    nk::decode_event(event);
}

void consumeKeyboardState() { nk::resetKeyState(); }
