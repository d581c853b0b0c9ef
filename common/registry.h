// Registry access library: stateless operations on keys below HKEY_LOCAL_MACHINE. Each opens its
// own key, does one thing, closes the key and returns a small result.
#ifndef TARVEX_REGISTRY_H
#define TARVEX_REGISTRY_H

#include <windows.h>

#define REG_OK 0
#define REG_OPEN_FAILED 1
#define REG_ACCESS_FAILED 2

// 1 when the key exists, 0 when not.
int RegKeyExists(const char* keyPath);
// Creates the key (or opens an existing one); a failure is shown in a message box.
int RegMakeKey(const char* keyPath);
// Stores the text with its terminating NUL under the caller's value type.
int RegPutString(const char* keyPath, const char* valueName, const char* text, DWORD valueType);
// Removes the value when it equals the default, else stores it as a REG_DWORD.
int RegPutDwordOrDelete(const char* keyPath, const char* valueName, DWORD value,
                        DWORD defaultValue);
int RegRemoveSubkey(const char* parentPath, const char* childName);
int RegRemoveValue(const char* keyPath, const char* valueName);
int RegPutDword(const char* keyPath, const char* valueName, DWORD value);
// Reads a text into buffer; on a failed read the buffer holds the empty string.
int RegFetchString(const char* keyPath, const char* valueName, char* buffer, DWORD bufferSize);
// Reads a 32-bit value; on a failed read the output is 0.
int RegFetchDword(const char* keyPath, const char* valueName, DWORD* value);

#endif
