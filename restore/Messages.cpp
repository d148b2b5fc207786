#include "Messages.h"

namespace restavo {

namespace {
MessageBoxHandler g_handler = nullptr;
HINSTANCE g_instance = nullptr;
} // namespace

int ShowMessage(HWND owner, const char* text, const char* caption, UINT type)
{
    if (g_handler) return g_handler(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = g_handler;
    g_handler = handler;
    return previous;
}

HINSTANCE ResourceInstance()
{
    return g_instance ? g_instance : GetModuleHandleA(nullptr);
}

void SetResourceInstance(HINSTANCE instance)
{
    g_instance = instance;
}

} // namespace restavo
