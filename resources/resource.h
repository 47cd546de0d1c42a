// Resource and control numbers shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_CVELTRIX_DIALOG 102
#define IDD_PROXY_SETTING 103
#define IDR_MAINFRAME 133

// The main window's class: the system's dialog class under the program's own
// name, with the program's icons.
#define MAIN_WINDOW_CLASS "CveltrixMainWindow"

// Main window
#define IDC_START 1003
#define IDC_PROGRESS 1004
#define IDC_PROXY 1012
#define IDC_CANCEL_DOWNLOAD 1014
#define IDC_EXIT 1015
#define IDC_PROGRESS_TEXT 1016
#define IDC_DESCRIPTION 130

// Version box
#define IDC_PRODUCT_LINE 1023
#define IDC_COPYRIGHT_LINE 1024

// Proxy dialog
#define IDC_USE_PROXY 105
#define IDC_NO_PROXY 1013
#define IDC_PORT 1005
#define IDC_USER_NAME 1006
#define IDC_PASSWORD 1007
#define IDC_ADDRESS 1011
#define IDC_ADDRESS_LABEL 1017
#define IDC_PORT_LABEL 1018
#define IDC_USER_NAME_LABEL 1019
#define IDC_PASSWORD_LABEL 1020

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

// System-menu command of the version box
#define IDM_ABOUTBOX 0x0010
