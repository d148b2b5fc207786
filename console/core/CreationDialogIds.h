// Resource identifiers of the Create ERD dialog and the progress dialog; included by the
// resource scripts and the code.
#pragma once

#define IDD_CREATE_ERD 106
#define IDD_CREATION_PROGRESS 107

// Create ERD dialog
#define IDC_ERD_COMPUTERS 1002
#define IDC_ERD_SUMMARY 1005
#define IDC_ERD_OPTIONS 1006
#define IDC_ERD_HELP 57670

// Progress dialog
#define IDC_PROGRESS_ERRORS_LABEL 1005
#define IDC_PROGRESS_STARTED_BAR 1008
#define IDC_PROGRESS_FINISHED_BAR 1009
#define IDC_PROGRESS_ELAPSED 1011
#define IDC_PROGRESS_STARTED 1018
#define IDC_PROGRESS_COMPLETED 1020
#define IDC_PROGRESS_ERRORS 1022
#define IDC_PROGRESS_ANIMATION 1035

// Commands the Create ERD dialog sends its owner
#define ID_ERD_OPTIONS_COMMAND 32778
