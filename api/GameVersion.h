/* The game-version interface of the client library, for programs written in C (C99).
 *
 * Every operation works on the solution HARDCODED_GAME_SLN_NAME and addresses a game version by
 * its text. The library keeps one main object, at most one running install-or-uninstall and one
 * running preview; their progress is polled as short JSON texts:
 *   {"result":"SUCCESS"}      the last install or uninstall succeeded
 *   {"result":"FAILURE"}      it failed, was cancelled, or none ran
 *   {"result":"CALCULATING"}  a preview runs
 *   {"result":"PATCHING","percentDone":..,"remainingTime":..,"remainingBytes":..,"currentFile":".."}
 *   and the kernel's own text for a finished preview.
 * Texts are copied into the caller's buffer of `size` bytes; one that does not fit is cut and
 * terminated (a size of 0 writes nothing) and the function returns false. Progress texts are at
 * most 1023 bytes plus the escaped file name.
 * Functions that make a request return false when no kernel is connected. GameVersionToPath and
 * EnumerateUninstallableGameVersions block until the kernel answers. Use from one thread; nothing
 * throws. A host may exit while requests run: they are cancelled as the library unloads.
 */
#ifndef QUOR_API_GAME_VERSION_H
#define QUOR_API_GAME_VERSION_H

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const char* HARDCODED_GAME_SLN_NAME; /* "kiv_game_client_sln" */
extern const char* HARDCODED_GAME_EXE_NAME; /* "Kindrel.exe" */

/* The installed game executable of a version: {root}/solutions/{solution}/releases/{v}/deploy/{exe}.
 * False (path untouched) when the version is not installed or the path does not fit. */
bool GameVersionToPath(const char* version, char* path, unsigned size);

bool PreviewGameVersion(const char* version);
bool PreviewUninstallGameVersion(const char* version);
bool InstallGameVersion(const char* version);
bool UninstallGameVersion(const char* version);
/* A JSON array of the installed game versions other than the latest one. */
bool EnumerateUninstallableGameVersions(char* text, unsigned size);

bool GetInstallGameProgress(char* text, unsigned size);
bool GetUninstallGameProgress(char* text, unsigned size);
bool GetPreviewGameProgress(char* text, unsigned size);
bool GetPreviewUninstallGameProgress(char* text, unsigned size);

bool CancelInstallGame(void);
bool CancelUninstallGame(void);
bool CancelPreviewGame(void);
bool CancelPreviewUninstallGame(void);

#ifdef __cplusplus
}
#endif

#endif
