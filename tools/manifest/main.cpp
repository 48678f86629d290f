// quor-manifest: prints the content manifests in readable form and writes release manifests.
// Exit status: 0 success, 1 failure (reason on standard error), 2 wrong usage.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/RegularFile.h"
#include "common/ReleaseManifest.h"
#include "tools/manifest/Description.h"
#include "tools/manifest/FolderScan.h"
#include "tools/manifest/Printers.h"

namespace {

const char* const USAGE =
    "usage:\n"
    "  quor-manifest print <file>\n"
    "      Prints a release manifest (\"RLSM\"), solution manifest, configuration manifest, package\n"
    "      manifest (\"PKG1\") or patch manifest in readable form; the kind is told by the file's\n"
    "      first bytes. A release manifest is printed in the description format below, after \"#\"\n"
    "      lines naming project and release, so that it can be written back with `write`.\n"
    "  quor-manifest print-release|print-solution|print-configuration|print-package|print-patch <file>\n"
    "      The same for a file of the kind named.\n"
    "  quor-manifest write <out> <project> <a.b.c.d> <description|->\n"
    "      Writes the release manifest <out> of release <a.b.c.d> of <project> from a description\n"
    "      (\"-\": standard input): one file per line,\n"
    "          name version flags size compressedSize md5\n"
    "      separated by blanks. name: the path inside the release, \"/\" separated (everything\n"
    "      before the last five fields, so it may hold blanks); version: a.b.c.d, the release that\n"
    "      published the content; flags: a number, the sum of 0x01 managed, 0x02 archived, 0x04\n"
    "      zlib (served as name.compressed), 0x08 run once, 0x10 stored compressed, 0x20 LZMA\n"
    "      (served as name.lzma2); size and compressedSize: bytes; md5: 32 hexadecimal digits, or\n"
    "      \"-\" for all zero. Numbers are decimal, or hexadecimal after \"0x\". Blank lines and\n"
    "      lines starting with \"#\" are skipped. A name that starts with \"#\" or a quote, starts\n"
    "      or ends with a blank, or holds control characters is written in quotes, with \\\\,\n"
    "      \\\" and \\xHH escapes; print writes such names that way.\n"
    "  quor-manifest scan <out> <project> <a.b.c.d> <folder> [flags]\n"
    "      Writes the release manifest <out> with one entry per regular file below <folder>:\n"
    "      version <a.b.c.d>, size and compressedSize the file's size, flags as given (default 0),\n"
    "      md5 of the file's bytes.\n";

int Usage() {
    fputs(USAGE, stderr);
    return 2;
}

int Print(const std::string& command, const std::string& path) {
    using namespace Quor::Tools;
    ManifestKind kind;
    if (command == "print") {
        if (!DetectManifestKind(path, kind)) {
            fprintf(stderr, "quor-manifest: cannot read \"%s\": %s\n", path.c_str(),
                    Quor::Common::RegularFileErrorText(errno).c_str());
            return 1;
        }
    } else if (command == "print-release")
        kind = ManifestKind::Release;
    else if (command == "print-solution")
        kind = ManifestKind::Solution;
    else if (command == "print-configuration")
        kind = ManifestKind::Configuration;
    else if (command == "print-package")
        kind = ManifestKind::Package;
    else if (command == "print-patch")
        kind = ManifestKind::Patch;
    else
        return Usage();

    HRESULT hr = E_FAIL;
    switch (kind) {
        case ManifestKind::Release:
            hr = PrintReleaseManifest(path, stdout);
            break;
        case ManifestKind::Solution:
            hr = PrintSolutionManifest(path, stdout);
            break;
        case ManifestKind::Configuration:
            hr = PrintConfigurationManifest(path, stdout);
            break;
        case ManifestKind::Package:
            hr = PrintPackageManifest(path, stdout);
            break;
        case ManifestKind::Patch:
            hr = PrintPatchManifest(path, stdout);
            break;
    }
    if (FAILED(hr)) {
        fprintf(stderr, "quor-manifest: \"%s\" does not load (0x%08x)\n", path.c_str(),
                static_cast<unsigned>(hr));
        return 1;
    }
    return fflush(stdout) == 0 ? 0 : 1;
}

int Write(int argc, char** argv, bool scan) {
    using namespace Quor::Tools;
    if (argc < 6 || argc > (scan ? 7 : 6)) return Usage();
    const std::string out = argv[2], source = argv[5];
    Quor::Common::ReleaseManifest manifest;
    manifest.m_ProjectName = argv[3];
    if (!ParseVersion(argv[4], manifest.m_ReleaseVersion)) {
        fprintf(stderr, "quor-manifest: \"%s\" is no version a.b.c.d\n", argv[4]);
        return 2;
    }
    std::string error;
    bool ok;
    if (scan) {
        DWORD flags = 0;
        if (argc == 7) {
            char* end = nullptr;
            const unsigned long long v = strtoull(argv[6], &end, 0);
            if (*end != '\0' || v > 0xFFFFFFFFull) return Usage();
            flags = static_cast<DWORD>(v);
        }
        ok = ScanFolder(source, manifest.m_ReleaseVersion, flags, manifest, error);
    } else if (source == "-") {
        ok = ReadDescription(stdin, manifest, error);
    } else {
        FILE* in = fopen(source.c_str(), "r");
        if (!in) {
            fprintf(stderr, "quor-manifest: cannot open \"%s\": %s\n", source.c_str(), strerror(errno));
            return 1;
        }
        ok = ReadDescription(in, manifest, error);
        fclose(in);
    }
    if (!ok) {
        fprintf(stderr, "quor-manifest: %s: %s\n", source.c_str(), error.c_str());
        return 1;
    }
    const HRESULT hr = manifest.Save(out);
    if (FAILED(hr)) {
        fprintf(stderr, "quor-manifest: cannot write \"%s\" (0x%08x)\n", out.c_str(),
                static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "write") return Write(argc, argv, false);
    if (command == "scan") return Write(argc, argv, true);
    if (command.rfind("print", 0) == 0) return argc == 3 ? Print(command, argv[2]) : Usage();
    if (command == "-h" || command == "--help" || command == "help") {
        fputs(USAGE, stdout);
        return 0;
    }
    return Usage();
}
