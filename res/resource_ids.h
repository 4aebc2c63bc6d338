/* Resource ids shared by the resource scripts and the program: dialogs,
   their controls, the picture, the icon and the base ids of the strings.
   A base string id names the German text; the English one is id + 1. */
#ifndef RESOURCE_IDS_H
#define RESOURCE_IDS_H

/* Dialog templates */
#define IDD_FRAME     101
#define IDD_INTRO     102
#define IDD_FOLDER    103
#define IDD_PROGRESS  104
#define IDD_FINISH    105
#define IDD_EXIT      106
#define IDD_PASSWORD  122

/* Bitmap and icon */
#define IDB_WIZARD    120
#define IDI_APP       121

/* Frame (101) */
#define IDC_CANCEL    1016
#define IDC_BACK      1017
#define IDC_NEXT      1018
#define IDC_PICTURE   1020
#define IDC_SEPARATOR 1021

/* Intro (102) */
#define IDC_INTRO_TEXT 1019
#define IDC_INTRO_LINK 1035

/* Password (122) */
#define IDC_PASSWORD_PROMPT 1037
#define IDC_PASSWORD_EDIT   1038

/* Folder (103) */
#define IDC_FOLDER_TEXT   1026
#define IDC_FOLDER_EDIT   1027
#define IDC_FOLDER_BROWSE 1028

/* Progress (104) */
#define IDC_PROGRESS_BAR     1029
#define IDC_PROGRESS_HEADING 1031
#define IDC_PROGRESS_FILE    1032
#define IDC_PROGRESS_STATUS  1033

/* Finish (105) and exit (106) */
#define IDC_FINISH_TEXT 1025
#define IDC_EXIT_TEXT   1036

/* Base string ids (German; English is id + 1) */
#define IDS_FOLDER_EXPLANATION  1
#define IDS_BROWSE              3
#define IDS_PLEASE_WAIT         5
#define IDS_CHECKING_ARCHIVE    7
#define IDS_EXTRACTING_FILE     9
#define IDS_FINISH              11
#define IDS_CANCEL              13
#define IDS_BACK                15
#define IDS_NEXT                17
#define IDS_DEFAULT_TITLE       19
#define IDS_ERR_CREATE_FOLDER   21
#define IDS_ERR_NO_MEMORY       23
#define IDS_ERR_READ_ARCHIVE    25
#define IDS_ERR_CREATE_FILE     27
#define IDS_ERR_WRITE_FILE      29
#define IDS_ERR_START           31
#define IDS_ERR_CORRUPT         35
#define IDS_EXIT                37
#define IDS_PASSWORD_PROMPT     39
#define IDS_PASSWORD_WRONG      41
#define IDS_ERR_START_PROGRAM   43
#define IDS_SWITCH_HELP         45
#define IDS_SWITCHES_REFUSED    47

#endif
