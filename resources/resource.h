// Resource identifiers of zupdater.exe. Also included by the resource script.
#pragma once

#define IDS_APP_TITLE 500
#define IDS_PROMPT_TITLE 513
#define IDS_UPDATE_FAILED 518
#define IDS_DOWNLOADING_FILE_N_OF_M 522
#define IDS_DOWNLOADING_FILE 523
#define IDS_RECEIVED_K_OF_K 524

#define IDD_DOWNLOAD_PROGRESS 104
#define IDD_UPDATE_PROMPT 107
#define IDI_ZUPDATER 110
#define IDM_EXIT 105

#define IDC_DOWNLOAD_PROGRESS 1000
#define IDC_DOWNLOAD_LOCATION 1003
#define IDC_DOWNLOAD_STATUS 1004
#define IDC_PROMPT_TEXT 1011

#define ZUPDATER_MENU_NAME "PATCHKEEPER"

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
