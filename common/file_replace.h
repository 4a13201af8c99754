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
 * themselves. */
int file_replace(const char *path, file_writer writer, void *context, int durable);

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
