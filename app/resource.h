#pragma once
// String-table entries of the folder picker.
#define IDS_PICKER_CREATE 1001
#define IDS_PICKER_TITLE 1002
#define IDS_PICKER_CANCEL 1003
#define IDS_PICKER_OK 1004
#define IDS_PICKER_ROOT 1005
