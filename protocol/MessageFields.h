#pragma once
// What each kind of message field becomes in code: its parameter type, its local when decoded,
// its wire read and write, its log fragment and argument, and its place in a recorded call.
//
// A field is `F(Kind, name)` in the lists of protocol/Messages.h, a response field other than the
// result `F(Kind, name, Getter, shape)` with the client's getter of it (protocol/Messages.h); a generator
// passes one of the QUOR_FIELD_<ASPECT> macros below as F. Kinds:
//   Word     DWORD, one little-endian word, logged "0x%08x"
//   Release  DWORD, a release number: as Word, but a failure answer carries 0xFFFFFFFF
//   Uint     UINT, one word (flags and parameter sets), logged "0x%08x"
//   String   std::string, length word + bytes + zero byte, logged "%s"
//   Flag     bool, one byte, logged "%d" as 0 or 1
//   Strings  std::vector<std::string>, count word + strings, logged "%zu names"
//   Words    std::vector<DWORD>, count word + words, logged "%zu versions"
//   Result   HRESULT, the result word of a response header (never in the body), logged "0x%08x";
//            always named `hr`, the name the decoder reads the header's result into.
// Macros only, no state.
#include <string>
#include <vector>

#include "foundation/Types.h"

// `, const T name`: a parameter after requester and request id.
#define QUOR_FIELD_PARAM(kind, name, ...) , QUOR_FIELD_TYPE_##kind name
// `const T name,`: a parameter in front of others (the client's factories).
#define QUOR_FIELD_PARAM_FIRST(kind, name, ...) QUOR_FIELD_TYPE_##kind name,
// `, const T`: an unnamed parameter (the null doubles).
#define QUOR_FIELD_UNNAMED(kind, name, ...) , QUOR_FIELD_TYPE_##kind
// `, name`: the field passed on.
#define QUOR_FIELD_ARG(kind, name, ...) , name
#define QUOR_FIELD_TYPE_Word const DWORD
#define QUOR_FIELD_TYPE_Release const DWORD
#define QUOR_FIELD_TYPE_Uint const UINT
#define QUOR_FIELD_TYPE_String const std::string&
#define QUOR_FIELD_TYPE_Flag const bool
#define QUOR_FIELD_TYPE_Strings const std::vector<std::string>&
#define QUOR_FIELD_TYPE_Words const std::vector<DWORD>&
#define QUOR_FIELD_TYPE_Result const HRESULT

// The decoder's local for a field, and its read (`&& in.Kind(name)`); a result is in the header.
#define QUOR_FIELD_LOCAL(kind, name, ...) QUOR_FIELD_LOCAL_##kind(name)
#define QUOR_FIELD_LOCAL_Word(name) DWORD name = 0;
#define QUOR_FIELD_LOCAL_Release(name) DWORD name = 0;
#define QUOR_FIELD_LOCAL_Uint(name) DWORD name = 0;
#define QUOR_FIELD_LOCAL_String(name) std::string name;
#define QUOR_FIELD_LOCAL_Flag(name) bool name = false;
#define QUOR_FIELD_LOCAL_Strings(name) std::vector<std::string> name;
#define QUOR_FIELD_LOCAL_Words(name) std::vector<DWORD> name;
#define QUOR_FIELD_LOCAL_Result(name)
#define QUOR_FIELD_READ(kind, name, ...) QUOR_FIELD_READ_##kind(name)
#define QUOR_FIELD_READ_Word(name) &&in.Word(name)
#define QUOR_FIELD_READ_Release(name) &&in.Word(name)
#define QUOR_FIELD_READ_Uint(name) &&in.Word(name)
#define QUOR_FIELD_READ_String(name) &&in.String(name)
#define QUOR_FIELD_READ_Flag(name) &&in.Flag(name)
#define QUOR_FIELD_READ_Strings(name) &&in.Strings(name)
#define QUOR_FIELD_READ_Words(name) &&in.Words(name)
#define QUOR_FIELD_READ_Result(name)

// The writer's call for a field (`.Kind(name)`), and the header's result (`header = hr;`).
#define QUOR_FIELD_WRITE(kind, name, ...) QUOR_FIELD_WRITE_##kind(name)
#define QUOR_FIELD_WRITE_Word(name) .Word(name)
#define QUOR_FIELD_WRITE_Release(name) .Word(name)
#define QUOR_FIELD_WRITE_Uint(name) .Word(name)
#define QUOR_FIELD_WRITE_String(name) .String(name)
#define QUOR_FIELD_WRITE_Flag(name) .Flag(name)
#define QUOR_FIELD_WRITE_Strings(name) .Strings(name)
#define QUOR_FIELD_WRITE_Words(name) .Words(name)
#define QUOR_FIELD_WRITE_Result(name)
#define QUOR_FIELD_HEADER(kind, name, ...) QUOR_FIELD_HEADER_##kind(name)
#define QUOR_FIELD_HEADER_Word(name)
#define QUOR_FIELD_HEADER_Release(name)
#define QUOR_FIELD_HEADER_Uint(name)
#define QUOR_FIELD_HEADER_String(name)
#define QUOR_FIELD_HEADER_Flag(name)
#define QUOR_FIELD_HEADER_Strings(name)
#define QUOR_FIELD_HEADER_Words(name)
#define QUOR_FIELD_HEADER_Result(name) header = name;

// The sender's log: a format fragment (string literals that join) and its argument.
#define QUOR_FIELD_FORMAT(kind, name, ...) QUOR_FIELD_FORMAT_##kind
#define QUOR_FIELD_FORMAT_Word ", 0x%08x"
#define QUOR_FIELD_FORMAT_Release ", 0x%08x"
#define QUOR_FIELD_FORMAT_Uint ", 0x%08x"
#define QUOR_FIELD_FORMAT_String ", %s"
#define QUOR_FIELD_FORMAT_Flag ", %d"
#define QUOR_FIELD_FORMAT_Strings ", %zu names"
#define QUOR_FIELD_FORMAT_Words ", %zu versions"
#define QUOR_FIELD_FORMAT_Result ", 0x%08x"
#define QUOR_FIELD_LOG_ARG(kind, name, ...) , QUOR_FIELD_LOG_ARG_##kind(name)
#define QUOR_FIELD_LOG_ARG_Word(name) name
#define QUOR_FIELD_LOG_ARG_Release(name) name
#define QUOR_FIELD_LOG_ARG_Uint(name) name
#define QUOR_FIELD_LOG_ARG_String(name) name.c_str()
#define QUOR_FIELD_LOG_ARG_Flag(name) name ? 1 : 0
#define QUOR_FIELD_LOG_ARG_Strings(name) name.size()
#define QUOR_FIELD_LOG_ARG_Words(name) name.size()
#define QUOR_FIELD_LOG_ARG_Result(name) name

// The value a failure answer carries for a field: `hr` for a result, empty lists and texts, 0 for
// words and 0xFFFFFFFF for release numbers.
#define QUOR_FIELD_FAILURE(kind, name, ...) , QUOR_FIELD_FAILURE_##kind
#define QUOR_FIELD_FAILURE_Word DWORD(0)
#define QUOR_FIELD_FAILURE_Release DWORD(0xFFFFFFFF)
#define QUOR_FIELD_FAILURE_Uint UINT(0)
#define QUOR_FIELD_FAILURE_String std::string()
#define QUOR_FIELD_FAILURE_Flag false
#define QUOR_FIELD_FAILURE_Strings std::vector<std::string>()
#define QUOR_FIELD_FAILURE_Words std::vector<DWORD>()
#define QUOR_FIELD_FAILURE_Result hr

// The recording doubles' call on RecordedCall for a field.
#define QUOR_FIELD_RECORD(kind, name, ...) QUOR_FIELD_RECORD_##kind(name)
#define QUOR_FIELD_RECORD_Word(name) .Word(name)
#define QUOR_FIELD_RECORD_Release(name) .Word(name)
#define QUOR_FIELD_RECORD_Uint(name) .Word(name)
#define QUOR_FIELD_RECORD_String(name) .Text(name)
#define QUOR_FIELD_RECORD_Flag(name) .Flag(name)
#define QUOR_FIELD_RECORD_Strings(name) .List(name)
#define QUOR_FIELD_RECORD_Words(name) .Versions(name)
#define QUOR_FIELD_RECORD_Result(name) .Result(name)

// The stored type of a field (the client's result members).
#define QUOR_FIELD_VALUE_Word DWORD
#define QUOR_FIELD_VALUE_Release DWORD
#define QUOR_FIELD_VALUE_Uint UINT
#define QUOR_FIELD_VALUE_String std::string
#define QUOR_FIELD_VALUE_Flag bool
#define QUOR_FIELD_VALUE_Strings std::vector<std::string>
#define QUOR_FIELD_VALUE_Words std::vector<DWORD>
#define QUOR_FIELD_VALUE_Result HRESULT

// QUOR_FIELD_IF_VALUE_<Kind>(...) keeps its arguments for every kind but the result,
// QUOR_FIELD_IF_RESULT_<Kind>(...) only for the result.
#define QUOR_FIELD_IF_VALUE_Word(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Release(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Uint(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_String(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Flag(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Strings(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Words(...) __VA_ARGS__
#define QUOR_FIELD_IF_VALUE_Result(...)
#define QUOR_FIELD_IF_RESULT_Word(...)
#define QUOR_FIELD_IF_RESULT_Release(...)
#define QUOR_FIELD_IF_RESULT_Uint(...)
#define QUOR_FIELD_IF_RESULT_String(...)
#define QUOR_FIELD_IF_RESULT_Flag(...)
#define QUOR_FIELD_IF_RESULT_Strings(...)
#define QUOR_FIELD_IF_RESULT_Words(...)
#define QUOR_FIELD_IF_RESULT_Result(...) __VA_ARGS__

// QUOR_TAIL(list): a list that opens with a comma, without it (`, a, b` gives `a, b`).
#define QUOR_TAIL(...) QUOR_TAIL_I(__VA_ARGS__)
#define QUOR_TAIL_I(first, ...) __VA_ARGS__
