// SPDX-License-Identifier: GPL-3.0-or-later
/* The floor: the least a replace that keeps files whole must do per file. It replaces every
 * FIND by REPLACE, case-sensitive, in the regular files of the current folder: open, read,
 * memmem, and for a file that holds FIND, write a temporary file, fsync it and rename it over
 * the file. No check that the file is unchanged, no attributes copied, no undo.
 *
 *   quillmark_floor PROCESSES FIND REPLACE
 *
 * PROCESSES processes share the files, each taking every PROCESSES-th name of the listing; with
 * 1, this process does all the work.
 * Prints the number of files altered; exits 1 on any failure. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static char** names;
static size_t count;

static int ListFolder(void) {
    DIR* dir = opendir(".");
    if (!dir) {
        return -1;
    }
    size_t capacity = 0;
    for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) {
            continue;
        }
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 1024;
            names = realloc(names, capacity * sizeof *names);
        }
        names[count++] = strdup(entry->d_name);
    }
    return closedir(dir);
}

/* Returns 1 when the file was altered, 0 when it does not hold find, -1 on a failure. */
static int ReplaceIn(const char* name, const char* find, const char* replace) {
    const size_t findLength = strlen(find);
    const size_t replaceLength = strlen(replace);
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return fd < 0 ? -1 : (close(fd), 0);
    }
    char* content = malloc((size_t)st.st_size + 1);
    size_t size = 0;
    for (ssize_t n; (n = read(fd, content + size, (size_t)st.st_size + 1 - size)) > 0;) {
        size += (size_t)n;
    }
    close(fd);
    const char* hit = memmem(content, size, find, findLength);
    if (!hit) {
        free(content);
        return 0;
    }
    char temporary[64];
    snprintf(temporary, sizeof temporary, ".floor-%d", (int)getpid());
    int out = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        free(content);
        return -1;
    }
    const char* at = content;
    const char* end = content + size;
    int ok = 1;
    for (; hit; at = hit + findLength, hit = memmem(at, (size_t)(end - at), find, findLength)) {
        ok = ok && write(out, at, (size_t)(hit - at)) == hit - at &&
             write(out, replace, replaceLength) == (ssize_t)replaceLength;
    }
    ok = ok && write(out, at, (size_t)(end - at)) == end - at;
    ok = ok && fsync(out) == 0;
    ok = close(out) == 0 && ok;
    ok = ok && rename(temporary, name) == 0;
    free(content);
    return ok ? 1 : -1;
}

/* Replaces in every processes-th name from the k-th on; the number altered, or -1. */
static int Share(int k, int processes, const char* find, const char* replace) {
    int altered = 0;
    for (size_t i = (size_t)k; i < count; i += (size_t)processes) {
        const int done = ReplaceIn(names[i], find, replace);
        if (done < 0) {
            perror(names[i]);
            return -1;
        }
        altered += done;
    }
    return altered;
}

int main(int argc, char** argv) {
    if (argc != 4 || atoi(argv[1]) < 1 || argv[2][0] == '\0') {
        fprintf(stderr, "usage: quillmark_floor PROCESSES FIND REPLACE\n");
        return 2;
    }
    const int processes = atoi(argv[1]);
    if (ListFolder() != 0) {
        perror(".");
        return 1;
    }
    if (processes == 1) {
        const int altered = Share(0, 1, argv[2], argv[3]);
        if (altered < 0) {
            return 1;
        }
        printf("%d\n", altered);
        return 0;
    }
    /* Each child writes its count of altered files to the pipe. */
    int counts[2];
    if (pipe(counts) != 0) {
        return 1;
    }
    for (int k = 0; k < processes; ++k) {
        const pid_t child = fork();
        if (child < 0) {
            return 1;
        }
        if (child == 0) {
            const int altered = Share(k, processes, argv[2], argv[3]);
            _exit(altered >= 0 && write(counts[1], &altered, sizeof altered) == sizeof altered ? 0
                                                                                               : 1);
        }
    }
    close(counts[1]);
    int failed = 0;
    for (int k = 0; k < processes; ++k) {
        int status = 0;
        if (wait(&status) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            failed = 1;
        }
    }
    int total = 0;
    for (int altered; read(counts[0], &altered, sizeof altered) == sizeof altered;) {
        total += altered;
    }
    printf("%d\n", total);
    return failed;
}
