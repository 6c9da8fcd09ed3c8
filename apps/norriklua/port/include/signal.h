/* Lua's state keeps a hook flag of this type; there are no signals on the platform. */
#ifndef NORRIKLUA_SIGNAL_H
#define NORRIKLUA_SIGNAL_H
typedef int sig_atomic_t;
#endif
