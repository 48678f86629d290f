#pragma once
// quor-archive: lets an operator look into (and, when needed, change) the archive pairs of one
// archive folder of an installed tree, e.g. {root}/projects/{project}/filearchives/{a.b.c.d}.
//
//   quor-archive list <folder>                         every stored file: pair, offset, size, path
//   quor-archive verify <folder> [--manifest FILE]     checks every pair; exit 1 on any problem
//   quor-archive extract <folder> <path> <dest> [--zlib|--lzma]
//   quor-archive add <folder> <path> <file> [<path> <file>...]
//   quor-archive delete <folder> <path> [<path>...]
//
// verify checks the structure of the pairs (indexes, data files, leftovers of rewrites); pairs hold
// no checksum of the stored bytes, so a changed byte passes unless --manifest names a release
// manifest: then every stored file listed there as an archived file of this folder (of the folder's
// version when the folder is named a.b.c.d) is hashed and compared with the manifest's MD5.
// list, verify and extract only read: they open every "*.zef" of the folder themselves and
// change nothing (a damaged index is reported, not removed; an unfinished rewrite is reported,
// not finished); list escapes control bytes of stored paths. extract writes beside the
// destination and renames on success, and refuses a destination that is a file of the folder.
// add and delete go through the archive manager, which finishes an interrupted rewrite and tidies
// the folder the way the installer does, takes the folder's writer lock at the first change and
// writes the pairs; a folder another writer holds longer than the manager's wait is a failure. verify and delete
// refuse a folder that is not an archive folder.
// Exit codes: 0 success, 1 failure or problems found, 2 wrong usage.
// RunArchiveTool writes its output to `out` and its messages to `err`; one call at a time.
#include <ostream>
#include <string>
#include <vector>

namespace Quor::Tools {

int RunArchiveTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace Quor::Tools
