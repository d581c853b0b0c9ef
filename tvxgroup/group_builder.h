// The program group of the board utilities, built or removed through the program manager's DDE
// execute commands on the service and topic "PROGMAN".
#ifndef TVXGROUP_GROUP_BUILDER_H
#define TVXGROUP_GROUP_BUILDER_H

#include <windows.h>
#include <ddeml.h>

// Group tables: the group's name, its file name, then one (caption, program file) pair per
// item; a NULL where the next caption would stand ends the table.
extern const char* const PortGroupTable[];
extern const char* const ModemGroupTable[];

// Results of BuildProgramGroup.
#define GROUP_BUILT 0
#define GROUP_NO_BUFFER 1
#define GROUP_NO_DDE 2
#define GROUP_NO_STRING_HANDLE 3

// Sends DeleteGroup and, unless removeOnly, CreateGroup, ShowGroup and one AddItem per item with
// the program files in itemsFolder (no trailing backslash). GROUP_BUILT once the commands were
// attempted, whatever the program manager answered or whether it answered at all.
int BuildProgramGroup(const char* const* table, const char* itemsFolder, int removeOnly);
int CreateProgramGroup(const char* const* table, const char* itemsFolder);
// itemsFolder is not used.
int RemoveProgramGroup(const char* const* table, const char* itemsFolder);

// The DDE callback: the builder is a client only and answers nothing.
HDDEDATA CALLBACK DdeNullCallback(UINT type, UINT format, HCONV conversation, HSZ string1,
                                  HSZ string2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

#endif
