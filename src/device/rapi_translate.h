// Translation between the program's remote handle types and the real HANDLE and HKEY values.
//
// Internal to the Windows binding: include it after <windows.h> (it names
// HANDLE, HKEY and their macros but does not include <windows.h> itself, so
// that rapi_library.cpp stays the one file of src/device/ that does). The
// stand-in DLLs use the same functions for the reverse direction, so that the
// two sides can never disagree.
#pragma once

#ifndef _WINDOWS_
#error "include <windows.h> before device/rapi_translate.h"
#endif

#include <cstdint>
#include <string>

#include "device/remote_device.h"

namespace zp::rapi {

// The enum types carry the values by width: a pointer-sized value must fit.
static_assert(sizeof(HANDLE) == sizeof(CeHandle));
static_assert(sizeof(HKEY) == sizeof(CeKey));
static_assert(sizeof(HKEY) == sizeof(CeSvcHandle));

/// The program's handle as the remote API takes it. INVALID_HANDLE_VALUE is
/// spelled out rather than relied on to be all ones.
inline HANDLE ToWinHandle(CeHandle handle) {
  if (handle == kInvalidCeHandle) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
}

inline CeHandle FromWinHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return kInvalidCeHandle;
  return static_cast<CeHandle>(reinterpret_cast<std::uintptr_t>(handle));
}

/// HKEY_LOCAL_MACHINE is sign-extended on 64-bit Windows
/// (0xFFFFFFFF80000002), while kCeHkeyLocalMachine is the same number on
/// every width: the root is mapped by name, every other key by value.
inline HKEY ToWinKey(CeKey key) {
  if (key == kCeHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

inline CeKey FromWinKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return kCeHkeyLocalMachine;
  return static_cast<CeKey>(reinterpret_cast<std::uintptr_t>(key));
}

/// Profile and enumeration handles have no reserved values besides 0.
inline HKEY ToWinSvc(CeSvcHandle handle) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(handle));
}

inline CeSvcHandle FromWinSvc(HKEY handle) {
  return static_cast<CeSvcHandle>(reinterpret_cast<std::uintptr_t>(handle));
}

/// The 16-bit device paths as the W functions take them.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline LPCWSTR WinPath(const std::u16string& path) {
  return reinterpret_cast<LPCWSTR>(path.c_str());
}

/// A path handed in by a caller; null reads as the empty path (the default
/// value of a registry key, an absent command line).
inline std::u16string FromWinPath(LPCWSTR path) {
  if (!path) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(path));
}

inline CeProcessInfo FromWinProcess(const PROCESS_INFORMATION& info) {
  CeProcessInfo out;
  out.hProcess = FromWinHandle(info.hProcess);
  out.hThread = FromWinHandle(info.hThread);
  out.dwProcessId = info.dwProcessId;
  out.dwThreadId = info.dwThreadId;
  return out;
}

inline PROCESS_INFORMATION ToWinProcess(const CeProcessInfo& info) {
  PROCESS_INFORMATION out{};
  out.hProcess = ToWinHandle(info.hProcess);
  out.hThread = ToWinHandle(info.hThread);
  out.dwProcessId = info.dwProcessId;
  out.dwThreadId = info.dwThreadId;
  return out;
}

}  // namespace zp::rapi
