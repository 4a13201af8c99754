#include "file_replace.h"

#include "calls_callback.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
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

/* The folder of path, into folder (size PATH_MAX). */
static void folder_of(const char *path, char *folder)
{
    const char *slash = strrchr(path, '/');
    size_t len = slash ? (size_t)(slash - path) : 0;
    if (len == 0) {
        strcpy(folder, slash ? "/" : ".");
        return;
    }
    memcpy(folder, path, len);
    folder[len] = '\0';
}

/* A file system that cannot sync a folder (EINVAL) keeps its names by its
 * own rules; any other failure means the rename may not be on storage. */
static int sync_folder(const char *path)
{
    char folder[PATH_MAX];
    folder_of(path, folder);
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int ok = fsync(fd) == 0 || errno == EINVAL;
    int err = errno;
    close(fd);
    errno = err;
    return ok;
}

int file_replace(const char *path, file_writer writer, void *context, int durable)
{
    char temp[PATH_MAX];
    if (snprintf(temp, sizeof temp, "%s.XXXXXX", path) >= (int)sizeof temp) {
        errno = ENAMETOOLONG;
        return FILE_REPLACE_FAILED;
    }
    int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0)
        return FILE_REPLACE_FAILED;
    if (fchmod(fd, 0600) != 0 || !write_all(fd, writer, context, durable) || rename(temp, path) != 0) {
        int err = errno;
        unlink(temp);
        errno = err;
        return FILE_REPLACE_FAILED;
    }
    if (durable && !sync_folder(path))
        return FILE_REPLACE_NOT_DURABLE;
    return FILE_REPLACE_DONE;
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
    char folder[PATH_MAX];
    folder_of(path, folder);
    const char *slash = strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    size_t base_len = strlen(base);
    DIR *dir = opendir(folder);
    if (!dir)
        return -1;
    int removed = 0;
    while (struct dirent *entry = readdir(dir)) {
        if (!is_leftover_name(entry->d_name, base, base_len))
            continue;
        char leftover[PATH_MAX];
        struct stat st;
        if (snprintf(leftover, sizeof leftover, "%s/%s", folder, entry->d_name) < (int)sizeof leftover &&
            lstat(leftover, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && unlink(leftover) == 0)
            ++removed;
    }
    closedir(dir);
    return removed;
}
