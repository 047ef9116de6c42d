#pragma once

#define IDD_EXCHANGE 100
#define IDC_TEXT 10
#define IDC_NUMBER 11
#define IDC_COUNT 12
#define IDC_CHECK 13
#define IDC_RADIO_FIRST 14
#define IDC_RADIO_LAST 16
#define IDC_DATE 17

#define IDS_PLAIN 1
#define IDS_FORMATTED 2

#define IDD_PAGE 101
#define IDC_PAGE_COUNT 20
