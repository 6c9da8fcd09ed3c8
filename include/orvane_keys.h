#ifndef ORVANE_KEYS_H
#define ORVANE_KEYS_H
/* Key flags: each is 1 when its key was typed since the flags were last cleared, at the
   start of every updateWindow (or updateKeyboardState). There is no "held down" state.
   keylastchar is the last printable character (0x20..0x7E) of the update, or 0. */

/* Key codes: what a keyboard sends beside the character of a key event, as PC scan codes
   (set 1, make codes; the keypad/navigation keys without their 0xE0 prefix). The library
   sets keyup, keydown, keyleft, keyright, keyreturn, keyback and keydelete from these
   codes and closes the window on Esc; letters, digits, space, minus and period set their
   flags from the character. Programs read the flags; hosts and input scripts (nkhost
   --input "@N key left") use the codes. */
enum {
  ORVANE_KEY_ESC = 0x01,
  ORVANE_KEY_1 = 0x02, ORVANE_KEY_2 = 0x03, ORVANE_KEY_3 = 0x04, ORVANE_KEY_4 = 0x05,
  ORVANE_KEY_5 = 0x06, ORVANE_KEY_6 = 0x07, ORVANE_KEY_7 = 0x08, ORVANE_KEY_8 = 0x09,
  ORVANE_KEY_9 = 0x0A, ORVANE_KEY_0 = 0x0B,
  ORVANE_KEY_MINUS = 0x0C,
  ORVANE_KEY_BACKSPACE = 0x0E,
  ORVANE_KEY_TAB = 0x0F,
  ORVANE_KEY_Q = 0x10, ORVANE_KEY_W = 0x11, ORVANE_KEY_E = 0x12, ORVANE_KEY_R = 0x13,
  ORVANE_KEY_T = 0x14, ORVANE_KEY_Y = 0x15, ORVANE_KEY_U = 0x16, ORVANE_KEY_I = 0x17,
  ORVANE_KEY_O = 0x18, ORVANE_KEY_P = 0x19,
  ORVANE_KEY_ENTER = 0x1C,
  ORVANE_KEY_A = 0x1E, ORVANE_KEY_S = 0x1F, ORVANE_KEY_D = 0x20, ORVANE_KEY_F = 0x21,
  ORVANE_KEY_G = 0x22, ORVANE_KEY_H = 0x23, ORVANE_KEY_J = 0x24, ORVANE_KEY_K = 0x25,
  ORVANE_KEY_L = 0x26,
  ORVANE_KEY_Z = 0x2C, ORVANE_KEY_X = 0x2D, ORVANE_KEY_C = 0x2E, ORVANE_KEY_V = 0x2F,
  ORVANE_KEY_B = 0x30, ORVANE_KEY_N = 0x31, ORVANE_KEY_M = 0x32,
  ORVANE_KEY_PERIOD = 0x34,
  ORVANE_KEY_SPACE = 0x39,
  ORVANE_KEY_F1 = 0x3B, ORVANE_KEY_F2 = 0x3C, ORVANE_KEY_F3 = 0x3D, ORVANE_KEY_F4 = 0x3E,
  ORVANE_KEY_F5 = 0x3F, ORVANE_KEY_F6 = 0x40, ORVANE_KEY_F7 = 0x41, ORVANE_KEY_F8 = 0x42,
  ORVANE_KEY_F9 = 0x43, ORVANE_KEY_F10 = 0x44,
  ORVANE_KEY_HOME = 0x47,
  ORVANE_KEY_UP = 0x48,
  ORVANE_KEY_PAGE_UP = 0x49,
  ORVANE_KEY_LEFT = 0x4B,
  ORVANE_KEY_RIGHT = 0x4D,
  ORVANE_KEY_END = 0x4F,
  ORVANE_KEY_DOWN = 0x50,
  ORVANE_KEY_PAGE_DOWN = 0x51,
  ORVANE_KEY_INSERT = 0x52,
  ORVANE_KEY_DELETE = 0x53,
  ORVANE_KEY_F11 = 0x57, ORVANE_KEY_F12 = 0x58
};

/* Codes of a keyboard that sends no characters: read only in events with character 0, and
   before the scan codes above (so code 1 with character 0 is up, not Esc, and code 0x17
   closes the window). */
enum {
  ORVANE_BARE_UP = 0x01,
  ORVANE_BARE_DOWN = 0x02,
  ORVANE_BARE_RIGHT = 0x03,
  ORVANE_BARE_LEFT = 0x04,
  ORVANE_BARE_CLOSE = 0x17
};

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

extern unsigned char keyreturn, keyup, keydown, keyleft, keyright;
extern unsigned char keya, keyb, keyc, keyd, keye, keyf, keyg, keyh, keyi, keyj, keyk, keyl,
    keym, keyn, keyo, keyp, keyq, keyr, keys, keyt, keyu, keyv, keyw, keyx, keyy, keyz;
extern unsigned char key1, key2, key3, key4, key5, key6, key7, key8, key9, key0;
extern unsigned char keyminus, keyperiod, keyback, keydelete, keyspace;
extern char keylastchar;

/* Clears the flags and decodes the key events the host has queued (updateWindow does
   this once per frame). Only a window with input focus reads keys. */
void updateKeyboardState(void);
/* Clears the flags, for a program that has handled this frame's keys. */
void consumeKeyboardState(void);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
