// The bytes of every message, both ways, pinned by hand: each case names its fields with values
// and gives the packet they must make, word by word, as peers built elsewhere write and read it
// (size, header order, field order and widths, strings with their length word and zero byte).
// The sender is driven and the decoder observed by field name, so that fields moved, swapped or
// widened in the message table fail here even when the round trip through the same table stays
// whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "protocol/ToAppDispatch.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/ToOrvaneSend.h"
#include "protocol/testing/PacketBytes.h"
#include "protocol/testing/PacketCases.h"
#include "protocol/testing/RecordingOrvaneToApp.h"
#include "protocol/testing/RecordingSendPacket.h"
#include "protocol/testing/TableRows.h"

namespace {

using namespace Quor::OrvaneProtocol;

constexpr DWORD kRequester = 5;

// A message's fields by name. Setters take a name and a value; getters (for the sender) take the
// name and report a field the case does not give.
struct Fields {
    std::map<std::string, DWORD> words;
    std::map<std::string, std::string> texts;
    std::map<std::string, bool> flags;
    std::map<std::string, std::vector<std::string>> lists;
    std::map<std::string, std::vector<DWORD>> versions;
    std::map<std::string, HRESULT> results;

    Fields& Word(const std::string& name, DWORD value) { return Set(words, name, value); }
    Fields& Text(const std::string& name, const std::string& value) { return Set(texts, name, value); }
    Fields& Flag(const std::string& name, bool value) { return Set(flags, name, value); }
    Fields& List(const std::string& name, const std::vector<std::string>& value) { return Set(lists, name, value); }
    Fields& Versions(const std::string& name, const std::vector<DWORD>& value) { return Set(versions, name, value); }
    Fields& Result(const std::string& name, HRESULT value) { return Set(results, name, value); }

    DWORD Word(const char* name) const { return Get(words, name); }
    std::string Text(const char* name) const { return Get(texts, name); }
    bool Flag(const char* name) const { return Get(flags, name); }
    std::vector<std::string> List(const char* name) const { return Get(lists, name); }
    std::vector<DWORD> Versions(const char* name) const { return Get(versions, name); }
    HRESULT Result(const char* name) const { return Get(results, name); }

    bool operator==(const Fields&) const = default;

private:
    template <typename Map, typename Value>
    Fields& Set(Map& map, const std::string& name, const Value& value) {
        map[name] = value;
        return *this;
    }
    template <typename Map>
    typename Map::mapped_type Get(const Map& map, const char* name) const {
        const auto found = map.find(name);
        if (found != map.end()) return found->second;
        ADD_FAILURE() << "the case gives no value for the field " << name;
        return {};
    }
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    for (const auto& [name, value] : f.results) os << name << "=0x" << std::hex << static_cast<DWORD>(value) << " ";
    for (const auto& [name, value] : f.words) os << name << "=0x" << std::hex << value << " ";
    os << std::dec;
    for (const auto& [name, value] : f.texts) os << name << "=\"" << value << "\" ";
    for (const auto& [name, value] : f.flags) os << name << "=" << value << " ";
    for (const auto& [name, value] : f.lists) {
        os << name << "=[";
        for (const auto& text : value) os << "\"" << text << "\" ";
        os << "] ";
    }
    for (const auto& [name, value] : f.versions) {
        os << name << "=[" << std::hex;
        for (DWORD word : value) os << "0x" << word << " ";
        os << std::dec << "] ";
    }
    return os;
}

// Expanding a table row's field list: the value of each field taken from `values` by its name
// (sending), and each field stored under its name (decoding).
#define WIRE_GET(kind, name, ...) , values.WIRE_GET_##kind(#name)
#define WIRE_GET_Word(name) Word(name)
#define WIRE_GET_Release(name) Word(name)
#define WIRE_GET_Uint(name) Word(name)
#define WIRE_GET_String(name) Text(name)
#define WIRE_GET_Flag(name) Flag(name)
#define WIRE_GET_Strings(name) List(name)
#define WIRE_GET_Words(name) Versions(name)
#define WIRE_GET_Result(name) Result(name)
#define WIRE_PUT(kind, name, ...) .WIRE_PUT_##kind(#name, name)
#define WIRE_PUT_Word(name, value) Word(name, value)
#define WIRE_PUT_Release(name, value) Word(name, value)
#define WIRE_PUT_Uint(name, value) Word(name, value)
#define WIRE_PUT_String(name, value) Text(name, value)
#define WIRE_PUT_Flag(name, value) Flag(name, value)
#define WIRE_PUT_Strings(name, value) List(name, value)
#define WIRE_PUT_Words(name, value) Versions(name, value)
#define WIRE_PUT_Result(name, value) Result(name, value)

// Calls the request operation `name` on `target` with the fields of `values`; false for a name
// the table has no request of.
bool SendRequest(IAppToOrvane& target, const std::string& name, DWORD id, const Fields& values) {
#define WIRE_SEND_REQUEST(Name, TYPE, number, direction, ...)                                   \
    QUOR_IF_REQUEST_##direction(if (name == #Name) {                                            \
        target.Name##Request(kRequester, id QUOR_REQUEST_FIELDS_##Name(WIRE_GET));              \
        return true;                                                                            \
    })
    QUOR_MESSAGES(WIRE_SEND_REQUEST)
#undef WIRE_SEND_REQUEST
    return false;
}

bool SendResponse(IOrvaneToApp& target, const std::string& name, DWORD id, const Fields& values) {
#define WIRE_SEND_RESPONSE(Name, TYPE, number, direction, ...)                                  \
    QUOR_IF_RESPONSE_##direction(if (name == #Name) {                                           \
        target.Name##Response(kRequester, id QUOR_RESPONSE_FIELDS_##Name(WIRE_GET));            \
        return true;                                                                            \
    })
    QUOR_MESSAGES(WIRE_SEND_RESPONSE)
#undef WIRE_SEND_RESPONSE
    return false;
}

// One decoded call: the row's name, requester, request id and fields by name.
struct NamedCall {
    std::string name;
    DWORD requester = 0;
    DWORD requestId = 0;
    Fields fields;
    bool operator==(const NamedCall&) const = default;
};
std::ostream& operator<<(std::ostream& os, const NamedCall& c) {
    return os << c.name << "(requester " << c.requester << ", id " << c.requestId << ", " << c.fields << ")";
}

class NamedAppToOrvane final : public IAppToOrvane {
public:
    std::vector<NamedCall> calls;
#define WIRE_RECORD_REQUEST(Name, TYPE, number, direction, ...)                                   \
    QUOR_IF_REQUEST_##direction(QUOR_REQUEST_SIGNATURE(, Name) override {                         \
        calls.push_back({#Name, requester, requestId, Fields() QUOR_REQUEST_FIELDS_##Name(WIRE_PUT)}); \
    })
    QUOR_MESSAGES(WIRE_RECORD_REQUEST)
#undef WIRE_RECORD_REQUEST
};

class NamedOrvaneToApp final : public IOrvaneToApp {
public:
    std::vector<NamedCall> calls;
#define WIRE_RECORD_RESPONSE(Name, TYPE, number, direction, ...)                                    \
    QUOR_IF_RESPONSE_##direction(QUOR_RESPONSE_SIGNATURE(, Name) override {                         \
        calls.push_back({#Name, requester, requestId, Fields() QUOR_RESPONSE_FIELDS_##Name(WIRE_PUT)}); \
    })
    QUOR_MESSAGES(WIRE_RECORD_RESPONSE)
#undef WIRE_RECORD_RESPONSE
    void RequestProgress(const DWORD, const DWORD, const DWORD, const DWORD, const DWORD, const DWORD, const DWORD,
                         const DWORD, const Quor::API::Progress::OperationType, const Quor::API::Progress::StepType,
                         const float, const float, const std::string&) override {
        calls.push_back({"RequestProgress", 0, 0, {}});
    }
};

// A packet's header written out by hand, behind the total size its formula gives (checked against
// the bytes written); the case adds the body.
QuorTest::PacketBytes Request(DWORD size, DWORD id, DWORD type) { return QuorTest::PacketBytes().W(size).W(id).W(type); }
QuorTest::PacketBytes Response(DWORD size, DWORD type, DWORD id, DWORD result) {
    return QuorTest::PacketBytes().W(size).W(type).W(id).W(result);
}

struct Golden {
    std::string name;
    DWORD id;
    Fields fields;
    QuorTest::PacketBytes wire;
};

std::vector<Golden> RequestGoldens() {
    return {
        {"GetVersion", 0x100, {}, Request(12, 0x100, 0)},
        {"Terminate", 0x101, {}, Request(12, 0x101, 1)},
        {"EnumerateAvailableProjects", 0x102, {}, Request(12, 0x102, 2)},
        {"EnumerateInstalledProjects", 0x103, {}, Request(12, 0x103, 3)},
        {"EnumerateAvailableProjectReleases", 0x104, Fields().Text("project", "abcde"),
         Request(17 + 5, 0x104, 4).S("abcde")},
        {"EnumerateInstalledProjectReleases", 0x105, Fields().Text("project", ""), Request(17, 0x105, 5).S("")},
        {"InstallProjectRelease", 7, Fields().Text("project", "abc").Word("version", 0x01020304),
         Request(21 + 3, 7, 6).S("abc").W(0x01020304)},
        {"UpdateProject", 0x107, Fields().Text("project", "pr"), Request(17 + 2, 0x107, 7).S("pr")},
        {"ValidateProject", 0x108, Fields().Text("project", "proj"), Request(17 + 4, 0x108, 8).S("proj")},
        {"UninstallProjectRelease", 0x109, Fields().Text("project", "p").Word("version", 0x0A0B0C0D),
         Request(21 + 1, 0x109, 9).S("p").W(0x0A0B0C0D)},
        {"EnumerateAvailableSolutions", 0x10A, {}, Request(12, 0x10A, 10)},
        {"EnumerateInstalledSolutions", 0x10B, {}, Request(12, 0x10B, 11)},
        {"EnumerateAvailableSolutionReleases", 0x10C, Fields().Text("solution", "sol"),
         Request(17 + 3, 0x10C, 12).S("sol")},
        {"EnumerateInstalledSolutionReleases", 0x10D, Fields().Text("solution", "solution1"),
         Request(17 + 9, 0x10D, 13).S("solution1")},
        {"InstallSolutionRelease", 0x10E,
         Fields().Text("solution", "abc").Word("version", 0x11223344).Text("configuration", "defgh"),
         Request(26 + 3 + 5, 0x10E, 14).S("abc").W(0x11223344).S("defgh")},
        {"UpdateSolution", 0x10F, Fields().Text("solution", "sln").Text("configuration", "cfg1"),
         Request(22 + 3 + 4, 0x10F, 15).S("sln").S("cfg1")},
        {"ValidateSolution", 0x110, Fields().Text("solution", "s"), Request(17 + 1, 0x110, 16).S("s")},
        {"UninstallSolutionRelease", 0x111, Fields().Text("solution", "so").Word("version", 0x55667788),
         Request(21 + 2, 0x111, 17).S("so").W(0x55667788)},
        {"CreateProcess", 0x112,
         Fields()
             .Text("name", "kiv")
             .Word("version", 0x01000002)
             .Text("executable", "bin/kiv")
             .Text("arguments", "-a -b c"),
         Request(31 + 3 + 7 + 7, 0x112, 18).S("kiv").W(0x01000002).S("bin/kiv").S("-a -b c")},
        {"SetLogParameters", 0x113, Fields().Word("parameters", 0x00000304), Request(16, 0x113, 19).W(0x304)},
        {"LockFile", 0x114, Fields().Text("project", "abcde").Word("version", 0x05060708).Text("path", "dir/f.bin"),
         Request(26 + 5 + 9, 0x114, 20).S("abcde").W(0x05060708).S("dir/f.bin")},
        {"UnlockFile", 0x115, Fields().Word("handle", 0xDEADBEEF), Request(16, 0x115, 21).W(0xDEADBEEF)},
        {"Cancel", 0x116, {}, Request(12, 0x116, 22)},
        {"Repair", 0x117, Fields().Word("flags", 0x00000005), Request(16, 0x117, 23).W(5)},
        {"InstallSolutionReleaseByProjectVersion", 0x118,
         Fields()
             .Text("solution", "sln")
             .Text("projectVersion", "1.2.3.4")
             .Text("configuration", "c")
             .Flag("preview", true)
             .Flag("uninstall", false),
         Request(29 + 3 + 7 + 1, 0x118, 24).S("sln").S("1.2.3.4").S("c").B({1, 0})},
        {"InstallSolutionReleaseByProjectVersion", 0x218,
         Fields()
             .Text("solution", "s")
             .Text("projectVersion", "")
             .Text("configuration", "cf")
             .Flag("preview", false)
             .Flag("uninstall", true),
         Request(29 + 1 + 0 + 2, 0x218, 24).S("s").S("").S("cf").B({0, 1})},
        {"GetProjectVersionForSolutionRelease", 0x119, Fields().Text("solution", "abcd").Word("version", 0x03000001),
         Request(21 + 4, 0x119, 25).S("abcd").W(0x03000001)},
        {"GetQuorLibrary", 0x11A, {}, Request(12, 0x11A, 26)},
    };
}

std::vector<Golden> ResponseGoldens() {
    const HRESULT denied = static_cast<HRESULT>(0x80070005);
    return {
        {"GetVersion", 0x200, Fields().Word("version", 0x01020304), Response(20, 0, 0x200, 0).W(0x01020304)},
        {"Terminate", 0x201, Fields().Result("hr", E_ABORT), Response(16, 1, 0x201, E_ABORT)},
        {"EnumerateAvailableProjects", 0x202, Fields().Result("hr", S_OK).List("projects", {"a", "bcd", ""}),
         Response(20 + 6 + 8 + 5, 2, 0x202, S_OK).W(3).S("a").S("bcd").S("")},
        {"EnumerateInstalledProjects", 0x203, Fields().Result("hr", E_FAIL).List("projects", {}),
         Response(20, 3, 0x203, E_FAIL).W(0)},
        {"EnumerateAvailableProjectReleases", 0x204, Fields().Result("hr", S_OK).Versions("versions", {1, 0x0200, 3}),
         Response(20 + 12, 4, 0x204, S_OK).W(3).W(1).W(0x200).W(3)},
        {"EnumerateInstalledProjectReleases", 0x205, Fields().Result("hr", denied).Versions("versions", {}),
         Response(20, 5, 0x205, denied).W(0)},
        {"InstallProjectRelease", 0x206, Fields().Result("hr", E_FAIL), Response(16, 6, 0x206, E_FAIL)},
        {"UpdateProject", 0x207, Fields().Result("hr", S_OK).Word("version", 0x04030201),
         Response(20, 7, 0x207, S_OK).W(0x04030201)},
        {"ValidateProject", 0x208, Fields().Result("hr", 1), Response(16, 8, 0x208, 1)},
        {"UninstallProjectRelease", 0x209, Fields().Result("hr", denied), Response(16, 9, 0x209, denied)},
        {"EnumerateAvailableSolutions", 0x20A, Fields().Result("hr", S_OK).List("solutions", {"sol"}),
         Response(20 + 8, 10, 0x20A, S_OK).W(1).S("sol")},
        {"EnumerateInstalledSolutions", 0x20B, Fields().Result("hr", S_OK).List("solutions", {"x", "yz"}),
         Response(20 + 6 + 7, 11, 0x20B, S_OK).W(2).S("x").S("yz")},
        {"EnumerateAvailableSolutionReleases", 0x20C, Fields().Result("hr", S_OK).Versions("versions", {0x05000000}),
         Response(20 + 4, 12, 0x20C, S_OK).W(1).W(0x05000000)},
        {"EnumerateInstalledSolutionReleases", 0x20D, Fields().Result("hr", E_FAIL).Versions("versions", {7, 8}),
         Response(20 + 8, 13, 0x20D, E_FAIL).W(2).W(7).W(8)},
        {"InstallSolutionRelease", 0x20E, Fields().Result("hr", S_OK).Word("version", 0x0A000001),
         Response(20, 14, 0x20E, S_OK).W(0x0A000001)},
        {"UpdateSolution", 0x20F, Fields().Result("hr", E_ABORT).Word("version", 0xFFFFFFFF),
         Response(20, 15, 0x20F, E_ABORT).W(0xFFFFFFFF)},
        {"ValidateSolution", 0x210, Fields().Result("hr", S_OK), Response(16, 16, 0x210, S_OK)},
        {"UninstallSolutionRelease", 0x211, Fields().Result("hr", E_FAIL), Response(16, 17, 0x211, E_FAIL)},
        {"CreateProcess", 0x212, Fields().Result("hr", S_OK).Word("processId", 1234).Word("threadId", 5678),
         Response(24, 18, 0x212, S_OK).W(1234).W(5678)},
        {"SetLogParameters", 0x213, Fields().Result("hr", S_OK), Response(16, 19, 0x213, S_OK)},
        {"LockFile", 0x214,
         Fields()
             .Result("hr", S_OK)
             .Text("fileName", "abcde")
             .Word("offset", 0x10)
             .Word("size", 0x20)
             .Word("handle", 0x30),
         Response(33 + 5, 20, 0x214, S_OK).S("abcde").W(0x10).W(0x20).W(0x30)},
        {"UnlockFile", 0x215, Fields().Result("hr", E_FAIL), Response(16, 21, 0x215, E_FAIL)},
        {"Repair", 0x217, Fields().Result("hr", S_OK), Response(16, 23, 0x217, S_OK)},
        {"InstallSolutionReleaseByProjectVersion", 0x218,
         Fields().Result("hr", S_OK).Word("version", 0x01020304).Text("response", "{\"a\":1}"),
         Response(25 + 7, 24, 0x218, S_OK).W(0x01020304).S("{\"a\":1}")},
        {"GetProjectVersionForSolutionRelease", 0x219, Fields().Text("projectVersion", "1.2.3.4"),
         Response(21 + 7, 25, 0x219, 0).S("1.2.3.4")},
        {"GetQuorLibrary", 0x21A, Fields().Result("hr", S_OK).Text("path", "/x/libMondrel.so"),
         Response(21 + 16, 26, 0x21A, S_OK).S("/x/libMondrel.so")},
    };
}

// Every row of the table in `rows` has at least one case in `goldens`, and every case names a row.
void ExpectOneCasePerRow(const std::vector<std::string>& rows, const std::vector<Golden>& goldens) {
    std::set<std::string> covered;
    for (const Golden& g : goldens) covered.insert(g.name);
    for (const std::string& row : rows) EXPECT_TRUE(covered.count(row)) << "no wire case for " << row;
    for (const std::string& name : covered)
        EXPECT_NE(std::find(rows.begin(), rows.end(), name), rows.end()) << "no table row " << name;
}

// Each case sent by name through Sender must give its bytes, and its bytes decoded into a Named
// double must give its fields back.
template <class Sender, class Named, class SendRow, class Dispatch>
void ExpectEveryCase(const std::vector<Golden>& goldens, SendRow sendRow, Dispatch dispatch) {
    for (const Golden& g : goldens) {
        SCOPED_TRACE(g.name + " id " + std::to_string(g.id));
        ASSERT_EQ(g.wire.data.size(), g.wire.data[0] | g.wire.data[1] << 8) << "the case's size formula";
        QuorTest::RecordingSendPacket transport;
        Sender sender(transport);
        ASSERT_TRUE(sendRow(sender, g.name, g.id, g.fields));
        ASSERT_EQ(transport.Count(), 1u);
        EXPECT_EQ(transport.Packets()[0].connection, kRequester);
        EXPECT_EQ(transport.Last(), g.wire.data);

        Named target;
        EXPECT_EQ(dispatch(kRequester, static_cast<UINT>(g.wire.data.size()), g.wire.data.data(), target), S_OK);
        EXPECT_EQ(target.calls, (std::vector<NamedCall>{{g.name, kRequester, g.id, g.fields}}));
    }
}

TEST(WireBytes, EveryRequestHasItsDocumentedBytesBothWays) {
    const std::vector<Golden> goldens = RequestGoldens();
    ExpectOneCasePerRow(QuorTest::RequestRows(), goldens);
    ExpectEveryCase<ToOrvane::Send, NamedAppToOrvane>(goldens, &SendRequest, &ToOrvane::TranslateAndDispatch);
}

TEST(WireBytes, EveryResponseHasItsDocumentedBytesBothWays) {
    const std::vector<Golden> goldens = ResponseGoldens();
    ExpectOneCasePerRow(QuorTest::ResponseRows(), goldens);
    ExpectEveryCase<ToApp::Send, NamedOrvaneToApp>(goldens, &SendResponse, &ToApp::TranslateAndDispatch);
}

// Progress reports follow the counters, types and times of the progress record, then the item;
// the round-trip suite's sample is sent and its bytes decoded.
TEST(WireBytes, ProgressReportHasItsDocumentedBytesBothWays) {
    const auto cases = QuorTest::ResponseCases();
    const auto sample = std::find_if(cases.begin(), cases.end(),
                                     [](const auto& c) { return c.expected.operation == "RequestProgress"; });
    ASSERT_NE(sample, cases.end());
    // The six counters 1 to 6, operation type 7, step type 8, then 1.5f and 2.25f as IEEE words.
    QuorTest::PacketBytes packet = Response(61 + 8, 22, 22, 0);
    for (DWORD word = 1; word <= 8; ++word) packet.W(word);
    const std::vector<BYTE> wire = packet.W(0x3FC00000).W(0x40100000).S("file.txt").data;
    QuorTest::RecordingSendPacket transport;
    ToApp::Send sender(transport);
    sample->send(sender);
    EXPECT_EQ(transport.Last(), wire);

    QuorTest::RecordingOrvaneToApp target;
    EXPECT_EQ(ToApp::TranslateAndDispatch(QuorTest::kDispatchRequester, static_cast<UINT>(wire.size()), wire.data(),
                                          target),
              S_OK);
    EXPECT_EQ(target.log.Calls(), std::vector<QuorTest::RecordedCall>{sample->expected});
}

}  // namespace
