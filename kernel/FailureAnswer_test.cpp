// The failure answer of every request type: its own response, the failure code, empty results,
// 0xFFFFFFFF for release numbers and 0 for other words; nothing for Cancel or an unknown type.
#include "kernel/FailureAnswer.h"

#include <gtest/gtest.h>

#include "protocol/PacketType.h"
#include "protocol/testing/RecordingOrvaneToApp.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::RecordedCall;

constexpr DWORD kRequester = 7;
constexpr DWORD kId = 0x42;
constexpr HRESULT kFailure = static_cast<HRESULT>(0x80004005);
constexpr DWORD kNone = 0xFFFFFFFF;

RecordedCall Answer(const char* operation) {
    return RecordedCall(operation, kRequester, kId);
}
RecordedCall Failed(const char* operation) {
    return Answer(operation).Result(kFailure);
}

TEST(FailureAnswer, EveryRequestTypeGetsItsOwnResponseWithEmptyResults) {
    const struct {
        DWORD type;
        RecordedCall expected;
    } cases[] = {
        {PACKET_TYPE_GET_VERSION, Answer("GetVersionResponse").Word(0)},
        {PACKET_TYPE_TERMINATE, Failed("TerminateResponse")},
        {PACKET_TYPE_ENUM_AVAIL_PROJECTS, Failed("EnumerateAvailableProjectsResponse")},
        {PACKET_TYPE_ENUM_INSTALLED_PROJECTS, Failed("EnumerateInstalledProjectsResponse")},
        {PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES, Failed("EnumerateAvailableProjectReleasesResponse")},
        {PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, Failed("EnumerateInstalledProjectReleasesResponse")},
        {PACKET_TYPE_INSTALL_PROJECT_RELEASE, Failed("InstallProjectReleaseResponse")},
        {PACKET_TYPE_UPDATE_PROJECT, Failed("UpdateProjectResponse").Word(kNone)},
        {PACKET_TYPE_VALIDATE_PROJECT, Failed("ValidateProjectResponse")},
        {PACKET_TYPE_UNINSTALL_PROJECT_RELEASE, Failed("UninstallProjectReleaseResponse")},
        {PACKET_TYPE_ENUM_AVAIL_SOLUTIONS, Failed("EnumerateAvailableSolutionsResponse")},
        {PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS, Failed("EnumerateInstalledSolutionsResponse")},
        {PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES, Failed("EnumerateAvailableSolutionReleasesResponse")},
        {PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES, Failed("EnumerateInstalledSolutionReleasesResponse")},
        {PACKET_TYPE_INSTALL_SOLUTION_RELEASE, Failed("InstallSolutionReleaseResponse").Word(kNone)},
        {PACKET_TYPE_UPDATE_SOLUTION, Failed("UpdateSolutionResponse").Word(kNone)},
        {PACKET_TYPE_VALIDATE_SOLUTION, Failed("ValidateSolutionResponse")},
        {PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE, Failed("UninstallSolutionReleaseResponse")},
        {PACKET_TYPE_CREATE_PROCESS, Failed("CreateProcessResponse").Word(0).Word(0)},
        {PACKET_TYPE_SET_LOG_PARAMETERS, Failed("SetLogParametersResponse")},
        {PACKET_TYPE_LOCK_FILE, Failed("LockFileResponse").Text("").Word(0).Word(0).Word(0)},
        {PACKET_TYPE_UNLOCK_FILE, Failed("UnlockFileResponse")},
        {PACKET_TYPE_REPAIR, Failed("RepairResponse")},
        {PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION,
         Failed("InstallSolutionReleaseByProjectVersionResponse").Word(kNone).Text("")},
        {PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE,
         Answer("GetProjectVersionForSolutionReleaseResponse").Text("")},
        {PACKET_TYPE_GET_QUOR_LIBRARY, Failed("GetQuorLibraryResponse").Text("")},
    };
    for (const auto& c : cases) {
        QuorTest::RecordingOrvaneToApp answers;
        Quor::Orvane::AnswerFailure(answers, kRequester, kId, c.type, kFailure);
        const auto calls = answers.log.Calls();
        ASSERT_EQ(calls.size(), 1u) << "type " << c.type;
        EXPECT_EQ(calls[0], c.expected) << "type " << c.type;
    }
}

TEST(FailureAnswer, CancelAndUnknownTypesGetNoAnswer) {
    for (const DWORD type : {DWORD{PACKET_TYPE_CANCEL}, DWORD{PACKET_TYPE_LAST + 1}, DWORD{0xFFFFFFFF}}) {
        QuorTest::RecordingOrvaneToApp answers;
        Quor::Orvane::AnswerFailure(answers, kRequester, kId, type, kFailure);
        EXPECT_EQ(answers.log.Count(), 0u) << "type " << type;
    }
}

}  // namespace
