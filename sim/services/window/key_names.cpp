#include "sim/services/window/key_names.h"

#include "include/orvane_keys.h"

namespace nk::sim {
namespace {

// The characters are what a PC keyboard types with the key, unshifted; keys that type no
// character send 0 (Delete too: 0x7F would also read as Backspace).
constexpr KeyName kKeys[] = {
    {"esc", 0x1B, ORVANE_KEY_ESC},
    {"enter", 0x0D, ORVANE_KEY_ENTER},
    {"backspace", 0x08, ORVANE_KEY_BACKSPACE},
    {"tab", 0x09, ORVANE_KEY_TAB},
    {"up", 0, ORVANE_KEY_UP},
    {"down", 0, ORVANE_KEY_DOWN},
    {"left", 0, ORVANE_KEY_LEFT},
    {"right", 0, ORVANE_KEY_RIGHT},
    {"home", 0, ORVANE_KEY_HOME},
    {"end", 0, ORVANE_KEY_END},
    {"pageup", 0, ORVANE_KEY_PAGE_UP},
    {"pagedown", 0, ORVANE_KEY_PAGE_DOWN},
    {"insert", 0, ORVANE_KEY_INSERT},
    {"delete", 0, ORVANE_KEY_DELETE},
    {"f1", 0, ORVANE_KEY_F1},
    {"f2", 0, ORVANE_KEY_F2},
    {"f3", 0, ORVANE_KEY_F3},
    {"f4", 0, ORVANE_KEY_F4},
    {"f5", 0, ORVANE_KEY_F5},
    {"f6", 0, ORVANE_KEY_F6},
    {"f7", 0, ORVANE_KEY_F7},
    {"f8", 0, ORVANE_KEY_F8},
    {"f9", 0, ORVANE_KEY_F9},
    {"f10", 0, ORVANE_KEY_F10},
    {"f11", 0, ORVANE_KEY_F11},
    {"f12", 0, ORVANE_KEY_F12},
    {"space", ' ', ORVANE_KEY_SPACE},
    {"minus", '-', ORVANE_KEY_MINUS},
    {"period", '.', ORVANE_KEY_PERIOD},
    {"a", 'a', ORVANE_KEY_A}, {"b", 'b', ORVANE_KEY_B}, {"c", 'c', ORVANE_KEY_C},
    {"d", 'd', ORVANE_KEY_D}, {"e", 'e', ORVANE_KEY_E}, {"f", 'f', ORVANE_KEY_F},
    {"g", 'g', ORVANE_KEY_G}, {"h", 'h', ORVANE_KEY_H}, {"i", 'i', ORVANE_KEY_I},
    {"j", 'j', ORVANE_KEY_J}, {"k", 'k', ORVANE_KEY_K}, {"l", 'l', ORVANE_KEY_L},
    {"m", 'm', ORVANE_KEY_M}, {"n", 'n', ORVANE_KEY_N}, {"o", 'o', ORVANE_KEY_O},
    {"p", 'p', ORVANE_KEY_P}, {"q", 'q', ORVANE_KEY_Q}, {"r", 'r', ORVANE_KEY_R},
    {"s", 's', ORVANE_KEY_S}, {"t", 't', ORVANE_KEY_T}, {"u", 'u', ORVANE_KEY_U},
    {"v", 'v', ORVANE_KEY_V}, {"w", 'w', ORVANE_KEY_W}, {"x", 'x', ORVANE_KEY_X},
    {"y", 'y', ORVANE_KEY_Y}, {"z", 'z', ORVANE_KEY_Z},
    {"0", '0', ORVANE_KEY_0}, {"1", '1', ORVANE_KEY_1}, {"2", '2', ORVANE_KEY_2},
    {"3", '3', ORVANE_KEY_3}, {"4", '4', ORVANE_KEY_4}, {"5", '5', ORVANE_KEY_5},
    {"6", '6', ORVANE_KEY_6}, {"7", '7', ORVANE_KEY_7}, {"8", '8', ORVANE_KEY_8},
    {"9", '9', ORVANE_KEY_9},
};

}  // namespace

std::span<const KeyName> key_names() { return kKeys; }

const KeyName* find_key(std::string_view name) {
  for (const KeyName& key : kKeys)
    if (key.name == name) return &key;
  return nullptr;
}

const KeyName* find_key(uint8_t character, uint8_t code) {
  for (const KeyName& key : kKeys)
    if (key.character == character && key.code == code) return &key;
  return nullptr;
}

}  // namespace nk::sim
