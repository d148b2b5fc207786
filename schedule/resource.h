// Resource identifiers of Scheduler.
#pragma once

#define IDI_SCHEDULER 1
#define IDD_SERVICE_PAGE 101
#define IDD_PROGRAM_PAGE 102
#define IDI_SCHEDULE_PAGE 103
#define IDD_SCHEDULE_PAGE 104
#define IDB_NOT_OK 107
#define IDB_OK 108

// Schedule Service page
#define IDC_ACCOUNT 1002
#define IDC_BROWSE_ACCOUNT 1003
#define IDC_CONFIRM_PASSWORD 1004
#define IDC_PASSWORD 1005
#define IDC_STATUS_TEXT 1010
#define IDC_STARTUP_TEXT 1030
#define IDC_STATUS_PICTURE 1032
#define IDC_STARTUP_PICTURE 1033
#define IDC_ACCOUNT_LABEL 1041
#define IDC_PASSWORD_LABEL 1042
#define IDC_CONFIRM_LABEL 1043
#define IDC_AT_ACCOUNT_NOTE 1044 // Windows 2000 and later: how the job runs

// Program and Parameters page
#define IDC_BROWSE_PROGRAM 1015
#define IDC_PROGRAM 1016
#define IDC_PARAMETERS 1018
#define IDC_IMPORT_FILE 1020
#define IDC_BROWSE_IMPORT 1021
#define IDC_EDIT_IMPORT 1036

// Schedule page
#define IDC_NOW 107
#define IDC_TODAY 108
#define IDC_TOMORROW 109
#define IDC_EVERY 110
#define IDC_NEXT 111
#define IDC_DAYS 112
#define IDC_HOURS 113
#define IDC_MINUTES 114
#define IDC_PM 115
#define IDC_HOURS_SPIN 1027
#define IDC_MINUTES_SPIN 1028
#define IDC_SCHEDULE_ICON 1040
#define IDC_STATIC -1

// Help context of every page
#define HELP_CONTEXT_WIZARD 1015
