// The modem reset utility's state and functions: the main window with its menu and About box
// (main.cpp), and the board dialog with the reset sequences (board_dialog.cpp).
#ifndef TVXRESET_H
#define TVXRESET_H

#include <windows.h>

#include "driver.h"
#include "resource.h"

#define MAIN_CLIENT_WIDTH 350  // the logo's size
#define MAIN_CLIENT_HEIGHT 85
#define ABOUT_TEXT_SIZE 512
#define ABOUT_FORMAT_SIZE 40
// Each About line (pad and text) is kept to this many characters, so that three of them always
// fit the About text.
#define ABOUT_LINE_SIZE 161

// Set up at start-up, kept until the process ends.
extern HINSTANCE Instance;
extern HMENU MainMenu;
extern HWND MainWindow;
extern HANDLE DriverHandle;
extern DriverConfig Config;

// main.cpp
HANDLE OpenDriver(void);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Composes the About text for the program file PROGRAM_PATH into TEXT (ABOUT_TEXT_SIZE
// characters): from its version block, or the defaults when it has none.
void ComposeAboutText(const char* programPath, char* text);

// board_dialog.cpp
INT_PTR CALLBACK BoardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ResetAllModems(void);
void ResetPort(WORD board, WORD port);
// The ports of a board that the program serves: its PortCount, at most 8.
DWORD BoardPortCount(int board);

#endif
