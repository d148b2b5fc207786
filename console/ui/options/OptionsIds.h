// Resource identifiers of the Options sheet's pages; included by the resource script and the code.
#pragma once

#define IDD_PAGE_COMMON 105
#define IDD_PAGE_LOG 509

// "Create ERD" page
#define IDC_OUTPUT_FOLDER 1012
#define IDC_BROWSE_OUTPUT 1003
#define IDC_TERMINATE_AGENT 1004
#define IDC_TIMEOUT_MINUTES 1010
#define IDC_ALWAYS_COPY 1023
#define IDC_LEAVE_AGENT 1031
#define IDC_CHECK_QUOTA 1032
#define IDC_SAVE_WITHOUT_RDISK 1041
#define IDC_PLATFORM_INTEL 1027
#define IDC_PLATFORM_ALPHA 1028

// "Log" page
#define IDC_LOG_TO_FILE 223
#define IDC_LOG_FILE_NAME 1029
#define IDC_LOG_APPEND 2037
#define IDC_LOG_OVERWRITE 2038
#define IDC_BROWSE_LOG 1034
#define IDC_VIEW_LOG 1033
#define IDC_LOG_TO_ANNALIX 224
#define IDC_DEMAND_TASKS 1000
#define IDC_LOG_TO_NT_LOG 1030
#define IDC_DETAIL_FULL 1036
#define IDC_DETAIL_ERRORS 1037
#define IDC_DETAIL_NONE 2036

// The Options command of the main window (also sent by the Create ERD dialog's Options... button)
#define ID_OPTIONS_COMMAND 32778
