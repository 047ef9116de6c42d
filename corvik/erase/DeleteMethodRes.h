// Resource ids of the erase-method dialog and its strings, in the table of the program that
// shows it. Only #define lines: rc reads this.
#pragma once

#define IDD_DELETE_METHOD 134
#define IDC_METHOD_COMBO 1090
#define IDC_ERASE 1064
#define IDC_METHOD_CANCEL 1015

#define IDS_ERASE_QUESTION 24
#define IDS_FIRST_METHOD_NAME 25  // 25 to 32: the names of DeleteMethod 0 to 7
