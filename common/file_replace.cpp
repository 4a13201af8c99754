#include "file_replace.h"

#include "calls_callback.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

/* What mkostemp puts in place of its XXXXXX. */
static const size_t UNIQUE_LENGTH = 6;
static const char UNIQUE_CHARACTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

CALLS_CALLBACK static int write_all(int fd, file_writer writer, void *context, int durable)
{
    FILE *f = fdopen(fd, "w");
    if (!f) {
        int err = errno;
        close(fd);
        errno = err;
        return 0;
    }
    errno = 0;
    int ok = writer(f, context) && fflush(f) == 0 && !ferror(f) && (!durable || fsync(fd) == 0);
    int err = errno;
    ok = fclose(f) == 0 && ok;
    if (!ok && err)
        errno = err;
    return ok;
}

/* The folder of path as a new heap text ("." or "/" where path names
 * none), or null when memory ran out. On the heap rather than in a
 * PATH_MAX array on the stack: a long-lived process that replaces files
 * keeps every stack page it ever touched. */
static char *folder_of(const char *path)
{
    const char *slash = strrchr(path, '/');
    size_t len = slash ? (size_t)(slash - path) : 0;
    if (len == 0)
        return strdup(slash ? "/" : ".");
    char *folder = (char *)malloc(len + 1);
    if (folder) {
        memcpy(folder, path, len);
        folder[len] = '\0';
    }
    return folder;
}

/* A file system that cannot sync a folder (EINVAL) keeps its names by its
 * own rules; any other failure means the rename may not be on storage. */
static int sync_folder(const char *path)
{
    char *folder = folder_of(path);
    int fd = folder ? open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    free(folder);
    if (fd < 0)
        return 0;
    int ok = fsync(fd) == 0 || errno == EINVAL;
    int err = errno;
    close(fd);
    errno = err;
    return ok;
}

/* Whether the new file at fd got mode 0600 and all of its content; fd is
 * closed either way. */
static int fill_new_file(int fd, file_writer writer, void *context, int durable)
{
    if (fchmod(fd, 0600) == 0)
        return write_all(fd, writer, context, durable);
    int err = errno;
    close(fd);
    errno = err;
    return 0;
}

int file_replace(const char *path, file_writer writer, void *context, int durable)
{
    size_t size = strlen(path) + 1 + UNIQUE_LENGTH + 1;
    char *temp = (char *)malloc(size);
    if (!temp)
        return FILE_REPLACE_FAILED;
    snprintf(temp, size, "%s.XXXXXX", path);
    int result = FILE_REPLACE_FAILED;
    int fd = mkostemp(temp, O_CLOEXEC);
    if (fd >= 0 && fill_new_file(fd, writer, context, durable) && rename(temp, path) == 0)
        result = durable && !sync_folder(path) ? FILE_REPLACE_NOT_DURABLE : FILE_REPLACE_DONE;
    else if (fd >= 0) {
        int err = errno;
        unlink(temp);
        errno = err;
    }
    int err = errno;
    free(temp);
    errno = err;
    return result;
}

int file_replace_lock(const char *path)
{
    char *folder = folder_of(path);
    int fd = folder ? open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    int err = errno;
    free(folder);
    errno = err;
    if (fd < 0)
        return -1;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            file_replace_unlock(fd);
            return -1;
        }
    }
    return fd;
}

void file_replace_unlock(int lock)
{
    int err = errno;
    if (lock >= 0)
        close(lock);
    errno = err;
}

/* Whether name is base, a dot and a unique part as mkostemp makes it. */
static int is_leftover_name(const char *name, const char *base, size_t base_len)
{
    if (strncmp(name, base, base_len) != 0 || name[base_len] != '.')
        return 0;
    const char *unique = name + base_len + 1;
    return strlen(unique) == UNIQUE_LENGTH && strspn(unique, UNIQUE_CHARACTERS) == UNIQUE_LENGTH;
}

int file_replace_remove_leftovers(const char *path)
{
    const char *slash = strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    size_t base_len = strlen(base);
    char *folder = folder_of(path);
    DIR *dir = folder ? opendir(folder) : NULL;
    if (!dir) {
        free(folder);
        return -1;
    }
    int removed = 0;
    /* readdir64: a 32-bit program's readdir fails outright on a folder
     * whose entries' offsets need 64 bits (ext4's hashed folders, seen by
     * a 64-bit kernel that is not told the program is 32-bit). */
    while (struct dirent64 *entry = readdir64(dir)) {
        if (!is_leftover_name(entry->d_name, base, base_len))
            continue;
        size_t size = strlen(folder) + 1 + strlen(entry->d_name) + 1;
        char *leftover = (char *)malloc(size);
        struct stat st;
        if (leftover && snprintf(leftover, size, "%s/%s", folder, entry->d_name) > 0 &&
            lstat(leftover, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            unlink(leftover) == 0)
            ++removed;
        free(leftover);
    }
    closedir(dir);
    free(folder);
    return removed;
}
