#pragma once
// Test helper: one sample of every protocol message, with the size its packet must have and the
// call a decoder must make for it. Requests are sent with requester kSendRequester and expected
// back with kDispatchRequester (the requester travels beside the packet, never inside it).
// Samples cover empty and odd-length strings with unaligned fields behind them, empty and full
// lists, both flag bytes of type 24, and a text holding a zero byte (which arrives cut).
#include <functional>
#include <string>
#include <vector>

#include "protocol/IAppToOrvane.h"
#include "protocol/IOrvaneToApp.h"
#include "protocol/PacketType.h"
#include "protocol/testing/RecordedCall.h"

namespace QuorTest {

constexpr DWORD kSendRequester = 3;
constexpr DWORD kDispatchRequester = 9;

struct RequestCase {
    DWORD type;
    std::function<void(Quor::OrvaneProtocol::IAppToOrvane&)> send;
    UINT size;
    RecordedCall expected;
};

struct ResponseCase {
    DWORD type;
    std::function<void(Quor::OrvaneProtocol::IOrvaneToApp&)> send;
    UINT size;
    RecordedCall expected;  // for the three messages without a result, hr 0 (their result word)
};

inline std::vector<RequestCase> RequestCases() {
    using namespace Quor::OrvaneProtocol;
    using A = IAppToOrvane&;
    const DWORD r = kSendRequester;
    const DWORD d = kDispatchRequester;
    const std::string longPath(100, 'p');
    return {
        {0, [=](A s) { s.GetVersionRequest(r, 0); }, 12, {"GetVersionRequest", d, 0}},
        {1, [=](A s) { s.TerminateRequest(r, 1); }, 12, {"TerminateRequest", d, 1}},
        {2,
         [=](A s) { s.EnumerateAvailableProjectsRequest(r, 2); },
         12,
         {"EnumerateAvailableProjectsRequest", d, 2}},
        {3,
         [=](A s) { s.EnumerateInstalledProjectsRequest(r, 3); },
         12,
         {"EnumerateInstalledProjectsRequest", d, 3}},
        {4, [=](A s) { s.EnumerateAvailableProjectReleasesRequest(r, 4, "abcde"); }, 22,
         RecordedCall("EnumerateAvailableProjectReleasesRequest", d, 4).Text("abcde")},
        {5, [=](A s) { s.EnumerateInstalledProjectReleasesRequest(r, 5, ""); }, 17,
         RecordedCall("EnumerateInstalledProjectReleasesRequest", d, 5).Text("")},
        {6, [=](A s) { s.InstallProjectReleaseRequest(r, 6, "abcde", 0x01020304); }, 26,
         RecordedCall("InstallProjectReleaseRequest", d, 6).Text("abcde").Word(0x01020304)},
        {7, [=](A s) { s.UpdateProjectRequest(r, 7, "a"); }, 18,
         RecordedCall("UpdateProjectRequest", d, 7).Text("a")},
        {7, [=](A s) { s.UpdateProjectRequest(r, 70, std::string("ab\0cd", 5)); }, 22,
         RecordedCall("UpdateProjectRequest", d, 70).Text("ab")},
        {8, [=](A s) { s.ValidateProjectRequest(r, 8, "proj"); }, 21,
         RecordedCall("ValidateProjectRequest", d, 8).Text("proj")},
        {9, [=](A s) { s.UninstallProjectReleaseRequest(r, 9, "", 7); }, 21,
         RecordedCall("UninstallProjectReleaseRequest", d, 9).Text("").Word(7)},
        {10,
         [=](A s) { s.EnumerateAvailableSolutionsRequest(r, 10); },
         12,
         {"EnumerateAvailableSolutionsRequest", d, 10}},
        {11,
         [=](A s) { s.EnumerateInstalledSolutionsRequest(r, 11); },
         12,
         {"EnumerateInstalledSolutionsRequest", d, 11}},
        {12, [=](A s) { s.EnumerateAvailableSolutionReleasesRequest(r, 12, "sol"); }, 20,
         RecordedCall("EnumerateAvailableSolutionReleasesRequest", d, 12).Text("sol")},
        {13, [=](A s) { s.EnumerateInstalledSolutionReleasesRequest(r, 13, "solution1"); }, 26,
         RecordedCall("EnumerateInstalledSolutionReleasesRequest", d, 13).Text("solution1")},
        {14, [=](A s) { s.InstallSolutionReleaseRequest(r, 14, "abc", 0x0A0B0C0D, "defgh"); }, 34,
         RecordedCall("InstallSolutionReleaseRequest", d, 14).Text("abc").Word(0x0A0B0C0D).Text("defgh")},
        {15, [=](A s) { s.UpdateSolutionRequest(r, 15, "", "cfg"); }, 25,
         RecordedCall("UpdateSolutionRequest", d, 15).Text("").Text("cfg")},
        {16, [=](A s) { s.ValidateSolutionRequest(r, 16, "s"); }, 18,
         RecordedCall("ValidateSolutionRequest", d, 16).Text("s")},
        {17, [=](A s) { s.UninstallSolutionReleaseRequest(r, 17, "sol", 9); }, 24,
         RecordedCall("UninstallSolutionReleaseRequest", d, 17).Text("sol").Word(9)},
        {18, [=](A s) { s.CreateProcessRequest(r, 18, "kiv", 0x01000000, "bin/kiv", "-a -b c"); }, 48,
         RecordedCall("CreateProcessRequest", d, 18)
             .Text("kiv")
             .Word(0x01000000)
             .Text("bin/kiv")
             .Text("-a -b c")},
        {19, [=](A s) { s.SetLogParametersRequest(r, 19, 4); }, 16,
         RecordedCall("SetLogParametersRequest", d, 19).Word(4)},
        {20, [=](A s) { s.LockFileRequest(r, 20, "abcde", 5, longPath); }, 131,
         RecordedCall("LockFileRequest", d, 20).Text("abcde").Word(5).Text(longPath)},
        {21, [=](A s) { s.UnlockFileRequest(r, 21, 0xDEADBEEF); }, 16,
         RecordedCall("UnlockFileRequest", d, 21).Word(0xDEADBEEF)},
        {22, [=](A s) { s.CancelRequest(r, 22); }, 12, {"CancelRequest", d, 22}},
        {23, [=](A s) { s.RepairRequest(r, 23, 1); }, 16, RecordedCall("RepairRequest", d, 23).Word(1)},
        {24,
         [=](A s) {
             s.InstallSolutionReleaseByProjectVersionRequest(r, 24, "sln", "1.2.3.4", "", true, false);
         },
         39,
         RecordedCall("InstallSolutionReleaseByProjectVersionRequest", d, 24)
             .Text("sln")
             .Text("1.2.3.4")
             .Text("")
             .Flag(true)
             .Flag(false)},
        {24,
         [=](A s) { s.InstallSolutionReleaseByProjectVersionRequest(r, 240, "s", "", "cf", false, true); },
         32,
         RecordedCall("InstallSolutionReleaseByProjectVersionRequest", d, 240)
             .Text("s")
             .Text("")
             .Text("cf")
             .Flag(false)
             .Flag(true)},
        {25, [=](A s) { s.GetProjectVersionForSolutionReleaseRequest(r, 25, "abcd", 3); }, 25,
         RecordedCall("GetProjectVersionForSolutionReleaseRequest", d, 25).Text("abcd").Word(3)},
        {26, [=](A s) { s.GetQuorLibraryRequest(r, 26); }, 12, {"GetQuorLibraryRequest", d, 26}},
    };
}

inline std::vector<ResponseCase> ResponseCases() {
    using namespace Quor::OrvaneProtocol;
    using Quor::API::Progress;
    using T = IOrvaneToApp&;
    const DWORD r = kSendRequester;
    const DWORD d = kDispatchRequester;
    std::vector<DWORD> hundred;
    for (DWORD i = 0; i < 100; ++i) hundred.push_back(0x01000000 + i);
    return {
        {0, [=](T s) { s.GetVersionResponse(r, 0, 0x01020304); }, 20,
         RecordedCall("GetVersionResponse", d, 0).Word(0x01020304)},
        {1, [=](T s) { s.TerminateResponse(r, 1, E_ABORT); }, 16,
         RecordedCall("TerminateResponse", d, 1).Result(E_ABORT)},
        {2,
         [=](T s) {
             s.EnumerateAvailableProjectsResponse(r, 2, S_OK, {"a", "bcd", ""});
         },
         39, RecordedCall("EnumerateAvailableProjectsResponse", d, 2).List({"a", "bcd", ""})},
        {3, [=](T s) { s.EnumerateInstalledProjectsResponse(r, 3, E_FAIL, {}); }, 20,
         RecordedCall("EnumerateInstalledProjectsResponse", d, 3).Result(E_FAIL)},
        {4,
         [=](T s) {
             s.EnumerateAvailableProjectReleasesResponse(r, 4, S_OK, {1, 2, 3});
         },
         32, RecordedCall("EnumerateAvailableProjectReleasesResponse", d, 4).Versions({1, 2, 3})},
        {5, [=](T s) { s.EnumerateInstalledProjectReleasesResponse(r, 5, S_OK, {}); }, 20,
         RecordedCall("EnumerateInstalledProjectReleasesResponse", d, 5)},
        {6, [=](T s) { s.InstallProjectReleaseResponse(r, 6, E_FAIL); }, 16,
         RecordedCall("InstallProjectReleaseResponse", d, 6).Result(E_FAIL)},
        {7, [=](T s) { s.UpdateProjectResponse(r, 7, S_OK, 0x01020304); }, 20,
         RecordedCall("UpdateProjectResponse", d, 7).Word(0x01020304)},
        {8, [=](T s) { s.ValidateProjectResponse(r, 8, 1); }, 16,
         RecordedCall("ValidateProjectResponse", d, 8).Result(1)},
        {9, [=](T s) { s.UninstallProjectReleaseResponse(r, 9, E_ABORT); }, 16,
         RecordedCall("UninstallProjectReleaseResponse", d, 9).Result(E_ABORT)},
        {10, [=](T s) { s.EnumerateAvailableSolutionsResponse(r, 10, S_OK, {"sol"}); }, 28,
         RecordedCall("EnumerateAvailableSolutionsResponse", d, 10).List({"sol"})},
        {11,
         [=](T s) {
             s.EnumerateInstalledSolutionsResponse(r, 11, S_OK, {"x", "yz"});
         },
         33, RecordedCall("EnumerateInstalledSolutionsResponse", d, 11).List({"x", "yz"})},
        {12, [=](T s) { s.EnumerateAvailableSolutionReleasesResponse(r, 12, S_OK, {5}); }, 24,
         RecordedCall("EnumerateAvailableSolutionReleasesResponse", d, 12).Versions({5})},
        {13, [=](T s) { s.EnumerateInstalledSolutionReleasesResponse(r, 13, S_OK, hundred); }, 420,
         RecordedCall("EnumerateInstalledSolutionReleasesResponse", d, 13).Versions(hundred)},
        {14, [=](T s) { s.InstallSolutionReleaseResponse(r, 14, S_OK, 0x04030201); }, 20,
         RecordedCall("InstallSolutionReleaseResponse", d, 14).Word(0x04030201)},
        {15, [=](T s) { s.UpdateSolutionResponse(r, 15, E_ABORT, 0); }, 20,
         RecordedCall("UpdateSolutionResponse", d, 15).Result(E_ABORT).Word(0)},
        {16, [=](T s) { s.ValidateSolutionResponse(r, 16, S_OK); }, 16,
         RecordedCall("ValidateSolutionResponse", d, 16)},
        {17, [=](T s) { s.UninstallSolutionReleaseResponse(r, 17, E_FAIL); }, 16,
         RecordedCall("UninstallSolutionReleaseResponse", d, 17).Result(E_FAIL)},
        {18, [=](T s) { s.CreateProcessResponse(r, 18, S_OK, 1234, 5678); }, 24,
         RecordedCall("CreateProcessResponse", d, 18).Word(1234).Word(5678)},
        {19, [=](T s) { s.SetLogParametersResponse(r, 19, S_OK); }, 16,
         RecordedCall("SetLogParametersResponse", d, 19)},
        {20, [=](T s) { s.LockFileResponse(r, 20, S_OK, "abcde", 10, 20, 30); }, 38,
         RecordedCall("LockFileResponse", d, 20).Text("abcde").Word(10).Word(20).Word(30)},
        {21, [=](T s) { s.UnlockFileResponse(r, 21, E_FAIL); }, 16,
         RecordedCall("UnlockFileResponse", d, 21).Result(E_FAIL)},
        {22,
         [=](T s) {
             s.RequestProgress(r, 22, 1, 2, 3, 4, 5, 6, static_cast<Progress::OperationType>(7),
                               static_cast<Progress::StepType>(8), 1.5f, 2.25f, "file.txt");
         },
         69,
         RecordedCall("RequestProgress", d, 22)
             .Word(1)
             .Word(2)
             .Word(3)
             .Word(4)
             .Word(5)
             .Word(6)
             .Word(7)
             .Word(8)
             .Float(1.5f)
             .Float(2.25f)
             .Text("file.txt")},
        {23, [=](T s) { s.RepairResponse(r, 23, S_OK); }, 16, RecordedCall("RepairResponse", d, 23)},
        {24,
         [=](T s) { s.InstallSolutionReleaseByProjectVersionResponse(r, 24, S_OK, 0x01020304, "{\"a\":1}"); },
         32,
         RecordedCall("InstallSolutionReleaseByProjectVersionResponse", d, 24)
             .Word(0x01020304)
             .Text("{\"a\":1}")},
        {25, [=](T s) { s.GetProjectVersionForSolutionReleaseResponse(r, 25, "1.2.3.4"); }, 28,
         RecordedCall("GetProjectVersionForSolutionReleaseResponse", d, 25).Text("1.2.3.4")},
        {26, [=](T s) { s.GetQuorLibraryResponse(r, 26, S_OK, "/x/libMondrel.so"); }, 37,
         RecordedCall("GetQuorLibraryResponse", d, 26).Text("/x/libMondrel.so")},
    };
}

}  // namespace QuorTest
