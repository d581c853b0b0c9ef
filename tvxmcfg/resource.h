/* Resource identifiers of the modem configuration utility: its dialog's controls. */
#ifndef TVXMCFG_RESOURCE_H
#define TVXMCFG_RESOURCE_H

#define IDC_BOARD1 501
#define IDC_BOARD2 502
#define IDC_BOARD3 503
#define IDC_BOARD4 504
#define IDC_COUNTRY 400
#define IDC_CANCEL_BUTTON 300
#define IDC_OK_BUTTON 301
#define IDC_HELP_BUTTON 302
#define IDC_DEFAULTS_BUTTON 303

#endif
