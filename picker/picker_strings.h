#pragma once
// String-table entries of the folder picker's window; the resource script includes this too.
#define IDS_PICKER_CREATE 58910
#define IDS_PICKER_TITLE 58911
#define IDS_PICKER_CANCEL 58991
#define IDS_PICKER_OK 58992
#define IDS_PICKER_ROOT 65217
