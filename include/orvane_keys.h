#ifndef ORVANE_KEYS_H
#define ORVANE_KEYS_H
/* Key flags: each is 1 when its key was typed since the flags were last cleared, at the
   start of every updateWindow (or updateKeyboardState). There is no "held down" state.
   keylastchar is the last printable character (0x20..0x7E) of the update, or 0. */

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
