/* The console's string-table numbers and texts. Shared by the C++ code and by the resource
   script (ConsoleStrings.rc), so each text is written once. */
#ifndef OSTREL_CONSOLE_STRINGS_H
#define OSTREL_CONSOLE_STRINGS_H

#define IDS_UNKNOWN_ERROR 2
#define TEXT_UNKNOWN_ERROR "Unknown Error"
#define IDS_INVALID_TIMEOUT 4
#define TEXT_INVALID_TIMEOUT "Invalid timeout value"

/* Creation-run outcomes: the number is also the computer's JobResult. */
#define IDS_JOB_CANCELLED 5
#define TEXT_JOB_CANCELLED "Operation cancelled by user"
#define IDS_JOB_INSTALL_ERROR 6
#define TEXT_JOB_INSTALL_ERROR "Agent install error"
#define IDS_JOB_TIMEOUT 8
#define TEXT_JOB_TIMEOUT "TIMEOUT"
#define IDS_JOB_OUTPUT_FOLDER 9
#define TEXT_JOB_OUTPUT_FOLDER "Creation output directory error"
#define IDS_JOB_COPY_ERROR 10
#define TEXT_JOB_COPY_ERROR "ERD files copying error"
#define IDS_JOB_SUCCEEDED 11
#define TEXT_JOB_SUCCEEDED "Operatoin completed successfully"
#define IDS_JOB_COMMUNICATION 16
#define TEXT_JOB_COMMUNICATION "COMMUNICATION"
#define IDS_JOB_UNSUPPORTED 19
#define TEXT_JOB_UNSUPPORTED "Unsupported platform"

#define IDS_NOT_INSTALLED 14
#define TEXT_NOT_INSTALLED "Program has not been installed correctly"
#define IDS_INIT_FAILED 20
#define TEXT_INIT_FAILED "Application failed to initialize. Make sure you specified -S parameter in a command line."

#define IDS_ANNALIX_PROGRAM 31
#define TEXT_ANNALIX_PROGRAM "Annalix.exe"
#define IDS_ANNALIX_DLL 32
#define TEXT_ANNALIX_DLL "Annalix.dll"
#define IDS_CANCELLED_BY_USER 33
#define TEXT_CANCELLED_BY_USER "Cancelled by user!"
#define IDS_OPERATION_COMPLETED 34
#define TEXT_OPERATION_COMPLETED "Operation Completed"
#define IDS_CREATE_ER_DISK 35
#define TEXT_CREATE_ER_DISK "Create ER Disk"

/* A computer's received set that was not put in place, and why (added to its log record). */
#define IDS_SET_REJECTED 36
#define TEXT_SET_REJECTED " (not put in place: %s; the files received are in %s)"
#define IDS_SET_INCOMPLETE 37
#define TEXT_SET_INCOMPLETE " (not put in place; the files received are in %s)"

/* The unattended run's summary: its records, its final line, its event, and the event of a
   result log that cannot be written. */
#define IDS_SUMMARY_ITEM 40
#define TEXT_SUMMARY_ITEM "Final result of the unattended run"
#define IDS_SUMMARY_FINAL 41
#define TEXT_SUMMARY_FINAL "Started %s, ended %s, %d attempt(s): %d of %d computer(s) failed"
#define IDS_SUMMARY_FAILED 42
#define TEXT_SUMMARY_FAILED "Unattended run failed: %d of %d computer(s) still failed after %d attempt(s): %s"
#define IDS_SUMMARY_SUCCEEDED 43
#define TEXT_SUMMARY_SUCCEEDED "Unattended run succeeded: %d computer(s) in %d attempt(s)"
#define IDS_LOG_UNWRITABLE 44
#define TEXT_LOG_UNWRITABLE "The result log %s cannot be written: %s (%d)"

/* 45 has no entry: opening the text log fails with "Unknown Error". */
#define IDS_OPEN_LOG_FILE_FAILED 45
#define IDS_PRODUCT_ERROR 47
#define TEXT_PRODUCT_ERROR "%s - %s (%d)"
#define IDS_ANNALIX_UNAVAILABLE 48
#define TEXT_ANNALIX_UNAVAILABLE "Annalix service is unavailable. \nMake sure Annalix service is running."

#define IDS_APP_TITLE 57344
#define TEXT_APP_TITLE "Corvane Salvora"
#define IDS_LIST_NOT_AVAILABLE 57771
#define TEXT_LIST_NOT_AVAILABLE "Computer list is not available"

#endif
