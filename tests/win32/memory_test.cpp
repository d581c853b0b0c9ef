// VirtualAlloc and VirtualFree: zeroed regions, commits in reserved space, and the errors.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

TEST(MemoryTest, CommittedRegionsAreZeroedAndWritable) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{100000}}) {
        SCOPED_TRACE(size);
        auto* bytes = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 0x10000, 0u);  // 64 KiB granularity
        for (SIZE_T i = 0; i < size; ++i)
            ASSERT_EQ(bytes[i], 0) << i;
        std::memset(bytes, 0xA5, size);
        EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
    }
}

TEST(MemoryTest, ReservedPagesCommitLaterAndDecommitToZero) {
    auto* base =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    auto* page = static_cast<unsigned char*>(
        VirtualAlloc(base + 4096 + 10, 100, MEM_COMMIT, PAGE_READWRITE));
    EXPECT_EQ(page, base + 4096);  // rounded down to its page
    page[0] = 1;
    page[4095] = 2;
    EXPECT_TRUE(VirtualFree(page, 4096, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(page, 4096, MEM_COMMIT, PAGE_READWRITE), page);
    EXPECT_EQ(page[0], 0);
    EXPECT_EQ(page[4095], 0);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(MemoryTest, ErrorsAsWindowsGivesThem) {
    struct AllocCase {
        SIZE_T size;
        DWORD type;
        DWORD protect;
        DWORD error;
    } alloc_cases[] = {
        {0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, 0, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_RELEASE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_COMMIT, 0x40 /* not a protection we know */, ERROR_INVALID_PARAMETER},
        {~SIZE_T{0}, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& c : alloc_cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(VirtualAlloc(nullptr, c.size, c.type, c.protect), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }

    auto* bytes =
        static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(bytes, nullptr);
    EXPECT_FALSE(VirtualFree(bytes, 8192, MEM_RELEASE));  // a release takes size 0
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_FALSE(VirtualFree(bytes + 4096, 0, MEM_RELEASE));  // and the region's base
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ADDRESS});
    EXPECT_FALSE(VirtualFree(bytes, 0, MEM_RELEASE | MEM_DECOMMIT));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_TRUE(VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(bytes, 0, MEM_RELEASE));  // already gone
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ADDRESS});
    EXPECT_EQ(VirtualAlloc(bytes, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ADDRESS});
}

}  // namespace
