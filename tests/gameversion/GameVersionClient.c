/* quor-gameversion-client: drives the game-version C interface of libMondrel.so from a program
 * written in C. Each argument is one step, run in order in this one process; each step prints one
 * line "<step> <0|1> <text>" (the function's result and the text it wrote) on stdout:
 *   install:V  uninstall:V  preview:V  previewuninstall:V  path:V:SIZE  enum:SIZE
 *   installprogress:SIZE  uninstallprogress:SIZE  previewprogress:SIZE  previewuninstallprogress:SIZE
 *   cancelinstall  canceluninstall  cancelpreview  cancelpreviewuninstall
 *   waitinstall:PREFIX   polls the install progress until its text starts with PREFIX
 *   waitinstallhas:TEXT  polls the install progress until its text holds TEXT
 *   waitpreview          polls the preview progress until it is no longer CALCULATING
 *   pollinstall          polls the install progress while it is PATCHING, printing every new text
 *   pollpreview          polls the preview progress while it is CALCULATING, printing every new text
 *   tiny                 the install progress into a 10-byte buffer (guarded) and a 0-byte one
 *   names                the two exported data texts
 * Exit status: 0, or 2 for an unknown step, 3 when a wait saw no change for 60 s, 4 when a buffer
 * was written outside its size.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "api/GameVersion.h"

enum { kText = 4096 };

static void Print(const char* step, bool result, const char* text) {
    printf("%s %d %s\n", step, result ? 1 : 0, text);
    fflush(stdout);
}

static unsigned SizeOf(const char* arg) { return (unsigned)strtoul(arg, NULL, 10); }

static void Pause(void) {
    struct timespec tenth = {0, 100000000L};
    nanosleep(&tenth, NULL);
}

/* Polls getter until its text starts with prefix (or, when wanted is false, stops starting with it). */
static bool Wait(bool (*getter)(char*, unsigned), const char* prefix, bool wanted, char* text) {
    for (int i = 0; i < 600; ++i) {
        getter(text, kText);
        if ((strncmp(text, prefix, strlen(prefix)) == 0) == wanted) return true;
        Pause();
    }
    return false;
}

/* Polls the install progress until its text holds part. */
static bool WaitFor(const char* part, char* text) {
    for (int i = 0; i < 600; ++i) {
        GetInstallGameProgress(text, kText);
        if (strstr(text, part) != NULL) return true;
        Pause();
    }
    return false;
}

/* Polls getter while its text starts with prefix, printing each text that differs from the one
 * before it (the first always), the last one included. */
static bool Follow(const char* step, bool (*getter)(char*, unsigned), const char* prefix, char* text) {
    static char previous[kText];
    previous[0] = '\0';
    for (int i = 0; i < 600; ++i) {
        const bool result = getter(text, kText);
        if (i == 0 || strcmp(text, previous) != 0) Print(step, result, text);
        if (strncmp(text, prefix, strlen(prefix)) != 0) return true;
        memcpy(previous, text, sizeof previous);
        Pause();
    }
    return false;
}

static int Tiny(void) {
    char guarded[32];
    memset(guarded, '#', sizeof guarded);
    const bool cut = GetInstallGameProgress(guarded, 10);
    for (size_t i = 10; i < sizeof guarded; ++i)
        if (guarded[i] != '#') return 4;
    Print("tiny", cut, guarded);
    char untouched[4] = {'a', 'b', 'c', '\0'};
    const bool none = GetInstallGameProgress(untouched, 0);
    Print("zero", none, untouched);
    return 0;
}

int main(int argc, char** argv) {
    static char text[kText];
    for (int i = 1; i < argc; ++i) {
        const char* step = argv[i];
        const char* colon = strchr(step, ':');
        const char* arg = colon ? colon + 1 : "";
        char name[64];
        size_t nameLength = colon ? (size_t)(colon - step) : strlen(step);
        if (nameLength >= sizeof name) return 2;
        memcpy(name, step, nameLength);
        name[nameLength] = '\0';
        text[0] = '\0';

        if (strcmp(name, "install") == 0) {
            Print(step, InstallGameVersion(arg), "");
        } else if (strcmp(name, "uninstall") == 0) {
            Print(step, UninstallGameVersion(arg), "");
        } else if (strcmp(name, "preview") == 0) {
            Print(step, PreviewGameVersion(arg), "");
        } else if (strcmp(name, "previewuninstall") == 0) {
            Print(step, PreviewUninstallGameVersion(arg), "");
        } else if (strcmp(name, "path") == 0) {
            char version[256];
            const char* sizeText = strchr(arg, ':');
            if (sizeText == NULL || (size_t)(sizeText - arg) >= sizeof version) return 2;
            memcpy(version, arg, (size_t)(sizeText - arg));
            version[sizeText - arg] = '\0';
            Print(step, GameVersionToPath(version, text, SizeOf(sizeText + 1)), text);
        } else if (strcmp(name, "enum") == 0) {
            Print(step, EnumerateUninstallableGameVersions(text, SizeOf(arg)), text);
        } else if (strcmp(name, "installprogress") == 0) {
            Print(step, GetInstallGameProgress(text, SizeOf(arg)), text);
        } else if (strcmp(name, "uninstallprogress") == 0) {
            Print(step, GetUninstallGameProgress(text, SizeOf(arg)), text);
        } else if (strcmp(name, "previewprogress") == 0) {
            Print(step, GetPreviewGameProgress(text, SizeOf(arg)), text);
        } else if (strcmp(name, "previewuninstallprogress") == 0) {
            Print(step, GetPreviewUninstallGameProgress(text, SizeOf(arg)), text);
        } else if (strcmp(name, "cancelinstall") == 0) {
            Print(step, CancelInstallGame(), "");
        } else if (strcmp(name, "canceluninstall") == 0) {
            Print(step, CancelUninstallGame(), "");
        } else if (strcmp(name, "cancelpreview") == 0) {
            Print(step, CancelPreviewGame(), "");
        } else if (strcmp(name, "cancelpreviewuninstall") == 0) {
            Print(step, CancelPreviewUninstallGame(), "");
        } else if (strcmp(name, "waitinstall") == 0) {
            if (!Wait(GetInstallGameProgress, arg, true, text)) return 3;
            Print(step, true, text);
        } else if (strcmp(name, "waitinstallhas") == 0) {
            if (!WaitFor(arg, text)) return 3;
            Print(step, true, text);
        } else if (strcmp(name, "waitpreview") == 0) {
            if (!Wait(GetPreviewGameProgress, "{\"result\":\"CALCULATING\"}", false, text)) return 3;
            Print(step, true, text);
        } else if (strcmp(name, "pollinstall") == 0) {
            if (!Follow(step, GetInstallGameProgress, "{\"result\":\"PATCHING\"", text)) return 3;
        } else if (strcmp(name, "pollpreview") == 0) {
            if (!Follow(step, GetPreviewGameProgress, "{\"result\":\"CALCULATING\"}", text)) return 3;
        } else if (strcmp(name, "tiny") == 0) {
            const int status = Tiny();
            if (status != 0) return status;
        } else if (strcmp(name, "names") == 0) {
            printf("names %s %s\n", HARDCODED_GAME_SLN_NAME, HARDCODED_GAME_EXE_NAME);
        } else {
            fprintf(stderr, "unknown step: %s\n", step);
            return 2;
        }
    }
    return 0;
}
