// Resource ids shared by the resource script and the program.
#pragma once

#define IDI_TOLVEX 1
#define IDB_OPEN_FOLDER 101
#define IDB_FLOPPY 102

// Form1's keys: Ctrl+O clicks Load, Ctrl+S clicks Save. The commands are the
// buttons' own ids (kIdOpen, kIdSave).
#define IDA_FORM1 1
#define IDC_KEY_LOAD 101
#define IDC_KEY_SAVE 102
