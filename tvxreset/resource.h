/* Resource identifiers of the modem reset utility: its board dialog, menu and logo. */
#ifndef TVXRESET_RESOURCE_H
#define TVXRESET_RESOURCE_H

#define IDD_BOARD 101
#define IDM_MAIN 102
#define IDB_LOGO 104

/* Menu commands. */
#define IDM_BOARD1 40001
#define IDM_BOARD2 40002
#define IDM_BOARD3 40003
#define IDM_BOARD4 40004
#define IDM_RESET_ALL 40010
#define IDM_EXIT 40011
#define IDM_HELP_TOPICS 40012
#define IDM_ABOUT 40013

/* The board dialog's rows: the Reset button of port p is IDC_RESET_PORT0 + p, its label
   IDC_PORT_NAME0 + p. */
#define IDC_RESET_PORT0 1000
#define IDC_PORT_NAME0 1008

#endif
