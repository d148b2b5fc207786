// Resource numbers of the computer enumeration's loading window.
#pragma once
#define IDD_LOADING 117
#define IDC_LOADING_PROGRESS 1068
#define IDR_MAINFRAME 128
