// Frames on the board driver's socket (<machine>/dev/tarvexpt.vxd), shared by the layer's driver
// device and the board simulator. One connection is one open driver handle; requests on it are
// answered strictly in turn. All fields are host-endian 32-bit words (both ends run on one host).
//
//   request: DriverRequestHeader, then in_size bytes of input
//   reply:   DriverReplyHeader, then out_size bytes of output (never more than the request's
//            out_size); the caller copies them to the start of its output buffer
//
// Both ends move the bytes with unix_socket.h.
#pragma once

#include <cstdint>

namespace w95 {

constexpr char kDriverSocketName[] = "tarvexpt.vxd";

// Larger buffers are refused by both ends, so a corrupt header cannot make either allocate wildly.
constexpr uint32_t kDriverMaxBuffer = 64 * 1024;

struct DriverRequestHeader {
    uint32_t code;
    uint32_t in_size;
    uint32_t out_size;  // room in the caller's output buffer
};

struct DriverReplyHeader {
    uint32_t ok;        // 1: the request succeeded; 0: it failed with `error`
    uint32_t error;     // the Win32 error code of a failure
    uint32_t returned;  // what DeviceIoControl reports in lpBytesReturned
    uint32_t out_size;  // output bytes that follow
};

static_assert(sizeof(DriverRequestHeader) == 12, "request header is three words");
static_assert(sizeof(DriverReplyHeader) == 16, "reply header is four words");

}  // namespace w95
