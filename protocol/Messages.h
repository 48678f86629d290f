#pragma once
// The table of kernel protocol messages: every type number, name and field list lives here and
// only here. The packet types, the type names, both protocol interfaces, both senders, both
// decoders, the null and recording doubles, the client manager's factories and response routing,
// the client's request classes and their public interfaces are expanded from it.
//
// A row is X(Name, TYPE, number, direction, requestLog, responseLog, view, arrivalLog):
//   Name       the operation: Name##Request towards the kernel, Name##Response back, and the
//              client's request class Name with its factory Create##Name;
//   TYPE       the packet type PACKET_TYPE_##TYPE, logged as "PACKET_TYPE_" TYPE "_REQUEST" /
//              "_RESPONSE";
//   number     the type word on the wire;
//   direction  BOTH (request and response), REQUEST (a request that gets no response: Cancel) or
//              PROGRESS (kernel reports under the number of Cancel, written out by hand in the
//              interface, sender, decoder and doubles, as its log line and field order follow
//              no pattern of the table);
//   requestLog / responseLog  how the sender logs: LOGGED ("(%d, 0x%08x" then each field),
//              NAMED ("(requester=%d, requestId=0x%08x)") or SILENT;
//   view       where the client's result view reads GetHResult: CODE (the response's result kept
//              by the request, also on failure), STATUS (the request's status) or NONE (the view
//              has no GetHResult);
//   arrivalLog how the client's OnResponse logs: OUTCOME ("0x%08x (%s)", result and
//              SUCCEEDED/FAILED), LABELLED (the same after "Result: "), FIELDS (each field, joined
//              by ", ") or SILENT (no client request).
// Each row's fields are QUOR_REQUEST_FIELDS_<Name>(F) and QUOR_RESPONSE_FIELDS_<Name>(F), in wire
// order, as F(Kind, name) (kinds in protocol/MessageFields.h); a response's Result field is the
// header's result word. Every other response field is F(Kind, name, Getter, shape): its getter in
// the client's result view, returning VALUE (a copy), REF (a const reference) or OUT (filling an
// out parameter). QUOR_FACTORY_ORDER gives the order of the client's factories. Rows are in
// type-number order. Macros only, no state.
#include "protocol/MessageFields.h"

#define QUOR_MESSAGES(X)                                                                                     \
    X(GetVersion, GET_VERSION, 0, BOTH, LOGGED, LOGGED, STATUS, FIELDS)                                      \
    X(Terminate, TERMINATE, 1, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                                          \
    X(EnumerateAvailableProjects, ENUM_AVAIL_PROJECTS, 2, BOTH, LOGGED, LOGGED, CODE, OUTCOME)               \
    X(EnumerateInstalledProjects, ENUM_INSTALLED_PROJECTS, 3, BOTH, LOGGED, LOGGED, CODE, OUTCOME)           \
    X(EnumerateAvailableProjectReleases, ENUM_AVAIL_PROJECT_RELEASES, 4, BOTH, LOGGED, LOGGED, CODE,         \
      OUTCOME)                                                                                               \
    X(EnumerateInstalledProjectReleases, ENUM_INSTALLED_PROJECT_RELEASES, 5, BOTH, LOGGED, LOGGED, CODE,     \
      OUTCOME)                                                                                               \
    X(InstallProjectRelease, INSTALL_PROJECT_RELEASE, 6, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                \
    X(UpdateProject, UPDATE_PROJECT, 7, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                                 \
    X(ValidateProject, VALIDATE_PROJECT, 8, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                             \
    X(UninstallProjectRelease, UNINSTALL_PROJECT_RELEASE, 9, BOTH, LOGGED, LOGGED, CODE, OUTCOME)            \
    X(EnumerateAvailableSolutions, ENUM_AVAIL_SOLUTIONS, 10, BOTH, LOGGED, LOGGED, CODE, OUTCOME)            \
    X(EnumerateInstalledSolutions, ENUM_INSTALLED_SOLUTIONS, 11, BOTH, LOGGED, LOGGED, CODE, OUTCOME)        \
    X(EnumerateAvailableSolutionReleases, ENUM_AVAIL_SOLUTION_RELEASES, 12, BOTH, LOGGED, LOGGED, CODE,      \
      OUTCOME)                                                                                               \
    X(EnumerateInstalledSolutionReleases, ENUM_INSTALLED_SOLUTION_RELEASES, 13, BOTH, LOGGED, LOGGED, CODE,  \
      OUTCOME)                                                                                               \
    X(InstallSolutionRelease, INSTALL_SOLUTION_RELEASE, 14, BOTH, LOGGED, LOGGED, CODE, OUTCOME)             \
    X(UpdateSolution, UPDATE_SOLUTION, 15, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                              \
    X(ValidateSolution, VALIDATE_SOLUTION, 16, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                          \
    X(UninstallSolutionRelease, UNINSTALL_SOLUTION_RELEASE, 17, BOTH, LOGGED, LOGGED, CODE, OUTCOME)         \
    X(CreateProcess, CREATE_PROCESS, 18, BOTH, LOGGED, LOGGED, STATUS, FIELDS)                               \
    X(SetLogParameters, SET_LOG_PARAMETERS, 19, BOTH, LOGGED, LOGGED, STATUS, FIELDS)                        \
    X(LockFile, LOCK_FILE, 20, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                                          \
    X(UnlockFile, UNLOCK_FILE, 21, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                                      \
    X(Cancel, CANCEL, 22, REQUEST, LOGGED, SILENT, NONE, SILENT)                                             \
    X(RequestProgress, REQUEST_PROGRESS, 22, PROGRESS, SILENT, SILENT, NONE, SILENT)                         \
    X(Repair, REPAIR, 23, BOTH, LOGGED, LOGGED, CODE, OUTCOME)                                               \
    X(InstallSolutionReleaseByProjectVersion, INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION, 24, BOTH, LOGGED, \
      LOGGED, CODE, OUTCOME)                                                                                 \
    X(GetProjectVersionForSolutionRelease, GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE, 25, BOTH, LOGGED,       \
      LOGGED, NONE, FIELDS)                                                                                  \
    X(GetQuorLibrary, GET_QUOR_LIBRARY, 26, BOTH, NAMED, SILENT, STATUS, LABELLED)

// The order of the client's factories in its public manager interface (Quor::API::RPC::IManager):
// programs built against the library call them through its virtual table, so rows keep their
// places and a new request with a response goes at the end.
// clang-format off
#define QUOR_FACTORY_ORDER(X)                                \
    X(GetVersion)                                            \
    X(EnumerateAvailableProjects)                            \
    X(EnumerateInstalledProjects)                            \
    X(EnumerateAvailableProjectReleases)                     \
    X(EnumerateInstalledProjectReleases)                     \
    X(InstallProjectRelease)                                 \
    X(UpdateProject)                                         \
    X(Repair)                                                \
    X(ValidateProject)                                       \
    X(UninstallProjectRelease)                               \
    X(EnumerateAvailableSolutions)                           \
    X(EnumerateInstalledSolutions)                           \
    X(EnumerateAvailableSolutionReleases)                    \
    X(EnumerateInstalledSolutionReleases)                    \
    X(InstallSolutionRelease)                                \
    X(InstallSolutionReleaseByProjectVersion)                \
    X(UpdateSolution)                                        \
    X(ValidateSolution)                                      \
    X(UninstallSolutionRelease)                              \
    X(Terminate)                                             \
    X(CreateProcess)                                         \
    X(SetLogParameters)                                      \
    X(LockFile)                                              \
    X(UnlockFile)                                            \
    X(GetProjectVersionForSolutionRelease)                   \
    X(GetQuorLibrary)
// clang-format on

#define QUOR_REQUEST_FIELDS_GetVersion(F)
#define QUOR_RESPONSE_FIELDS_GetVersion(F) F(Word, version, GetResult, VALUE)

#define QUOR_REQUEST_FIELDS_Terminate(F)
#define QUOR_RESPONSE_FIELDS_Terminate(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_EnumerateAvailableProjects(F)
#define QUOR_RESPONSE_FIELDS_EnumerateAvailableProjects(F) \
    F(Result, hr) F(Strings, projects, GetProjects, REF)

#define QUOR_REQUEST_FIELDS_EnumerateInstalledProjects(F)
#define QUOR_RESPONSE_FIELDS_EnumerateInstalledProjects(F) \
    F(Result, hr) F(Strings, projects, GetProjects, REF)

#define QUOR_REQUEST_FIELDS_EnumerateAvailableProjectReleases(F) F(String, project)
#define QUOR_RESPONSE_FIELDS_EnumerateAvailableProjectReleases(F) \
    F(Result, hr) F(Words, versions, GetReleases, REF)

#define QUOR_REQUEST_FIELDS_EnumerateInstalledProjectReleases(F) F(String, project)
#define QUOR_RESPONSE_FIELDS_EnumerateInstalledProjectReleases(F) \
    F(Result, hr) F(Words, versions, GetReleases, REF)

#define QUOR_REQUEST_FIELDS_InstallProjectRelease(F) F(String, project) F(Release, version)
#define QUOR_RESPONSE_FIELDS_InstallProjectRelease(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_UpdateProject(F) F(String, project)
#define QUOR_RESPONSE_FIELDS_UpdateProject(F) F(Result, hr) F(Release, version, GetVersion, VALUE)

#define QUOR_REQUEST_FIELDS_ValidateProject(F) F(String, project)
#define QUOR_RESPONSE_FIELDS_ValidateProject(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_UninstallProjectRelease(F) F(String, project) F(Release, version)
#define QUOR_RESPONSE_FIELDS_UninstallProjectRelease(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_EnumerateAvailableSolutions(F)
#define QUOR_RESPONSE_FIELDS_EnumerateAvailableSolutions(F) \
    F(Result, hr) F(Strings, solutions, GetSolutions, REF)

#define QUOR_REQUEST_FIELDS_EnumerateInstalledSolutions(F)
#define QUOR_RESPONSE_FIELDS_EnumerateInstalledSolutions(F) \
    F(Result, hr) F(Strings, solutions, GetSolutions, REF)

#define QUOR_REQUEST_FIELDS_EnumerateAvailableSolutionReleases(F) F(String, solution)
#define QUOR_RESPONSE_FIELDS_EnumerateAvailableSolutionReleases(F) \
    F(Result, hr) F(Words, versions, GetReleases, REF)

#define QUOR_REQUEST_FIELDS_EnumerateInstalledSolutionReleases(F) F(String, solution)
#define QUOR_RESPONSE_FIELDS_EnumerateInstalledSolutionReleases(F) \
    F(Result, hr) F(Words, versions, GetReleases, REF)

#define QUOR_REQUEST_FIELDS_InstallSolutionRelease(F) \
    F(String, solution) F(Release, version) F(String, configuration)
#define QUOR_RESPONSE_FIELDS_InstallSolutionRelease(F) F(Result, hr) F(Release, version, GetVer, VALUE)

#define QUOR_REQUEST_FIELDS_UpdateSolution(F) F(String, solution) F(String, configuration)
#define QUOR_RESPONSE_FIELDS_UpdateSolution(F) F(Result, hr) F(Release, version, GetVersion, VALUE)

#define QUOR_REQUEST_FIELDS_ValidateSolution(F) F(String, solution)
#define QUOR_RESPONSE_FIELDS_ValidateSolution(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_UninstallSolutionRelease(F) F(String, solution) F(Release, version)
#define QUOR_RESPONSE_FIELDS_UninstallSolutionRelease(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_CreateProcess(F) \
    F(String, name) F(Release, version) F(String, executable) F(String, arguments)
#define QUOR_RESPONSE_FIELDS_CreateProcess(F) \
    F(Result, hr) F(Word, processId, GetProcessId, VALUE) F(Word, threadId, GetThreadId, VALUE)

#define QUOR_REQUEST_FIELDS_SetLogParameters(F) F(Uint, parameters)
#define QUOR_RESPONSE_FIELDS_SetLogParameters(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_LockFile(F) F(String, project) F(Release, version) F(String, path)
#define QUOR_RESPONSE_FIELDS_LockFile(F)  \
    F(Result, hr)                         \
    F(String, fileName, GetFileName, REF) \
    F(Word, offset, GetOffset, VALUE) F(Word, size, GetSize, VALUE) F(Word, handle, GetHandle, VALUE)

#define QUOR_REQUEST_FIELDS_UnlockFile(F) F(Word, handle)
#define QUOR_RESPONSE_FIELDS_UnlockFile(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_Cancel(F)

#define QUOR_REQUEST_FIELDS_Repair(F) F(Uint, flags)
#define QUOR_RESPONSE_FIELDS_Repair(F) F(Result, hr)

#define QUOR_REQUEST_FIELDS_InstallSolutionReleaseByProjectVersion(F) \
    F(String, solution) F(String, projectVersion) F(String, configuration) F(Flag, preview) F(Flag, uninstall)
#define QUOR_RESPONSE_FIELDS_InstallSolutionReleaseByProjectVersion(F) \
    F(Result, hr) F(Release, version, GetVer, VALUE) F(String, response, GetResp, OUT)

#define QUOR_REQUEST_FIELDS_GetProjectVersionForSolutionRelease(F) F(String, solution) F(Release, version)
#define QUOR_RESPONSE_FIELDS_GetProjectVersionForSolutionRelease(F) \
    F(String, projectVersion, GetProjectVersion, OUT)

#define QUOR_REQUEST_FIELDS_GetQuorLibrary(F)
#define QUOR_RESPONSE_FIELDS_GetQuorLibrary(F) F(Result, hr) F(String, path, GetPath, REF)

// Generator helpers: keep what follows only for rows of a direction, pick a sender's log line.
#define QUOR_IF_REQUEST_BOTH(...) __VA_ARGS__
#define QUOR_IF_REQUEST_REQUEST(...) __VA_ARGS__
#define QUOR_IF_REQUEST_PROGRESS(...)
#define QUOR_IF_RESPONSE_BOTH(...) __VA_ARGS__
#define QUOR_IF_RESPONSE_REQUEST(...)
#define QUOR_IF_RESPONSE_PROGRESS(...)
#define QUOR_IF_PROGRESS_BOTH(...)
#define QUOR_IF_PROGRESS_REQUEST(...)
#define QUOR_IF_PROGRESS_PROGRESS(...) __VA_ARGS__

// The signature of a row's request or response operation, `scope` empty or a class (`Send::`).
#define QUOR_REQUEST_SIGNATURE(scope, Name)         \
    void scope Name##Request(const DWORD requester, \
                             const DWORD requestId QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_PARAM))
#define QUOR_RESPONSE_SIGNATURE(scope, Name)         \
    void scope Name##Response(const DWORD requester, \
                              const DWORD requestId QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_PARAM))
// X-macros declaring every request (response) operation as an override, for implementations.
#define QUOR_DECLARE_REQUEST_OVERRIDE(Name, TYPE, number, direction, ...) \
    QUOR_IF_REQUEST_##direction(QUOR_REQUEST_SIGNATURE(, Name) override;)
#define QUOR_DECLARE_RESPONSE_OVERRIDE(Name, TYPE, number, direction, ...) \
    QUOR_IF_RESPONSE_##direction(QUOR_RESPONSE_SIGNATURE(, Name) override;)

// One decoder case (`in` the PacketReader, `target` the interface): reads the fields into locals,
// false when one does not fit, otherwise calls the operation with them.
// clang-format off
#define QUOR_DECODE_CASE(TYPE, operation, FIELDS)                      \
    case PACKET_TYPE_##TYPE: {                                         \
        FIELDS(QUOR_FIELD_LOCAL)                                       \
        if (!(true FIELDS(QUOR_FIELD_READ))) return false;             \
        target.operation(requester, requestId FIELDS(QUOR_FIELD_ARG)); \
        return true;                                                   \
    }
// clang-format on

// QUOR_SEND_LOG_<style>(level, FIELDS): the sender's entry line for a message with these fields.
#define QUOR_SEND_LOG_LOGGED(level, FIELDS)                                 \
    QUOR_LOG(level, "(%d, 0x%08x" FIELDS(QUOR_FIELD_FORMAT) ")", requester, \
             requestId FIELDS(QUOR_FIELD_LOG_ARG))
#define QUOR_SEND_LOG_NAMED(level, FIELDS) \
    QUOR_LOG(level, "(requester=%d, requestId=0x%08x)", requester, requestId)
#define QUOR_SEND_LOG_SILENT(level, FIELDS)
