// Resource identifiers of Restavo.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_RESTAVO 103
#define IDD_CONFIRM 121
#define IDD_OPEN_CLASSIC 2536

// Icons: the program, and the confirmation's states (warning, accepted, going ahead)
#define IDI_RESTAVO 104
#define IDI_GOING_AHEAD 125
#define IDI_ACCEPTED 126
#define IDI_WARNING_STATE 128

// System menu
#define IDM_ABOUTBOX 101

// About box: the program's name and the suite's version
#define IDC_ABOUT_VERSION 1100

// Main dialog
#define IDC_ERD_FOLDER 1000
#define IDC_BROWSE_FOLDER 1001
#define IDC_COMPUTER 1002
#define IDC_BROWSE_COMPUTER 1003
#define IDC_HIVE_SAM 1004
#define IDC_HIVE_SECURITY 1005
#define IDC_HIVE_SOFTWARE 1006
#define IDC_HIVE_SYSTEM 1007
#define IDC_HIVE_DEFAULT 1008
#define IDC_REBOOT 1010
#define IDC_HELP_BUTTON 9

// Confirmation dialog
#define IDC_SOURCE_COMPUTER 1014
#define IDC_HIVE_LIST 1018
#define IDC_DESTINATION_COMPUTER 1003
#define IDC_IGNORE_WARNING 1023
#define IDC_STATE_ICON 1060

// The computer chooser, shared with the console (dialog 130)
#include "ComputerChooserIds.h"

// Classic open dialog: the visible path edit above the file list
#define IDC_CLASSIC_PATH 1044
