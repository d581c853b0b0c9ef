// Disk files, and the calls that act on any I/O object (files, serial ports, the board driver).
#include "devices.h"
#include "io_object.h"
#include "paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace w95 {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        case ENOSPC:
            return ERROR_WRITE_FAULT;
        default:
            return ERROR_GEN_FAILURE;
    }
}

class DiskFile : public IoObject {
  public:
    DiskFile(int fd, DWORD access, std::filesystem::path delete_on_close)
        : fd_(fd), access_(access), delete_on_close_(std::move(delete_on_close)) {}
    ~DiskFile() override { ::close(fd_); }

    BOOL Read(void* buffer, DWORD count, DWORD* done) override {
        *done = 0;
        if (!(access_ & (GENERIC_READ | GENERIC_ALL)))
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        auto* bytes = static_cast<char*>(buffer);
        while (*done < count) {
            ssize_t got = ::read(fd_, bytes + *done, count - *done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Fail(ERROR_READ_FAULT, FALSE);
            if (got == 0)
                break;  // end of file: success with what was read
            *done += static_cast<DWORD>(got);
        }
        return TRUE;
    }

    BOOL Write(const void* buffer, DWORD count, DWORD* done) override {
        *done = 0;
        if (!(access_ & (GENERIC_WRITE | GENERIC_ALL)))
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        const auto* bytes = static_cast<const char*>(buffer);
        while (*done < count) {
            ssize_t put = ::write(fd_, bytes + *done, count - *done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return Fail(ERROR_WRITE_FAULT, FALSE);
            *done += static_cast<DWORD>(put);
        }
        return TRUE;
    }

    DWORD Size(DWORD* high) override {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            if (high)
                *high = 0;
            return Fail(ERROR_GEN_FAILURE, INVALID_FILE_SIZE);
        }
        auto size = static_cast<uint64_t>(info.st_size);
        if (high)
            *high = static_cast<DWORD>(size >> 32);
        // A size whose low half reads INVALID_FILE_SIZE is only told apart by the last error.
        if (static_cast<DWORD>(size) == INVALID_FILE_SIZE)
            SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(size);
    }

    void OnClose() override {
        if (!delete_on_close_.empty())
            ::unlink(delete_on_close_.c_str());
    }

  private:
    int fd_;
    DWORD access_;
    std::filesystem::path delete_on_close_;
};

HANDLE OpenDiskFile(const std::string& name, DWORD access, DWORD creation, DWORD flags) {
    HostPath target = ToHostPath(name);
    if (target.error != ERROR_SUCCESS)
        return Fail(target.error, INVALID_HANDLE_VALUE);
    if (!target.parent_exists)
        return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);

    struct stat info {};
    bool exists = ::stat(target.path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

    bool writes = access & (GENERIC_WRITE | GENERIC_ALL);
    bool reads = access & (GENERIC_READ | GENERIC_ALL);
    int open_flags = O_CLOEXEC | O_NOCTTY;
    if (writes && reads) {
        open_flags |= O_RDWR;
    } else if (writes) {
        open_flags |= O_WRONLY;
    } else {
        open_flags |= O_RDONLY;  // also for access 0: the handle then neither reads nor writes
    }

    switch (creation) {
        case CREATE_NEW:
            if (exists)
                return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
            open_flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            open_flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            if (!exists)
                return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
            break;
        case OPEN_ALWAYS:
            open_flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            if (!writes)
                return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
            if (!exists)
                return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
            open_flags |= O_TRUNC;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if ((open_flags & O_TRUNC) && !writes) {
        // Truncating needs a writable descriptor even when the caller only reads.
        open_flags = (open_flags & ~O_ACCMODE) | O_RDWR;
    }

    mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    int fd = ::open(target.path.c_str(), open_flags, mode);
    if (fd < 0)
        return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);

    auto file = std::make_shared<DiskFile>(
        fd, access, (flags & FILE_FLAG_DELETE_ON_CLOSE) ? target.path : std::filesystem::path());
    HANDLE handle = AddHandle(std::move(file));
    if (!handle)
        return INVALID_HANDLE_VALUE;
    // Opening over an existing file succeeds and says so, as Windows does.
    bool reopened = exists && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

std::shared_ptr<IoObject> LookupIo(HANDLE handle) {
    return LookupHandleAs<IoObject>(handle);
}

}  // namespace
}  // namespace w95

using w95::Fail;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE) {
    if (!lpFileName)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string name = lpFileName;
    const size_t prefix_length = sizeof(w95::kDevicePrefix) - 1;
    if (name.compare(0, prefix_length, w95::kDevicePrefix) == 0) {
        w95::OpenRequest request{dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                 dwFlagsAndAttributes};
        return w95::OpenDevice(name.substr(prefix_length), request);
    }
    return w95::OpenDiskFile(name, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    DWORD done = 0;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto object = w95::LookupIo(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    // Overlapped input is not emulated: nothing opens a handle for it.
    if (lpOverlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!lpBuffer && nNumberOfBytesToRead > 0)
        return Fail(ERROR_NOACCESS, FALSE);
    BOOL ok = object->Read(lpBuffer, nNumberOfBytesToRead, &done);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = done;
    return ok;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    DWORD done = 0;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto object = w95::LookupIo(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpOverlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!lpBuffer && nNumberOfBytesToWrite > 0)
        return Fail(ERROR_NOACCESS, FALSE);
    BOOL ok = object->Write(lpBuffer, nNumberOfBytesToWrite, &done);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = done;
    return ok;
}

extern "C" DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto object = w95::LookupIo(hFile);
    if (!object) {
        if (lpFileSizeHigh)
            *lpFileSizeHigh = 0;
        return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    }
    return object->Size(lpFileSizeHigh);
}

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    auto object = w95::LookupIo(hDevice);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpOverlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD returned = 0;
    BOOL ok = object->Control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                              nOutBufferSize, &returned);
    if (lpBytesReturned)
        *lpBytesReturned = returned;
    return ok;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    return w95::CloseKernelHandle(hObject) ? TRUE : FALSE;
}
