/* Debian's luaconf.h names the multiarch folder of its C modules; NorrikLua loads none. */
#define DEB_HOST_MULTIARCH "x86_64-norrikboot"
