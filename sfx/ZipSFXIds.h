// Resource identifiers shared by the self-extractor's source and resource script.
#pragma once

#define IDI_MAIN 1
#define IDD_MAIN 100
#define IDD_PASSWORD 101
#define IDD_PROGRESS 102
#define IDC_DIR 1000
#define IDC_FILES 1001
#define IDC_FILES_LABEL 1002
#define IDC_OVR_GROUP 1003
#define IDC_OVR_CONFIRM 1004
#define IDC_OVR_ALWAYS 1005
#define IDC_OVR_NEVER 1006
#define IDC_PASSWORD 1010
#define IDC_PASSWORD_PROMPT 1011
#define IDC_PROGRESS_TEXT 1020
#define IDC_PROGRESS_BAR 1021
