// Resource ids of the self-extractor.
#pragma once

#define IDI_SFX 1
#define IDD_MAIN 100
#define IDD_OVERWRITE 101
#define IDD_PASSWORD 102

#define IDC_SFX_ICON 1000
#define IDC_INTRO 1001
#define IDC_DIR_LABEL 1002
#define IDC_DIR 1003
#define IDC_BROWSE 1004
#define IDC_OVR_GROUP 1005
#define IDC_OVR_ASK 1006
#define IDC_OVR_ALWAYS 1007
#define IDC_OVR_NEVER 1008
#define IDC_RUN 1009
#define IDC_FILES_LABEL 1010
#define IDC_FILES 1011
#define IDC_ALL 1012
#define IDC_NONE 1013
#define IDC_STATUS 1014
#define IDC_PROGRESS 1015
#define IDC_LINE 1016
#define IDC_KEEP 1017

#define IDC_OVR_TEXT 1100
#define IDC_OVR_ICON 1101
#define IDC_YESALL 1102
#define IDC_NOALL 1103

#define IDC_PW_TEXT 1200
#define IDC_PW 1201
