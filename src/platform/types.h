#pragma once
// Win32-shaped types, constants and records of the platform interface.
//
// The values are those of the Win32 API, so that the Win32 backend passes
// them through unchanged. The names avoid the Win32 macro names (ERROR_SUCCESS,
// HKEY_LOCAL_MACHINE, ...) because <windows.h> defines those as macros and the
// Win32 backend sees both.
#include <cstdint>

namespace hv {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using BYTE = std::uint8_t;
using LSTATUS = LONG;

// Opaque handles. Values are backend-defined; null is "none".
struct HKEY__;
using HKEY = HKEY__*;
struct HANDLE__;
using HANDLE = HANDLE__*;
struct HWND__;
using HWND = HWND__*;

// Predefined registry roots (their Win32 numeric values).
HKEY HkeyLocalMachine();
HKEY HkeyUsers();

// Error codes (GetLastError / LSTATUS).
namespace err {
inline constexpr DWORD kSuccess = 0;
inline constexpr DWORD kFileNotFound = 2;
inline constexpr DWORD kPathNotFound = 3;
inline constexpr DWORD kAccessDenied = 5;
inline constexpr DWORD kInvalidHandle = 6;
inline constexpr DWORD kNotEnoughMemory = 8;
inline constexpr DWORD kNotSameDevice = 17;
inline constexpr DWORD kWriteFault = 29;
inline constexpr DWORD kSharingViolation = 32;
inline constexpr DWORD kFileExists = 80;
inline constexpr DWORD kInvalidParameter = 87;
inline constexpr DWORD kInsufficientBuffer = 122;
inline constexpr DWORD kModNotFound = 126;
inline constexpr DWORD kProcNotFound = 127;
inline constexpr DWORD kAlreadyExists = 183;
inline constexpr DWORD kMoreData = 234;
inline constexpr DWORD kNoMoreItems = 259;
inline constexpr DWORD kBadDb = 1009;         // ERROR_BADDB
inline constexpr DWORD kBadKey = 1010;        // ERROR_BADKEY
inline constexpr DWORD kCantOpen = 1011;      // ERROR_CANTOPEN
inline constexpr DWORD kCantRead = 1012;      // ERROR_CANTREAD
inline constexpr DWORD kCantWrite = 1013;     // ERROR_CANTWRITE
inline constexpr DWORD kRegistryCorrupt = 1015;
inline constexpr DWORD kCancelled = 1223;     // ERROR_CANCELLED
inline constexpr DWORD kNoSuchPrivilege = 1313;
inline constexpr DWORD kPrivilegeNotHeld = 1314;
inline constexpr DWORD kNotAllAssigned = 1300;
}  // namespace err

// Registry value types.
namespace reg {
inline constexpr DWORD kNone = 0;
inline constexpr DWORD kSz = 1;
inline constexpr DWORD kExpandSz = 2;
inline constexpr DWORD kBinary = 3;
inline constexpr DWORD kDword = 4;
inline constexpr DWORD kMultiSz = 7;
inline constexpr DWORD kQword = 11;
}  // namespace reg

// Registry access rights and view flags.
namespace access {
inline constexpr DWORD kKeyQueryValue = 0x0001;
inline constexpr DWORD kKeyEnumerateSubKeys = 0x0008;
inline constexpr DWORD kKeyRead = 0x20019;
inline constexpr DWORD kKeyAllAccess = 0xF003F;
inline constexpr DWORD kKeyWow64_64Key = 0x0100;
inline constexpr DWORD kKeyWow64_32Key = 0x0200;

inline constexpr DWORD kGenericRead = 0x80000000u;
inline constexpr DWORD kGenericWrite = 0x40000000u;

inline constexpr DWORD kTokenAdjustPrivileges = 0x0020;
inline constexpr DWORD kTokenQuery = 0x0008;
inline constexpr DWORD kTokenAllAccessF00FF = 0xF00FF;
}  // namespace access

// File creation, attributes.
namespace file {
inline constexpr DWORD kCreateNew = 1;
inline constexpr DWORD kCreateAlways = 2;
inline constexpr DWORD kOpenExisting = 3;
inline constexpr DWORD kAttributeDirectory = 0x10;
inline constexpr DWORD kAttributeNormal = 0x80;
inline constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFFu;
// MoveFileExA flags.
inline constexpr DWORD kMoveFileReplaceExisting = 0x1;
inline constexpr DWORD kMoveFileCopyAllowed = 0x2;
inline constexpr DWORD kMoveFileDelayUntilReboot = 0x4;
inline constexpr DWORD kMoveFileWriteThrough = 0x8;
}  // namespace file

// Drive types of GetDriveTypeA.
namespace drive {
inline constexpr UINT kUnknown = 0;
inline constexpr UINT kNoRootDir = 1;
inline constexpr UINT kRemovable = 2;
inline constexpr UINT kFixed = 3;
inline constexpr UINT kRemote = 4;
inline constexpr UINT kCdrom = 5;
inline constexpr UINT kRamdisk = 6;
}  // namespace drive

inline constexpr DWORD kSePrivilegeEnabled = 2;
inline constexpr UINT kEwxReboot = 2;
inline constexpr UINT kEwxForce = 4;
inline constexpr UINT kEwxForceIfHung = 0x10;
inline constexpr int kSwShow = 5;
inline constexpr DWORD kVerPlatformWin32Nt = 2;

// Returned by CreateFileA / FindFirstFileA on failure.
HANDLE InvalidHandleValue();

struct Luid {
  DWORD lowPart = 0;
  LONG highPart = 0;
  friend bool operator==(const Luid&, const Luid&) = default;
};

// TOKEN_PRIVILEGES with room for one entry, the only form the system uses.
struct TokenPrivileges {
  DWORD privilegeCount = 0;
  Luid luid;
  DWORD attributes = 0;
};

// OSVERSIONINFOA: 148 bytes on Windows.
struct OsVersionInfoA {
  DWORD dwOSVersionInfoSize = 148;
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  char szCSDVersion[128] = {};
};

// WIN32_FIND_DATAA, the fields the system reads.
struct FindDataA {
  DWORD dwFileAttributes = 0;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  char cFileName[260] = {};
};

// SYSTEMTIME.
struct SystemTime {
  std::uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
  std::uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

// System Restore records, byte-packed as the client library publishes them.
#pragma pack(push, 1)
struct RestorePointInfoA {
  DWORD dwEventType = 0;
  DWORD dwRestorePtType = 0;
  std::int64_t llSequenceNumber = 0;
  char szDescription[64] = {};
};
struct StateMgrStatus {
  DWORD nStatus = 0;
  std::int64_t llSequenceNumber = 0;
};
#pragma pack(pop)
static_assert(sizeof(RestorePointInfoA) == 80);
static_assert(sizeof(StateMgrStatus) == 12);

inline constexpr DWORD kBeginSystemChange = 100;
inline constexpr DWORD kApplicationInstall = 0;

}  // namespace hv
