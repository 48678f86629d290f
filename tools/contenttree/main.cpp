// quor-content: writes the tree a content server serves from a content description.
// Exit status: 0 success, 1 failure (reason on standard error), 2 wrong usage.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

namespace fs = std::filesystem;

const char* const USAGE =
    "usage:\n"
    "  quor-content build <description> <server-root> [--jdiff <path>]\n"
    "      Writes below <server-root> the content tree the description names (a web server then\n"
    "      serves <server-root> at \"/\"). Patches are made with our jdiff: the one given, else the\n"
    "      jdiff beside this program or two folders up (the top of the build tree).\n"
    "\n"
    "Description: one statement per line; blank lines and lines starting with \"#\" are skipped.\n"
    "  downloadpath /quor                   the server path prefix (DownloadPath; default /quor)\n"
    "  project <name> | solution <name>     starts a project or solution\n"
    "    listing <region>                   writes releaselisting_<region>\n"
    "    versionlisting <text> <a.b.c.d>... a projectversionlisting line\n"
    "    release <a.b.c.d> [unlisted] [<region>...]\n"
    "                                       a release, named in releaselisting unless \"unlisted\",\n"
    "                                       with a marker <region>_OK per region\n"
    "  in a project release:\n"
    "      file <name> <version|-> <flags> <content>\n"
    "                                       an entry as quor-manifest describes one (name, entry\n"
    "                                       version, flags: 0x01 managed, 0x02 archived, 0x04 zlib,\n"
    "                                       0x08 run once, 0x10 stored compressed, 0x20 LZMA), whose\n"
    "                                       size, compressed size and md5 come from its content:\n"
    "                                       text:<bytes> (\\n \\t \\s \\\\ escapes), random:<size>[:<seed>],\n"
    "                                       zeros:<size>, empty, @<file> (relative to the\n"
    "                                       description), or same (the bytes the release <version>\n"
    "                                       described gave this name); \"-\": this release\n"
    "      packages <bytes>                 also serves the files from bins of about <bytes>\n"
    "      patch <a.b.c.d> [zlib|lzma] [packages <bytes>]\n"
    "                                       patches from that release of the project\n"
    "  in a solution release:\n"
    "      member <project> <a.b.c.d> <priority> [flags]\n"
    "      configuration <name> <project>...\n";

std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    path[length] = '\0';
    return fs::path(path).parent_path().string();
}

std::string FindJDiff(const std::string& given) {
    if (!given.empty()) return given;
    // Beside this tool, or at the top of the build tree (where the build puts jdiff, beside the
    // kernel's bundle).
    for (const char* candidate : {"/jdiff", "/../../jdiff"}) {
        const std::string path = OwnFolder() + candidate;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

bool HasPatches(const Quor::Tools::ContentTree::ContentDescription& description) {
    for (const auto& project : description.projects)
        for (const auto& release : project.releases)
            if (!release.patches.empty()) return true;
    return false;
}

// An install tree whose system/ holds jdiff, for the patch maker; removed when it dies.
class WorkTree {
public:
    bool Make(const std::string& jdiff, std::string& error) {
        std::string pattern = (fs::temp_directory_path() / "quor-content-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            error = "cannot create a work folder";
            return false;
        }
        m_folder = pattern;
        std::error_code ec;
        fs::create_directories(m_folder + "/QUOR/system", ec);
        if (!ec) fs::create_directories(m_folder + "/QUOR/temp", ec);
        if (!ec) fs::copy_file(jdiff, m_folder + "/QUOR/system/jdiff", ec);
        if (ec) {
            error = "cannot prepare the work folder with \"" + jdiff + "\": " + ec.message();
            return false;
        }
        fs::permissions(m_folder + "/QUOR/system/jdiff", fs::perms::owner_all, fs::perm_options::add, ec);
        if (chdir((m_folder + "/QUOR/system").c_str()) != 0) {
            error = "cannot enter the work folder";
            return false;
        }
        return true;
    }
    ~WorkTree() {
        if (m_folder.empty()) return;
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }

private:
    std::string m_folder;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace Quor::Tools::ContentTree;
    if (argc == 2 && (std::string(argv[1]) == "help" || std::string(argv[1]) == "--help")) {
        fputs(USAGE, stdout);
        return 0;
    }
    if ((argc != 4 && argc != 6) || std::string(argv[1]) != "build" ||
        (argc == 6 && std::string(argv[4]) != "--jdiff")) {
        fputs(USAGE, stderr);
        return 2;
    }
    std::error_code ec;
    const std::string descriptionPath = fs::absolute(argv[2], ec).string();
    fs::create_directories(argv[3], ec);
    const std::string serverRoot = fs::absolute(argv[3], ec).string();
    if (ec) {
        fprintf(stderr, "quor-content: cannot create \"%s\": %s\n", argv[3], ec.message().c_str());
        return 1;
    }

    ContentDescription description;
    std::string error;
    if (!ReadContentDescription(descriptionPath, description, error)) {
        fprintf(stderr, "quor-content: %s\n", error.c_str());
        return 1;
    }
    WorkTree work;
    if (HasPatches(description)) {
        const std::string jdiff = FindJDiff(argc == 6 ? argv[5] : "");
        if (jdiff.empty() || !work.Make(jdiff, error)) {
            fprintf(stderr, "quor-content: %s\n", jdiff.empty() ? "no jdiff found (use --jdiff)" : error.c_str());
            return 1;
        }
    }
    if (!BuildContentTree(description, serverRoot, error)) {
        fprintf(stderr, "quor-content: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
