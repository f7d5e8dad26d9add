// Stand-in for the keyboard side of USER32: GLFW keys as Windows virtual-key
// codes and the characters TranslateMessage makes of them.
// Left out: keyboard layouts (US layout only), dead keys, the numeric keypad's
// character translation, and keys beyond letters, digits, function keys,
// arrows, modifiers, Escape, Enter, Tab, Backspace and Space.
#include "gui.h"

UINT VirtualKeyOf(int key) {
    if (key >= GLFW_KEY_A && key <= GLFW_KEY_Z)
        return 'A' + (key - GLFW_KEY_A);
    if (key >= GLFW_KEY_0 && key <= GLFW_KEY_9)
        return '0' + (key - GLFW_KEY_0);
    if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F24)
        return VK_F1 + (key - GLFW_KEY_F1);
    switch (key) {
    case GLFW_KEY_ESCAPE:
        return VK_ESCAPE;
    case GLFW_KEY_ENTER:
        return VK_RETURN;
    case GLFW_KEY_TAB:
        return VK_TAB;
    case GLFW_KEY_BACKSPACE:
        return VK_BACK;
    case GLFW_KEY_SPACE:
        return VK_SPACE;
    case GLFW_KEY_LEFT:
        return VK_LEFT;
    case GLFW_KEY_RIGHT:
        return VK_RIGHT;
    case GLFW_KEY_UP:
        return VK_UP;
    case GLFW_KEY_DOWN:
        return VK_DOWN;
    case GLFW_KEY_LEFT_SHIFT:
    case GLFW_KEY_RIGHT_SHIFT:
        return VK_SHIFT;
    case GLFW_KEY_LEFT_CONTROL:
    case GLFW_KEY_RIGHT_CONTROL:
        return VK_CONTROL;
    case GLFW_KEY_LEFT_ALT:
    case GLFW_KEY_RIGHT_ALT:
        return VK_MENU;
    default:
        return 0;
    }
}

char CharacterOf(UINT vk, bool shift) {
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<char>(shift ? vk : vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9' && !shift)
        return static_cast<char>(vk);
    switch (vk) {
    case VK_ESCAPE:
        return 0x1B;
    case VK_RETURN:
        return '\r';
    case VK_TAB:
        return '\t';
    case VK_BACK:
        return '\b';
    case VK_SPACE:
        return ' ';
    default:
        return 0;
    }
}
