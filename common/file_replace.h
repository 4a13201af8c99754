/*
 * The module's one rule for replacing a file that a reader may read at any
 * moment (the settings, the agent configuration, the status):
 *
 *   a new file under a unique name in the same folder, created exclusively
 *   (nothing planted under that name is ever opened), mode 0600 whatever
 *   the umask; written, flushed, synced where it must survive a power cut;
 *   then renamed over the old one, and the folder synced.
 *
 * A reader sees the old file or the whole new one, never a torn one, and a
 * failure at any step before the rename leaves the old file byte for byte.
 * Usable from C.
 */
#ifndef ORVANTA_FILE_REPLACE_H
#define ORVANTA_FILE_REPLACE_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the new content of a file to f; gives non-zero when all of it was
 * written. Must not close f. */
typedef int (*file_writer)(FILE *f, void *context);

enum file_replace_result {
    /* The old file is as it was; errno tells why (0: the writer refused). */
    FILE_REPLACE_FAILED = 0,
    FILE_REPLACE_DONE = 1,
    /* The new file is in place, but its folder could not be synced: a power
     * cut now may still bring the old file back. errno tells why. */
    FILE_REPLACE_NOT_DURABLE = -1,
};

/* Replaces the file at path (the path itself: a symbolic link there is
 * replaced, not followed) with what writer puts into the new file. With
 * durable set, the new file is synced before the rename and the folder
 * after it, for files on flash; a file in RAM (/var) needs neither. On a
 * failure the new file is removed; a crash or power cut may leave it, as
 * path's name with a dot and six more characters: see
 * file_replace_remove_leftovers. Concurrent calls on one path do not tear
 * it, but the last rename wins: callers that change a file serialise
 * themselves (file_replace_lock). */
int file_replace(const char *path, file_writer writer, void *context, int durable);

/* Takes the lock that serialises the changes of path, waiting while
 * another process holds it: an exclusive flock on path's folder, the
 * folder whose names a replacement changes and whose leftovers are
 * removed. Locking the folder creates nothing: no write to flash, no name
 * where a link or a FIFO could be planted, and it works where the folder
 * is read-only. The kernel drops the lock when its holder ends, so a
 * crash never leaves it taken. Readers take no lock and never wait.
 * Gives the lock (a close-on-exec descriptor), or -1 when the folder
 * cannot be opened or locked (errno says why). A process holds one such
 * lock at a time: taking a second one on the same folder waits for ever. */
int file_replace_lock(const char *path);

/* Releases a lock that file_replace_lock gave; -1 is ignored. Keeps errno. */
void file_replace_unlock(int lock);

/* Removes what interrupted replacements of path left in its folder: regular
 * files (no links, no folders) of this user named as the new files are.
 * Run it while no replacement of path is under way (under the lock that
 * serialises them). Gives the number removed, or -1 when the folder cannot
 * be read. */
int file_replace_remove_leftovers(const char *path);

#ifdef __cplusplus
}
#endif

#endif
