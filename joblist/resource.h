// Resource identifiers of Rostery.
#pragma once

#define IDI_ROSTERY         101
#define IDB_TOOLBAR         102
#define IDB_TOOLBAR_HOT     104
#define IDB_TOOLBAR_OLD     106
#define IDB_NEW_JOB         109
#define IDB_JOB             110

#define ID_JOB_DELETE       40007
#define ID_APP_EXIT_ROSTERY 40008
#define ID_JOB_REFRESH      40009

// The keys: Del deletes, F5 reads the jobs again, F1 opens the help.
#define IDR_ROSTERY_KEYS    120
#define ID_HELP_TOPICS      57670

// A toolbar button's status-bar text has the command's identifier plus 100.
#define IDS_DELETE_STATUS   40107
#define IDS_HELP_STATUS     57770

#define IDC_JOB_LIST        801
#define IDC_STATUS_BAR      802
#define IDC_TOOL_BAR        804
