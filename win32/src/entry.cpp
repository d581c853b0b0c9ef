// Placeholder entry until the command line is built as the platform's start-up code does.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

int main() { return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 1); }
