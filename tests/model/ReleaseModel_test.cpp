// The randomized model test. From one seed it generates a release history (2-3 projects of 4-6
// releases each, 20-60 files; files added, removed, changed and changing letter case; flags moving
// among managed, archived, both, the zlib and LZMA server forms, kept compressed and run-me; entry
// versions kept across releases with or without a change of flags; patches between some releases;
// two solutions whose configurations share a project), serves it with nginx and applies a random
// sequence of operations: project and solution install, update, uninstall, repair, validation, a
// cancel at a random fetch (retried at once, as a client would), and a SIGKILL at a random moment
// of a project or solution update run by the update child program, followed by a rerun.
//
// Before some operations a file that no release lists (a program's or its user's: settings, a
// save in a folder of its own) is put into the deploy folder of a release, complete or not.
//
// After each operation every release holding "S_OK" must hold exactly the files its description
// implies (ExpectedProjectInstall / ExpectedSolutionInstall, derived from the description, never
// from the install code): its own folder nothing more and nothing less but the user's files put
// there, the managed and archived copies it lists present with their content. After every
// operation but repair and uninstall each user's file is still there byte for byte, in its
// folder or in the folder an update moved that folder to. Operations that nothing disturbed must succeed, and
// a repair or a validation keeps every complete release complete. An uninstall of a project
// release that a complete solution release lists is passed over: that removal, asked for on
// purpose, leaves the solution short by design.
//
// A failure prints the seed, the operations run and the one that broke the model. Replay one seed:
//   QUOR_MODEL_SEED=<seed> [QUOR_MODEL_OPS=<count>] [QUOR_MODEL_FEATURES=<names>]
//     [QUOR_MODEL_STEPS=<i,j,...>] [QUOR_MODEL_LOG=1] quor_model_tests --gtest_filter=ReleaseModelTest.FixedSeed
// (QUOR_MODEL_STEPS runs only those operations of the seed's sequence, for narrowing one down;
// QUOR_MODEL_LOG reports every log line of the failing operation, not only its errors). The
// sequence is a function of the seed alone; only the moments of the kills vary between runs.
// The long run (ReleaseModelTest.LongRun, labelled slow) plays histories of consecutive seeds from
// QUOR_MODEL_SEED (default 1000), QUOR_MODEL_HISTORY_OPS operations each (default 100), in child
// processes, until QUOR_MODEL_OPS operations (default 400, 100 in a sanitizer build) were run or QUOR_MODEL_MAX_VIOLATIONS
// histories (default 5) broke the model, and prints the counts and the time. QUOR_MODEL_FEATURES
// (names below, "all" by default for the long run) narrows what is generated.
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/ConvertVersion.h"
#include "install/InstallSolutionRelease.h"
#include "install/Uninstall.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/install/InstallFixture.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"
#include "update/UpdateProject.h"
#include "update/UpdateSolution.h"
#include "update/Validate.h"

namespace InstallE2E {
namespace {

using Quor::Common::ConvertVersion;
using Quor::Tools::ContentTree::ProductSpec;

constexpr DWORD kNewest = 0xFFFFFFFF;
const std::string kConfiguration = "en_US";

std::string Text(DWORD version) { return version == kNewest ? "newest" : ConvertVersion::ToString(version); }

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtoul(value, nullptr, 10) : fallback;
}

// What a history and its operations may hold; a run leaves out what it is not given.
enum Feature : unsigned {
    kBoth = 1u << 0,        // entries both managed and archived (0x03)
    kReflag = 1u << 1,      // an entry kept at its entry version under other flags
    kShared = 1u << 2,      // a second solution sharing a project with the first
    kCancel = 1u << 3,      // cancels at a random fetch
    kKill = 1u << 4,        // kills at a random moment
    kCase = 1u << 5,        // files changing letter case
    kRunMe = 1u << 6,       // run-me entries
    kPatches = 1u << 7,     // patches between releases
    kUninstall = 1u << 8,   // uninstalls
    kRepair = 1u << 9,      // repairs and validations
    kSolutions = 1u << 10,  // solutions and their operations
    kProjectUpdates = 1u << 11,  // project updates (else only installs reach a project release)
    kAll = (1u << 12) - 1,
};
const std::pair<const char*, unsigned> kFeatureNames[] = {
    {"both", kBoth},     {"reflag", kReflag},   {"shared", kShared},       {"cancel", kCancel},
    {"kill", kKill},     {"case", kCase},       {"runme", kRunMe},         {"patches", kPatches},
    {"uninstall", kUninstall}, {"repair", kRepair}, {"solutions", kSolutions}, {"projectupdates", kProjectUpdates}, {"all", kAll},
};

// QUOR_MODEL_FEATURES: names joined by ",", a leading "-" leaving one out ("all,-both").
unsigned FeaturesFromEnvironment(unsigned fallback) {
    const char* value = std::getenv("QUOR_MODEL_FEATURES");
    if (!value || !*value) return fallback;
    unsigned features = 0;
    std::istringstream list(value);
    std::string item;
    while (std::getline(list, item, ',')) {
        const bool without = item.starts_with("-");
        const std::string name = without ? item.substr(1) : item;
        for (const auto& [known, bit] : kFeatureNames)
            if (name == known) features = without ? (features & ~bit) : (features | bit);
    }
    return features;
}

std::string FeatureText(unsigned features) {
    std::string text;
    for (const auto& [name, bit] : kFeatureNames)
        if (bit != kAll && (features & bit)) text += (text.empty() ? "" : ",") + std::string(name);
    return text;
}

// ---- The history ---------------------------------------------------------------------------

class Generator {
public:
    Generator(unsigned seed, unsigned features) : m_Random(seed), m_Features(features) {}
    unsigned Below(unsigned n) { return n ? static_cast<unsigned>(m_Random() % n) : 0; }
    bool Chance(unsigned percent) { return Below(100) < percent; }

    // Flags of a new entry: where it lives, its server form, kept compressed, run-me.
    DWORD Flags(bool runMe) {
        static constexpr DWORD kStorage[] = {0, 0, 0, 0, 0x01, 0x01, 0x02, 0x02, 0x03, 0x03};
        static constexpr DWORD kForm[] = {0, 0, 0x04, 0x20};
        DWORD flags = kStorage[Below(10)] | kForm[Below(4)] | (runMe ? 0x08 : 0);
        if ((flags & 0x03) == 0 && (flags & 0x24) && !runMe && Chance(40)) flags |= 0x10;
        return Legal(flags);
    }
    // Moves the flags of a kept entry to another combination for the same content.
    DWORD MovedFlags(DWORD flags) {
        switch (Below(4)) {
            case 0: return Legal((flags & ~0x34u) | (Chance(50) ? 0x04 : 0x20));  // another server form
            case 1: return Legal((flags & ~0x03u) | Below(4));                   // another place
            case 2: return Legal(flags ^ 0x10);                                  // kept compressed or not
            default: return Flags(flags & 0x08);
        }
    }
    // What a manifest allows: kept compressed only for a deploy file with a server form and no
    // run-me; a run-me entry never only archived (it could not be started); 0x03 when wanted.
    DWORD Legal(DWORD flags) const {
        if ((flags & 0x03) == 0x03 && !(m_Features & kBoth)) flags &= ~0x02u;
        if ((flags & 0x10) && ((flags & 0x03) || !(flags & 0x24) || (flags & 0x08))) flags &= ~0x10u;
        if ((flags & 0x08) && (flags & 0x03) == 0x02) flags = (flags & ~0x03u) | ((m_Features & kBoth) ? 0x03 : 0x01);
        return flags;
    }
    std::string Bytes(bool runMe) {
        const unsigned tag = static_cast<unsigned>(m_Random());
        if (runMe) return "#!/bin/sh\n# " + std::to_string(tag) + "\nexit 0\n";
        const size_t size = Chance(10) ? 20000 + Below(40000) : 100 + Below(4000);
        return InstallE2E::Bytes(size, tag);
    }

    unsigned Features() const { return m_Features; }

private:
    std::mt19937 m_Random;
    const unsigned m_Features;
};

struct History {
    ContentDescription description;
    std::vector<std::string> projects;
    std::vector<std::string> solutions;
    std::string summary;  // one line per release, for the failure report
};

// A file name of slot `slot`; `upper` changes the letter case of its last part.
std::string SlotName(unsigned slot, bool upper) {
    static const char* const kFolders[] = {"bin", "data", "lib/x", "Media", "a/b/c"};
    std::string leaf = "f" + std::to_string(slot) + ".dat";
    if (upper) leaf[0] = 'F';
    return std::string(kFolders[slot % 5]) + "/" + leaf;
}

History MakeHistory(unsigned seed, unsigned features) {
    Generator random(seed, features);
    History history;
    static const char* const kProjects[] = {"alpha", "beta", "gamma"};
    const unsigned projects = 2 + random.Below(2);
    std::ostringstream summary;
    for (unsigned p = 0; p < projects; ++p) {
        ProductSpec& product = history.description.AddProject(kProjects[p]);
        product.regionListings = {"xx"};
        history.projects.push_back(product.name);
        const unsigned releases = 4 + random.Below(3);
        unsigned nextSlot = 0;
        std::map<unsigned, bool> upper;  // slot -> current letter case
        for (unsigned r = 1; r <= releases; ++r) {
            const DWORD version = 0x01000000 + r;
            std::vector<FileSpec> files;
            std::vector<unsigned> slots;
            if (r > 1) {
                const ReleaseSpec& previous = product.releases.back();
                for (const FileSpec& old : previous.files) {
                    const unsigned slot = static_cast<unsigned>(std::stoul(old.name.substr(old.name.rfind('/') + 2)));
                    const unsigned roll = random.Below(100);
                    FileSpec file = old;
                    if (roll < 10) continue;  // removed
                    if (roll < 35) {          // changed content, maybe flags too
                        file.version = version;
                        file.bytes = random.Bytes(file.flags & 0x08);
                        if (random.Chance(30)) file.flags = random.MovedFlags(file.flags);
                    } else if (roll < 50) {  // same entry version, other flags
                        if (features & kReflag) file.flags = random.MovedFlags(file.flags);
                    } else if (roll < 56 && (features & kCase)) {  // changes letter case: a new entry
                        upper[slot] = !upper[slot];
                        file.name = SlotName(slot, upper[slot]);
                        file.version = version;
                        if (random.Chance(50)) file.bytes = random.Bytes(file.flags & 0x08);
                    }
                    files.push_back(file);
                    slots.push_back(slot);
                }
            }
            const unsigned added = r == 1 ? 7 + random.Below(12) : random.Below(5);
            for (unsigned i = 0; i < added; ++i) {
                const unsigned slot = nextSlot++;
                const bool runMe = random.Chance(6) && (features & kRunMe);
                FileSpec file;
                file.name = SlotName(slot, false);
                file.version = version;
                file.flags = random.Flags(runMe);
                file.bytes = random.Bytes(runMe);
                files.push_back(file);
            }
            ReleaseSpec& release = product.AddRelease(version, {"xx"});
            release.files = files;
            if (random.Chance(30)) release.binBytes = 16384;  // first downloads from package bins
            if (r > 1 && random.Chance(60) && (features & kPatches))
                release.patches.push_back({version - 1, std::vector<DWORD>{0, 0x01, 0x04}[random.Below(3)],
                                           random.Chance(30) ? 16384u : 0u});
            if (r > 2 && random.Chance(25) && (features & kPatches)) release.patches.push_back({version - 2, 0, 0});
            summary << product.name << " " << Text(version) << ":";
            for (const FileSpec& file : files)
                summary << " " << file.name << "@" << (file.version & 0xFF) << "/0x" << std::hex << file.flags
                        << std::dec;
            for (const auto& patch : release.patches)
                summary << " patch-from-" << (patch.source & 0xFF) << (patch.binBytes ? "-in-bins" : "");
            if (release.binBytes) summary << " bins";
            summary << "\n";
        }
    }
    // Two solutions sharing the second project (or only the first).
    std::vector<std::pair<std::string, std::pair<unsigned, unsigned>>> solutions;
    if (features & kSolutions) solutions.push_back({"suite", {0, 1}});
    if ((features & kSolutions) && (features & kShared)) solutions.push_back({"combo", {1, projects == 3 ? 2u : 0u}});
    std::vector<DWORD> sharedReleases;  // the shared project's releases the first solution lists
    for (const auto& [name, members] : solutions) {
        ProductSpec& solution = history.description.AddSolution(name);
        solution.regionListings = {"xx"};
        history.solutions.push_back(name);
        const unsigned releases = 2 + random.Below(2);
        DWORD first = 0, second = 0;  // release numbers, never going down
        for (unsigned r = 1; r <= releases; ++r) {
            const ProductSpec& a = history.description.projects[members.first];
            const ProductSpec& b = history.description.projects[members.second];
            first = std::max<DWORD>(first, 1 + random.Below(static_cast<unsigned>(a.releases.size())));
            if (name == "combo" && !sharedReleases.empty() && random.Chance(60))  // often the very same release
                first = std::max<DWORD>(first, sharedReleases[random.Below(static_cast<unsigned>(sharedReleases.size()))]);
            second = std::max<DWORD>(second, 1 + random.Below(static_cast<unsigned>(b.releases.size())));
            if (name == "suite") sharedReleases.push_back(second);
            ReleaseSpec& release = solution.AddRelease(0x02000000 + r, {"xx"});
            const DWORD high = 5 + random.Below(5);  // never equal priorities: no tie to break
            release.projects = {{a.name, 0x01000000 + first, high, 0}, {b.name, 0x01000000 + second, 13 - high, 0}};
            release.configurations = {{kConfiguration, {a.name, b.name}}};
            summary << name << " " << Text(0x02000000 + r) << ": " << a.name << " " << Text(0x01000000 + first)
                    << " (" << high << "), " << b.name << " " << Text(0x01000000 + second) << " (" << 13 - high
                    << ")\n";
        }
    }
    history.summary = summary.str();
    return history;
}

// ---- The operations ------------------------------------------------------------------------

enum class Kind {
    kInstallProject,
    kUpdateProject,
    kInstallSolution,
    kUpdateSolution,
    kUninstallProject,
    kUninstallSolution,
    kRepair,
    kValidateProject,
    kValidateSolution,
    kCancel,  // of `inner`, at fetch `cancelAt`, then the same operation again
    kKill,    // of `inner` (a project or solution update) in the child, then a rerun
};

struct Operation {
    Kind kind = Kind::kRepair;
    Kind inner = Kind::kRepair;
    std::string name;
    DWORD version = kNewest;
    unsigned cancelAt = 0;
    unsigned killPercent = 0;  // of the longest whole child run seen so far

    bool Solution() const {
        const Kind what = kind == Kind::kCancel || kind == Kind::kKill ? inner : kind;
        return what == Kind::kInstallSolution || what == Kind::kUpdateSolution || what == Kind::kUninstallSolution ||
               what == Kind::kValidateSolution;
    }
};

std::string KindText(Kind kind) {
    switch (kind) {
        case Kind::kInstallProject: return "install-project";
        case Kind::kUpdateProject: return "update-project";
        case Kind::kInstallSolution: return "install-solution";
        case Kind::kUpdateSolution: return "update-solution";
        case Kind::kUninstallProject: return "uninstall-project";
        case Kind::kUninstallSolution: return "uninstall-solution";
        case Kind::kRepair: return "repair";
        case Kind::kValidateProject: return "validate-project";
        case Kind::kValidateSolution: return "validate-solution";
        case Kind::kCancel: return "cancel";
        case Kind::kKill: return "kill";
    }
    return "?";
}

std::string Describe(const Operation& op) {
    const auto plain = [](Kind kind, const Operation& o) {
        std::string text = KindText(kind);
        if (kind == Kind::kRepair) return text;
        text += " " + o.name;
        if (kind != Kind::kValidateProject && kind != Kind::kValidateSolution) text += " " + Text(o.version);
        return text;
    };
    if (op.kind == Kind::kCancel) return "cancel at fetch " + std::to_string(op.cancelAt) + " of " + plain(op.inner, op);
    if (op.kind == Kind::kKill) return "kill at " + std::to_string(op.killPercent) + "% of " + plain(op.inner, op);
    return plain(op.kind, op);
}

// The sequence depends on the seed only (never on what the operations did), so that a subset of
// it can be replayed.
std::vector<Operation> MakeOperations(unsigned seed, unsigned features, const History& history, size_t count) {
    Generator random(seed * 7919u + 17u, features);
    struct Weighted {
        Kind kind;
        unsigned weight;
    };
    static const Weighted kMix[] = {
        {Kind::kInstallProject, 12}, {Kind::kUpdateProject, 14},    {Kind::kInstallSolution, 9},
        {Kind::kUpdateSolution, 9},  {Kind::kUninstallProject, 7},  {Kind::kUninstallSolution, 5},
        {Kind::kRepair, 6},          {Kind::kValidateProject, 4},   {Kind::kValidateSolution, 4},
        {Kind::kCancel, 10},         {Kind::kKill, 14},
    };
    const auto allowed = [features](Kind kind) {
        switch (kind) {
            case Kind::kCancel: return (features & kCancel) != 0;
            case Kind::kKill: return (features & kKill) != 0;
            case Kind::kUninstallProject: return (features & kUninstall) != 0;
            case Kind::kUninstallSolution: return (features & kUninstall) && (features & kSolutions);
            case Kind::kRepair:
            case Kind::kValidateProject: return (features & kRepair) != 0;
            case Kind::kValidateSolution: return (features & kRepair) && (features & kSolutions);
            case Kind::kInstallSolution:
            case Kind::kUpdateSolution: return (features & kSolutions) != 0;
            case Kind::kUpdateProject: return (features & kProjectUpdates) != 0;
            default: return true;
        }
    };
    unsigned total = 0;
    for (const auto& item : kMix) total += allowed(item.kind) ? item.weight : 0;
    const auto releasesOf = [&](const std::string& name, bool solution) {
        for (const auto& product : solution ? history.description.solutions : history.description.projects)
            if (product.name == name) return static_cast<unsigned>(product.releases.size());
        return 0u;
    };
    std::vector<Operation> operations;
    for (size_t i = 0; i < count; ++i) {
        Operation op;
        unsigned pick = random.Below(total);
        for (const auto& item : kMix) {
            if (!allowed(item.kind)) continue;
            if (pick < item.weight) {
                op.kind = item.kind;
                break;
            }
            pick -= item.weight;
        }
        op.inner = op.kind;
        if (op.kind == Kind::kCancel) {
            static constexpr Kind kCancellable[] = {Kind::kInstallProject, Kind::kUpdateProject,
                                                    Kind::kInstallSolution, Kind::kUpdateSolution};
            op.inner = kCancellable[random.Below((features & kSolutions) ? 4 : 2)];
            if (op.inner == Kind::kUpdateProject && !(features & kProjectUpdates)) op.inner = Kind::kInstallProject;
            op.cancelAt = random.Below(12);
        } else if (op.kind == Kind::kKill) {
            const bool project = (random.Chance(60) || !(features & kSolutions)) && (features & kProjectUpdates);
            op.inner = project ? Kind::kUpdateProject : Kind::kUpdateSolution;
            if (!(features & (kProjectUpdates | kSolutions))) op.kind = op.inner = Kind::kInstallProject;
            op.killPercent = random.Below(101);
        }
        const bool solution = op.Solution();
        const auto& names = solution ? history.solutions : history.projects;
        op.name = names[random.Below(static_cast<unsigned>(names.size()))];
        const unsigned releases = releasesOf(op.name, solution);
        op.version = (solution ? 0x02000000u : 0x01000000u) + 1 + random.Below(releases);
        if ((op.inner == Kind::kUpdateProject || op.inner == Kind::kUpdateSolution) && random.Chance(35))
            op.version = kNewest;
        operations.push_back(op);
    }
    return operations;
}

// An IRemoteFileServer that forwards to another and sets the cancel flag at the n-th GetFile.
class CancellingServer : public Quor::User::IRemoteFileServer {
public:
    CancellingServer(Quor::User::IRemoteFileServer& inner, signed char& cancel, unsigned at)
        : m_Inner(inner), m_Cancel(cancel), m_At(at) {}
    virtual ~CancellingServer() = default;

    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    Quor::Common::IGetFileProgressCallback* const callback, const bool flag) override {
        if (m_Calls++ == m_At) m_Cancel = 1;
        return m_Inner.GetFile(remotePath, localPath, callback, flag);
    }
    HRESULT GetFileSize(const std::string& remotePath, DWORD& size) override {
        return m_Inner.GetFileSize(remotePath, size);
    }
    const std::string& GetDownloadPath() override { return m_Inner.GetDownloadPath(); }
    HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, std::vector<DWORD>& releases,
                                               const unsigned int flags) override {
        return m_Inner.EnumerateAvailableSolutionReleases(solution, releases, flags);
    }
    HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string& solution, const std::string& region,
                                                        std::vector<DWORD>& releases,
                                                        const unsigned int flags) override {
        return m_Inner.EnumerateAvailableSolutionReleasesForRegion(solution, region, releases, flags);
    }
    HRESULT EnumerateAvailableProjectReleases(const std::string& project, std::vector<DWORD>& releases,
                                              const unsigned int flags) override {
        return m_Inner.EnumerateAvailableProjectReleases(project, releases, flags);
    }
    HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string& project, const std::string& region,
                                                       std::vector<DWORD>& releases,
                                                       const unsigned int flags) override {
        return m_Inner.EnumerateAvailableProjectReleasesForRegion(project, region, releases, flags);
    }
    HRESULT EnumerateAvailablePatches(const std::string& project, const DWORD release, std::vector<DWORD>& patches,
                                      const DWORD flags) override {
        return m_Inner.EnumerateAvailablePatches(project, release, patches, flags);
    }

private:
    Quor::User::IRemoteFileServer& m_Inner;
    signed char& m_Cancel;
    const unsigned m_At;
    std::atomic<unsigned> m_Calls{0};
};

struct Counts {
    unsigned long operations = 0, kills = 0, cancels = 0, violations = 0;
    unsigned long skipped = 0;  // uninstalls of project releases a complete solution lists
};

std::string FirstLines(const std::string& text, size_t count) {
    size_t end = 0;
    for (size_t i = 0; i < count && end != std::string::npos; ++i) end = text.find('\n', end ? end + 1 : 0);
    return end == std::string::npos ? text : text.substr(0, end + 1) + "  ...\n";
}

// ---- The model test ------------------------------------------------------------------------

class ReleaseModelTest : public InstallFixture {
protected:
    // The error lines of each operation are kept for the failure report (every line with QUOR_MODEL_LOG).
    void SetUp() override {
        InstallFixture::SetUp();
        Quor::Log::SetLogLevel(std::getenv("QUOR_MODEL_LOG") ? Quor::Log::VERBOSE : Quor::Log::ERROR);
        // Into a file of the test's own, not onto the console.
        (void)Quor::Log::SetLogFile((outside.path() + "/model.log").c_str());
    }

    // The release folders of projects and solutions (as "projects/alpha" and the version) that
    // hold `inside` (a file or folder).
    std::set<std::pair<std::string, DWORD>> ReleasesHolding(const char* inside) const {
        std::set<std::pair<std::string, DWORD>> found;
        for (const char* top : {"projects", "solutions"}) {
            std::error_code none;
            for (const auto& product : std::filesystem::directory_iterator(root + "/" + top, none))
                for (const auto& release : std::filesystem::directory_iterator(product.path() / "releases", none)) {
                    DWORD version = 0;
                    if (std::filesystem::exists(release.path() / inside, none) &&
                        SUCCEEDED(ConvertVersion::ToNumber(release.path().filename().string(), version)))
                        found.insert({std::string(top) + "/" + product.path().filename().string(), version});
                }
        }
        return found;
    }
    // The releases of a project or solution that hold "S_OK".
    std::set<std::pair<std::string, DWORD>> CompleteReleases() const { return ReleasesHolding("S_OK"); }
    static std::string Folder(const std::pair<std::string, DWORD>& release) {
        return release.first + "/releases/" + ConvertVersion::ToString(release.second) + "/";
    }

    // Lines for every way a complete release differs from its description: its own folder exactly,
    // and every other file it needs present with its content.
    std::string Violations() const {
        const QuorTest::TreeSnapshot actual = InstallTesting::InstalledSnapshot(root);
        std::string lines;
        for (const auto& release : CompleteReleases()) {
            const bool solution = release.first.starts_with("solutions/");
            const std::string name = release.first.substr(release.first.find('/') + 1);
            const QuorTest::TreeSnapshot expected =
                solution ? QuorTest::ExpectedSolutionInstall(description, content.path(), name, release.second,
                                                             kConfiguration)
                         : QuorTest::ExpectedProjectInstall(description, content.path(), name, release.second);
            const std::string own = Folder(release);
            std::string differences;
            for (const auto& [path, md5] : expected) {
                const auto found = actual.find(path);
                if (found == actual.end()) differences += "  - " + path + "\n";
                else if (md5 != QuorTest::kAnyContent && md5 != found->second) differences += "  ~ " + path + "\n";
            }
            for (auto it = actual.lower_bound(own); it != actual.end() && it->first.starts_with(own); ++it)
                if (!expected.count(it->first) && !IsUsersFile(it->first)) differences += "  + " + it->first + "\n";
            if (!differences.empty())
                lines += "complete release " + release.first + " " + ConvertVersion::ToString(release.second) +
                         " differs from its description:\n" + differences;
        }
        return lines;
    }

    // A file of the program's or its user's in a deploy folder: its product ("projects/alpha"),
    // the release folder it is in now, its name below deploy/ (no release lists it) and its bytes.
    struct UsersFile {
        std::string product;
        DWORD version = 0;
        std::string name;
        std::string bytes;
        bool gone = false;  // a repair or an uninstall removed it
        std::string Path() const {
            return product + "/releases/" + ConvertVersion::ToString(version) + "/deploy/" + name;
        }
    };
    // A user's file, or the folder that held it, in any release folder of its product: an update
    // may have moved the folder since.
    bool IsUsersFile(const std::string& path) const {
        return std::any_of(m_UsersFiles.begin(), m_UsersFiles.end(), [&](const UsersFile& file) {
            const std::string releases = file.product + "/releases/";
            if (!path.starts_with(releases)) return false;
            const size_t slash = path.find('/', releases.size());
            if (slash == std::string::npos) return false;
            const std::string rest = path.substr(slash), own = "/deploy/" + file.name;
            return rest == own || (own.starts_with(rest + "/") && rest.size() > std::string("/deploy").size());
        });
    }
    // Before about a third of the operations (a function of the seed and the step): a user's file
    // into the deploy folder of a random release folder that has one.
    void MaybePutUsersFile(unsigned seed, size_t step) {
        std::mt19937 random(seed * 7919u + static_cast<unsigned>(step));
        if (random() % 3 != 0) return;
        const auto holding = ReleasesHolding("deploy");
        const std::vector<std::pair<std::string, DWORD>> folders(holding.begin(), holding.end());
        if (folders.empty()) return;
        const auto& [product, version] = folders[random() % folders.size()];
        const std::string id = std::to_string(m_UsersFiles.size());
        UsersFile file{product, version, random() % 2 ? "user" + id + ".cfg" : "saves" + id + "/slot.sav",
                       "the user's file " + id + std::string(random() % 3000, 'u')};
        QuorTest::WriteFile(root + "/" + file.Path(), file.bytes);
        m_UsersFiles.push_back(std::move(file));
    }
    // After an operation: each user's file is where it was, or in another release folder of its
    // product (an update moved the folder); a repair or an uninstall may have removed it.
    std::string CheckUsersFiles(Kind kind) {
        const bool mayRemove = kind == Kind::kRepair || kind == Kind::kUninstallProject ||
                               kind == Kind::kUninstallSolution;
        std::string lines;
        for (UsersFile& file : m_UsersFiles) {
            if (file.gone) continue;
            const auto holds = [&](const UsersFile& at) {
                const std::string path = root + "/" + at.Path();
                return std::filesystem::is_regular_file(std::filesystem::symlink_status(path)) &&
                       QuorTest::ReadFile(path) == at.bytes;
            };
            bool found = holds(file);
            std::error_code none;
            for (const auto& release : std::filesystem::directory_iterator(root + "/" + file.product + "/releases", none)) {
                if (found) break;
                UsersFile moved = file;
                if (FAILED(ConvertVersion::ToNumber(release.path().filename().string(), moved.version))) continue;
                if ((found = holds(moved))) file.version = moved.version;
            }
            if (!found && !mayRemove) lines += "  lost the user's file " + file.Path() + "\n";
            file.gone = !found;
        }
        return lines.empty() ? "" : "a file no release lists was lost:\n" + lines;
    }

    // Runs one in-process operation the way the kernel's handlers run it.
    HRESULT RunInProcess(Kind kind, const Operation& op, Quor::User::IRemoteFileServer& server,
                         signed char& cancelFlag) {
        Quor::User::AutoUpdateProgress progressOfOp(nullptr, &cancelFlag, 0);
        switch (kind) {
            case Kind::kInstallProject: return RunInstall(op.name, op.version, server, progressOfOp);
            case Kind::kUpdateProject: {
                const Quor::User::UpdateProject::InputParameters input{
                    op.name, Quor::INVALID_RELEASE_VERSION, op.version, fileSystem, server, progressOfOp};
                const Quor::User::UpdateProject::Discover discover(input);
                return Quor::User::UpdateProject::Execute(discover, nullptr, nullptr).m_hr;
            }
            case Kind::kInstallSolution: {
                const Quor::User::InstallSolutionRelease::InputParameters input{
                    op.name, op.version, kConfiguration, fileSystem, server, progressOfOp};
                const Quor::User::InstallSolutionRelease::Discover discover(input);
                return Quor::User::InstallSolutionRelease::Execute(discover).m_hr;
            }
            case Kind::kUpdateSolution: {
                const Quor::User::UpdateSolution::InputParameters input{op.name,    kConfiguration, op.version,
                                                                        fileSystem, server,         progressOfOp};
                const Quor::User::UpdateSolution::Discover discover(input);
                return Quor::User::UpdateSolution::Execute(discover, nullptr).m_hr;
            }
            case Kind::kUninstallProject:
                return Quor::User::UninstallProjectRelease(op.name, op.version, fileSystem, progressOfOp);
            case Kind::kUninstallSolution:
                return Quor::User::UninstallSolutionRelease(op.name, op.version, fileSystem, progressOfOp);
            case Kind::kRepair: {
                const Quor::User::Repair::InputParameters input{0, fileSystem, server, progressOfOp};
                Quor::User::Repair::Discover discover(input);
                return Quor::User::Repair::Execute(discover).m_hr;
            }
            case Kind::kValidateProject: return Quor::User::ValidateProject(op.name, fileSystem, server, progressOfOp);
            case Kind::kValidateSolution:
                return Quor::User::ValidateSolution(op.name, fileSystem, server, progressOfOp);
            case Kind::kCancel:
            case Kind::kKill: break;
        }
        return E_FAIL;
    }

    // Starts the update child for a project or solution update; its pid.
    pid_t StartChild(const Operation& op) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(op.version));
        Quor::User::ManagedFileHelper::Release();  // the child writes the archives itself
        const pid_t pid =
            op.inner == Kind::kUpdateProject
                ? QuorTest::StartQuiet(QUOR_UPDATE_CHILD, {"project", op.name, hex})
                : QuorTest::StartQuiet(QUOR_UPDATE_CHILD, {"solution", op.name, kConfiguration, hex});
        EXPECT_GT(pid, 0);
        return pid;
    }
    // The target an update reached: the version asked for, or the newest described.
    DWORD Target(const Operation& op) const {
        if (op.version != kNewest) return op.version;
        for (const auto& product : op.Solution() ? description.solutions : description.projects)
            if (product.name == op.name) return product.releases.back().version;
        return kNewest;
    }
    // What is wrong with the result of an operation nothing disturbed (empty when nothing is).
    std::string CheckResult(Kind kind, const Operation& op, HRESULT hr,
                            const std::set<std::pair<std::string, DWORD>>& before) const {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(hr));
        const std::string top = op.Solution() ? "solutions/" : "projects/";
        const auto complete = CompleteReleases();
        switch (kind) {
            case Kind::kInstallProject:
            case Kind::kUpdateProject:
            case Kind::kInstallSolution:
            case Kind::kUpdateSolution:
                if (hr != S_OK) return "failed with " + std::string(code) + " on a sound server\n";
                if (!complete.count({top + op.name, Target(op)}))
                    return "answered S_OK but " + Text(Target(op)) + " holds no \"S_OK\"\n";
                return "";
            case Kind::kUninstallProject:
            case Kind::kUninstallSolution:
                if (hr == S_OK && complete.count({top + op.name, op.version}))
                    return "answered S_OK but the release still holds \"S_OK\"\n";
                return "";
            case Kind::kRepair:
            case Kind::kValidateProject:
            case Kind::kValidateSolution: {
                if (kind == Kind::kRepair && hr != S_OK) return "failed with " + std::string(code) + "\n";
                if (kind != Kind::kRepair && hr != S_OK && hr != E_FAIL)
                    return "failed with " + std::string(code) + "\n";
                std::string lost;
                for (const auto& release : before)
                    if (!complete.count(release)) lost += "  lost \"S_OK\": " + Folder(release) + "\n";
                return lost.empty() ? "" : "a sound tree lost complete releases:\n" + lost;
            }
            case Kind::kCancel:
            case Kind::kKill: break;
        }
        return "";
    }

    // Whether a complete solution release's configuration names that project release.
    bool ListedByCompleteSolution(const std::set<std::pair<std::string, DWORD>>& complete, const std::string& name,
                                  DWORD version) const {
        for (const auto& [folder, solutionVersion] : complete) {
            if (!folder.starts_with("solutions/")) continue;
            for (const auto& solution : description.solutions)
                if ("solutions/" + solution.name == folder)
                    if (const ReleaseSpec* release = solution.FindRelease(solutionVersion))
                        for (const auto& listed : release->projects)
                            if (listed.name == name && listed.version == version) return true;
        }
        return false;
    }

    // Runs one operation; what went wrong (empty when nothing did).
    std::string Run(const Operation& op, Counts& counts) {
        const auto before = CompleteReleases();
        signed char cancelFlag = 0;
        if (op.kind == Kind::kCancel) {
            ++counts.cancels;
            CancellingServer cancelling(*http, cancelFlag, op.cancelAt);
            (void)RunInProcess(op.inner, op, cancelling, cancelFlag);
            std::string broken = Violations();
            if (!broken.empty()) return "after the cancelled run:\n" + broken;
            cancelFlag = 0;
            const auto again = CompleteReleases();
            const HRESULT hr = RunInProcess(op.inner, op, *http, cancelFlag);
            broken = CheckResult(op.inner, op, hr, again);
            return broken.empty() ? "" : "the run after the cancel " + broken;
        }
        if (op.kind == Kind::kKill) {
            ++counts.kills;
            const pid_t child = StartChild(op);
            const auto delay = std::chrono::microseconds(m_LongestChildRun.count() * op.killPercent / 100);
            std::this_thread::sleep_for(delay);  // the kill point, not an order
            kill(child, SIGKILL);
            QuorTest::WaitForChild(child);
            std::string broken = Violations();
            if (!broken.empty()) return "after the kill:\n" + broken;
            const auto start = std::chrono::steady_clock::now();
            const int status = QuorTest::WaitForChild(StartChild(op));
            m_LongestChildRun = std::max(m_LongestChildRun, std::chrono::duration_cast<std::chrono::microseconds>(
                                                                std::chrono::steady_clock::now() - start));
            Quor::User::ManagedFileHelper::Release();
            const HRESULT hr = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? S_OK : E_FAIL;
            broken = CheckResult(op.inner, op, hr, before);
            return broken.empty() ? "" : "the rerun after the kill " + broken;
        }
        if (op.kind == Kind::kUninstallProject && ListedByCompleteSolution(before, op.name, op.version)) {
            ++counts.skipped;  // a removal the client asked for on purpose would leave that solution short
            return "";
        }
        const HRESULT hr = RunInProcess(op.kind, op, *http, cancelFlag);
        return CheckResult(op.kind, op, hr, before);
    }

    // Plays the seed's history and operations; the counts, the failure text in `report`.
    Counts Play(unsigned seed, unsigned features, size_t count, const std::string& steps, std::string& report) {
        Counts counts;
        const History history = MakeHistory(seed, features);
        description = history.description;
        tree.InstallPatchTools();  // the builder makes the patches with our jdiff
        Serve();
        if (HasFailure()) {
            report = "seed " + std::to_string(seed) + ": the content could not be served\n";
            return counts;
        }
        const std::vector<Operation> all = MakeOperations(seed, features, history, count);
        std::vector<size_t> chosen;
        if (steps.empty()) {
            for (size_t i = 0; i < all.size(); ++i) chosen.push_back(i);
        } else {
            std::istringstream list(steps);
            std::string item;
            while (std::getline(list, item, ','))
                if (!item.empty() && std::stoul(item) < all.size()) chosen.push_back(std::stoul(item));
        }
        std::string played;
        for (const size_t index : chosen) {
            const Operation& op = all[index];
            played += "  " + std::to_string(index) + ": " + Describe(op) + "\n";
            ++counts.operations;
            quiet.Clear();
            MaybePutUsersFile(seed, index);
            std::string broken = Run(op, counts);
            if (broken.empty()) broken = Violations();
            if (broken.empty())
                broken = CheckUsersFiles(op.kind == Kind::kCancel || op.kind == Kind::kKill ? op.inner : op.kind);
            if (!broken.empty()) {
                ++counts.violations;
                report = "model violation, seed " + std::to_string(seed) + " (replay: QUOR_MODEL_SEED=" +
                         std::to_string(seed) + " QUOR_MODEL_OPS=" + std::to_string(count) +
                         " QUOR_MODEL_FEATURES=" + FeatureText(features) +
                         " --gtest_filter=ReleaseModelTest.FixedSeed)\noperations run:\n" + played +
                         "operation " + std::to_string(index) + " (" + Describe(op) + ") broke the model: " +
                         broken + "its error lines:\n" + (std::getenv("QUOR_MODEL_LOG") ? quiet.All() : FirstLines(quiet.Errors(), 25)) + "history:\n" +
                         history.summary;
                break;
            }
        }
        return counts;
    }

    std::chrono::microseconds m_LongestChildRun{300000};
    std::vector<UsersFile> m_UsersFiles;
};

// What the default run exercises: everything the generator makes.
constexpr unsigned kDefaultFeatures = kAll;

// The default run: one fixed seed and a short sequence (replayable with the environment above).
TEST_F(ReleaseModelTest, FixedSeed) {
    const unsigned seed = static_cast<unsigned>(EnvNumber("QUOR_MODEL_SEED", 9));
    const size_t count = EnvNumber("QUOR_MODEL_OPS", 45);
    const char* steps = std::getenv("QUOR_MODEL_STEPS");
    const unsigned features = FeaturesFromEnvironment(kDefaultFeatures);
    std::string report;
    const Counts counts = Play(seed, features, count, steps ? steps : "", report);
    if (const char* out = std::getenv("QUOR_MODEL_REPORT")) {
        std::ofstream(out) << counts.operations << " " << counts.kills << " " << counts.cancels << " "
                           << counts.violations << "\n"
                           << report;
    }
    if (!report.empty()) ADD_FAILURE() << report;
    std::printf("[model] features %s\n", FeatureText(features).c_str());
    std::printf("[model] seed %u: %lu operations, %lu kills, %lu cancels, %lu uninstalls passed over, %lu violations\n",
                seed, counts.operations, counts.kills, counts.cancels, counts.skipped, counts.violations);
}

// The long run: histories of consecutive seeds, each in a child process of this program.
TEST_F(ReleaseModelTest, LongRun) {
    const unsigned first = static_cast<unsigned>(EnvNumber("QUOR_MODEL_SEED", 1000));
    const unsigned long wanted = EnvNumber("QUOR_MODEL_OPS", QUOR_MODEL_DEFAULT_OPS);
    const unsigned long perHistory = EnvNumber("QUOR_MODEL_HISTORY_OPS", 100);
    const unsigned features = FeaturesFromEnvironment(kAll);
    const unsigned long enough = EnvNumber("QUOR_MODEL_MAX_VIOLATIONS", 5);  // histories broken before it stops
    QuorTest::TempDir scratch("quormodel");
    Counts total;
    unsigned histories = 0;
    std::string failures;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned seed = first; total.operations < wanted && total.violations < enough; ++seed, ++histories) {
        const std::string report = scratch / ("report-" + std::to_string(seed));
        const std::string output = scratch / ("output-" + std::to_string(seed));
        const std::string command = "QUOR_MODEL_SEED=" + std::to_string(seed) +
                                    " QUOR_MODEL_OPS=" + std::to_string(std::min(perHistory, wanted - total.operations)) +
                                    " QUOR_MODEL_FEATURES=" + FeatureText(features) +
                                    " QUOR_MODEL_REPORT=" + QuorTest::ShellQuote(report) + " " +
                                    QuorTest::ShellQuote(std::filesystem::read_symlink("/proc/self/exe").string()) +
                                    " --gtest_filter=ReleaseModelTest.FixedSeed >" + QuorTest::ShellQuote(output) +
                                    " 2>&1";
        const int status = QuorTest::RunCommand(command);
        std::ifstream in(report);
        Counts counts;
        if (!(in >> counts.operations >> counts.kills >> counts.cancels >> counts.violations)) {
            failures += "seed " + std::to_string(seed) + ": no report (exit " + std::to_string(status) +
                        "), output in " + output + "\n";
            ++total.violations;
            break;
        }
        total.operations += counts.operations;
        total.kills += counts.kills;
        total.cancels += counts.cancels;
        total.violations += counts.violations;
        if (counts.violations) failures += std::string(std::istreambuf_iterator<char>(in), {}) + "\n";
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("[model] long run from seed %u: %u histories, %lu operations, %lu kills, %lu cancels, "
                "%lu violations, %lld s\n",
                first, histories, total.operations, total.kills, total.cancels, total.violations,
                static_cast<long long>(seconds));
    if (!failures.empty()) ADD_FAILURE() << failures;
}

}  // namespace
}  // namespace InstallE2E
