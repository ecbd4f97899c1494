// SDL key events as Windows virtual-key codes, the codes the key queue carries on every platform.
#include "display/sdl/sdl_console.h"

#include <array>

namespace display::sdl {
namespace {

// Scancode -> virtual-key code, 0 where Windows has none.
using KeyTable = std::array<uint8_t, SDL_NUM_SCANCODES>;

// What Windows itself reports for a key it has no virtual-key code for (VK__none_), so that such a
// key still reaches the queue.
constexpr int32_t kUnmappedKey = 0xFF;

KeyTable build_table() {
  KeyTable table{};
  for (int i = 0; i < 26; ++i) table[SDL_SCANCODE_A + i] = static_cast<uint8_t>('A' + i);
  // The scancode row runs 1..9 then 0.
  for (int i = 0; i < 9; ++i) table[SDL_SCANCODE_1 + i] = static_cast<uint8_t>('1' + i);
  table[SDL_SCANCODE_0] = '0';
  for (int i = 0; i < 12; ++i) table[SDL_SCANCODE_F1 + i] = static_cast<uint8_t>(vk::F1 + i);
  // F13 ... F24 follow F12 in both numberings.
  for (int i = 0; i < 12; ++i) table[SDL_SCANCODE_F13 + i] = static_cast<uint8_t>(vk::F1 + 12 + i);
  for (int i = 0; i < 9; ++i) table[SDL_SCANCODE_KP_1 + i] = static_cast<uint8_t>(vk::NUMPAD0 + 1 + i);
  table[SDL_SCANCODE_KP_0] = vk::NUMPAD0;

  static const struct { SDL_Scancode scancode; uint8_t code; } named[] = {
      {SDL_SCANCODE_BACKSPACE, vk::BACK},    {SDL_SCANCODE_TAB, vk::TAB},
      {SDL_SCANCODE_RETURN, vk::RETURN},     {SDL_SCANCODE_KP_ENTER, vk::RETURN},
      {SDL_SCANCODE_LSHIFT, vk::SHIFT},      {SDL_SCANCODE_RSHIFT, vk::SHIFT},
      {SDL_SCANCODE_LCTRL, vk::CONTROL},     {SDL_SCANCODE_RCTRL, vk::CONTROL},
      {SDL_SCANCODE_LALT, vk::MENU},         {SDL_SCANCODE_RALT, vk::MENU},
      {SDL_SCANCODE_PAUSE, vk::PAUSE},       {SDL_SCANCODE_ESCAPE, vk::ESCAPE},
      {SDL_SCANCODE_SPACE, vk::SPACE},       {SDL_SCANCODE_PAGEUP, vk::PRIOR},
      {SDL_SCANCODE_PAGEDOWN, vk::NEXT},     {SDL_SCANCODE_END, vk::END},
      {SDL_SCANCODE_HOME, vk::HOME},         {SDL_SCANCODE_LEFT, vk::LEFT},
      {SDL_SCANCODE_UP, vk::UP},             {SDL_SCANCODE_RIGHT, vk::RIGHT},
      {SDL_SCANCODE_DOWN, vk::DOWN},         {SDL_SCANCODE_INSERT, vk::INSERT},
      {SDL_SCANCODE_DELETE, vk::DELETE_},    {SDL_SCANCODE_CAPSLOCK, 0x14},
      {SDL_SCANCODE_KP_MULTIPLY, 0x6A},      {SDL_SCANCODE_KP_PLUS, 0x6B},
      {SDL_SCANCODE_KP_MINUS, 0x6D},         {SDL_SCANCODE_KP_PERIOD, 0x6E},
      {SDL_SCANCODE_KP_DIVIDE, 0x6F},        {SDL_SCANCODE_SEMICOLON, 0xBA},
      {SDL_SCANCODE_EQUALS, 0xBB},           {SDL_SCANCODE_COMMA, 0xBC},
      {SDL_SCANCODE_MINUS, 0xBD},            {SDL_SCANCODE_PERIOD, 0xBE},
      {SDL_SCANCODE_SLASH, 0xBF},            {SDL_SCANCODE_GRAVE, 0xC0},
      {SDL_SCANCODE_LEFTBRACKET, 0xDB},      {SDL_SCANCODE_BACKSLASH, 0xDC},
      {SDL_SCANCODE_RIGHTBRACKET, 0xDD},     {SDL_SCANCODE_APOSTROPHE, 0xDE},
      {SDL_SCANCODE_NUMLOCKCLEAR, 0x90},     {SDL_SCANCODE_SCROLLLOCK, 0x91},
      {SDL_SCANCODE_PRINTSCREEN, 0x2C},      {SDL_SCANCODE_LGUI, 0x5B},
      {SDL_SCANCODE_RGUI, 0x5C},             {SDL_SCANCODE_APPLICATION, 0x5D},
      {SDL_SCANCODE_MENU, 0x5D},             {SDL_SCANCODE_NONUSBACKSLASH, 0xE2},
      {SDL_SCANCODE_KP_EQUALS, 0x92},
      {SDL_SCANCODE_SLEEP, 0x5F},            {SDL_SCANCODE_HELP, 0x2F},
      {SDL_SCANCODE_SELECT, 0x29},           {SDL_SCANCODE_EXECUTE, 0x2B},
      {SDL_SCANCODE_MUTE, 0xAD},             {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
      {SDL_SCANCODE_VOLUMEUP, 0xAF},         {SDL_SCANCODE_AUDIONEXT, 0xB0},
      {SDL_SCANCODE_AUDIOPREV, 0xB1},        {SDL_SCANCODE_AUDIOSTOP, 0xB2},
      {SDL_SCANCODE_AUDIOPLAY, 0xB3},        {SDL_SCANCODE_MAIL, 0xB4},
      {SDL_SCANCODE_MEDIASELECT, 0xB5},      {SDL_SCANCODE_APP1, 0xB6},
      {SDL_SCANCODE_APP2, 0xB7},             {SDL_SCANCODE_AC_BACK, 0xA6},
      {SDL_SCANCODE_AC_FORWARD, 0xA7},       {SDL_SCANCODE_AC_REFRESH, 0xA8},
      {SDL_SCANCODE_AC_STOP, 0xA9},          {SDL_SCANCODE_AC_SEARCH, 0xAA},
      {SDL_SCANCODE_AC_BOOKMARKS, 0xAB},     {SDL_SCANCODE_AC_HOME, 0xAC},
  };
  for (const auto& key : named) table[key.scancode] = key.code;
  return table;
}

}  // namespace

int32_t virtual_key(const SDL_Keysym& key) {
  // Letters follow the keyboard layout, as Windows reports them; everything else its position.
  if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
  static const KeyTable table = build_table();
  if (key.scancode < 0 || key.scancode >= SDL_NUM_SCANCODES || !table[key.scancode]) return kUnmappedKey;
  return table[key.scancode];
}

}  // namespace display::sdl
