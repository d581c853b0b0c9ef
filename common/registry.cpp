#include "registry.h"

#include <string.h>

#define SUBKEY_PATH_SIZE 300

int RegKeyExists(const char* keyPath) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

int RegMakeKey(const char* keyPath) {
    char noClass[1] = "";
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, noClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, &disposition) != ERROR_SUCCESS) {
        MessageBoxA(NULL, keyPath, "Could not create key", MB_OK);
        return REG_OPEN_FAILED;
    }
    RegCloseKey(key);
    return REG_OK;
}

int RegPutString(const char* keyPath, const char* valueName, const char* text, DWORD valueType) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return REG_OPEN_FAILED;
    }
    LONG written =
        RegSetValueExA(key, valueName, 0, valueType, (const BYTE*)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
    if (written != ERROR_SUCCESS) {
        MessageBoxA(NULL, "Error", "Reg. Error 1E", MB_OK);
        return REG_ACCESS_FAILED;
    }
    return REG_OK;
}

int RegPutDwordOrDelete(const char* keyPath, const char* valueName, DWORD value,
                        DWORD defaultValue) {
    if (value == defaultValue)
        return RegRemoveValue(keyPath, valueName);
    return RegPutDword(keyPath, valueName, value);
}

int RegRemoveSubkey(const char* parentPath, const char* childName) {
    if (!RegKeyExists(parentPath))
        return REG_OK;

    // The child's full path must fit the buffer whole; a cut path could name another key.
    size_t parentLength = strlen(parentPath);
    size_t childLength = strlen(childName);
    if (parentLength + 1 + childLength + 1 > SUBKEY_PATH_SIZE)
        return REG_OPEN_FAILED;
    char childPath[SUBKEY_PATH_SIZE];
    memcpy(childPath, parentPath, parentLength);
    childPath[parentLength] = '\\';
    memcpy(childPath + parentLength + 1, childName, childLength + 1);
    if (!RegKeyExists(childPath))
        return REG_OK;

    HKEY parent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath, 0, KEY_ALL_ACCESS, &parent) !=
        ERROR_SUCCESS) {
        return REG_OPEN_FAILED;
    }
    LONG deleted = RegDeleteKeyA(parent, childName);
    RegCloseKey(parent);
    return deleted != ERROR_SUCCESS ? REG_ACCESS_FAILED : REG_OK;
}

int RegRemoveValue(const char* keyPath, const char* valueName) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return REG_OPEN_FAILED;
    }
    LONG deleted = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return deleted != ERROR_SUCCESS ? REG_ACCESS_FAILED : REG_OK;
}

int RegPutDword(const char* keyPath, const char* valueName, DWORD value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return REG_OPEN_FAILED;
    }
    LONG written = RegSetValueExA(key, valueName, 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
    RegCloseKey(key);
    if (written != ERROR_SUCCESS) {
        MessageBoxA(NULL, "Error", "Reg. Error 1F", MB_OK);
        return REG_ACCESS_FAILED;
    }
    return REG_OK;
}

int RegFetchString(const char* keyPath, const char* valueName, char* buffer, DWORD bufferSize) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return REG_OPEN_FAILED;
    }
    DWORD type;
    DWORD length = bufferSize;
    LONG read = RegQueryValueExA(key, valueName, NULL, &type, (BYTE*)buffer, &length);
    RegCloseKey(key);
    if (read == ERROR_SUCCESS && length > 0 && buffer[length - 1] != '\0') {
        // Stored without its terminator: terminate it if there is room, else it does not fit.
        if (length < bufferSize) {
            buffer[length] = '\0';
        } else {
            read = ERROR_MORE_DATA;
        }
    } else if (read == ERROR_SUCCESS && length == 0 && bufferSize > 0) {
        buffer[0] = '\0';
    }
    if (read != ERROR_SUCCESS) {
        if (bufferSize > 0)
            buffer[0] = '\0';
        return REG_ACCESS_FAILED;
    }
    return REG_OK;
}

int RegFetchDword(const char* keyPath, const char* valueName, DWORD* value) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath, &key) != ERROR_SUCCESS)
        return REG_OPEN_FAILED;
    DWORD type;
    DWORD length = sizeof(*value);
    LONG read = RegQueryValueExA(key, valueName, NULL, &type, (BYTE*)value, &length);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS) {
        *value = 0;
        return REG_ACCESS_FAILED;
    }
    return REG_OK;
}
