#include "MobileInfo.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char scratchFolder[] = "/var/orvanta";

const char imeiCommand[] = "/usr/bin/rtrinfo module | awk -F\": \" '/IMEI/ {print $2}' > /var/orvanta/imei";
const char cellCommand[] = "/usr/bin/rtrinfo mobile | awk -F\": \" '/Cell/ {print $2}' > /var/orvanta/cell";
const char iccidCommand[] = "/usr/bin/cellctl \"AT^SCID\" | awk '/SCID/ {print $2}' > /var/orvanta/iccid";

// lstat() as old router firmware has it. Before glibc 2.33, lstat was an
// inline call of __lxstat, and libc exported no lstat symbol; newer glibc
// still exports __lxstat at its old version, which the old-firmware build
// (force-including the pins header) binds to.
#ifdef ORVANTA_OLD_GLIBC_PINS_H
extern "C" int __lxstat(int version, const char* path, struct stat* status);
__asm__(".symver __lxstat, __lxstat@GLIBC_2.4");
int linkStatus(const char* path, struct stat* status)
{
    const int statVersionLinux = 3; // _STAT_VER of 32-bit ARM glibc
    return __lxstat(statVersionLinux, path, status);
}
#else
int linkStatus(const char* path, struct stat* status)
{
    return lstat(path, status);
}
#endif

// The commands write their answers through the shell's redirection, which
// follows links and opens FIFOs. Only a folder that no one but this user
// can change (a real directory, not a link to one, owned by the effective
// user and writable by neither group nor others) keeps someone else from
// planting such things under the scratch names.
bool scratchFolderIsOwn()
{
    struct stat folder;
    return linkStatus(scratchFolder, &folder) == 0 && S_ISDIR(folder.st_mode) && folder.st_uid == geteuid() &&
           (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Runs command and reads the first line of its scratch file into text
// (size bytes, so at most size - 1 characters). False when the file could
// not be opened; text is then empty.
bool ask(const char* command, const char* scratch, char* text, int size)
{
    text[0] = '\0';
    // Whatever is there goes first: an answer from an earlier run, or
    // anything else left under the name. A command that does not run (no
    // shell could be started) then leaves no file, which is no answer.
    if (unlink(scratch) != 0 && errno != ENOENT)
        return false;
    // Only the scratch file tells whether the tool answered.
    (void)std::system(command);
    FILE* file = std::fopen(scratch, "r");
    if (!file)
        return false;
    if (!std::fgets(text, size, file))
        text[0] = '\0';
    std::fclose(file);
    return true;
}

// Drops the line end: everything from the last "\n", then from the last
// "\r" of what remains.
void cutLineEnd(char* text)
{
    if (char* end = std::strrchr(text, '\n'))
        *end = '\0';
    if (char* end = std::strrchr(text, '\r'))
        *end = '\0';
}

} // namespace

MobileInfo::MobileInfo() : imeiText(), cellidText(), iccidText() {}

void MobileInfo::get()
{
    char text[sizeof iccidText];

    if (!scratchFolderIsOwn()) {
        cellidText[0] = '\0';
        return;
    }

    // A modem that is not ready yet answers with an empty line: that is an
    // unknown IMEI, asked for again at the next call.
    if (imeiText[0] == '\0' && ask(imeiCommand, "/var/orvanta/imei", text, sizeof imeiText)) {
        cutLineEnd(text);
        std::strcpy(imeiText, text);
    }

    ask(cellCommand, "/var/orvanta/cell", text, sizeof cellidText);
    cutLineEnd(text);
    std::strcpy(cellidText, text);

    if (iccidText[0] == '\0' && ask(iccidCommand, "/var/orvanta/iccid", text, sizeof iccidText)) {
        cutLineEnd(text);
        std::strcpy(iccidText, text);
    }
}
