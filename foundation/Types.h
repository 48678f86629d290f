#pragma once
// Fixed-width types and result codes shared by every layer.
//
// Every number that is stored in a file or sent on the wire has one of the fixed widths below;
// `long` and `unsigned long` are 64-bit on this platform and are never used for such fields.
#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef uint64_t QWORD;
typedef std::size_t SIZE_T;  // a size in memory (never stored or sent)

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Result codes. Zero is success, negative values are failures.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);  // cancelled by the user
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);   // general failure
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
