// SPDX-License-Identifier: Apache-2.0
// Preloaded into a program in the kernel test guest (LD_PRELOAD) to pull a drive out at an
// exact point of a run: before the first SG_IO request whose CDB starts with the hex bytes
// of KT_PAUSE_CDB ("xx" matches any byte), sent to the node KT_PAUSE_NODE when that is set,
// it writes its process id to KT_PAUSE_FILE and stops itself (SIGSTOP), every thread with it.
// The guest script then unplugs the drive and lets the program go on (SIGCONT); the request
// goes to the kernel, which answers as it does for a drive that is gone.
//
// QEMU's emulated drives refuse WRITE BUFFER and READ BUFFER, so no run on them reaches the
// read-back or the commit. With KT_STAND_IN_MEMORY=1 this file answers the data transfers of
// the upload (WRITE BUFFER mode 5 with code 0) and the read-back (READ BUFFER) itself from a
// buffer of its own, in place of the drive's memory; every other command, the commit and
// the command at the pause included, goes to the kernel. Nothing it answers is ever sent to
// a drive.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <scsi/sg.h>

#define MEMORY_SIZE 0x100000

static int paused;
static unsigned char memory[MEMORY_SIZE];

static int Matches(const unsigned char* cdb, int length, const char* hex) {
    for (int i = 0; hex[2 * i] && hex[2 * i + 1]; ++i) {
        unsigned value;
        if (i >= length)
            return 0;
        if (hex[2 * i] == 'x' && hex[2 * i + 1] == 'x')
            continue;
        if (sscanf(hex + 2 * i, "%2x", &value) != 1 || cdb[i] != value)
            return 0;
    }
    return 1;
}

// Whether fd is open on the node named (no node named: any).
static int OnNode(int fd, const char* node) {
    if (!node || !*node)
        return 1;
    char link[64], target[256];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = '\0';
    return strcmp(target, node) == 0;
}

static unsigned Field24(const unsigned char* p) { return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2]; }

// Answers a memory transfer in place of the drive; 0 when the request is not one.
static int StandIn(sg_io_hdr_t* h) {
    const unsigned char* cdb = h->cmdp;
    const unsigned offset = Field24(cdb + 3), count = Field24(cdb + 6);
    const int upload = cdb[0] == 0x3B && cdb[9] == 0 && h->dxfer_direction == SG_DXFER_TO_DEV;
    const int readBack = cdb[0] == 0x3C && h->dxfer_direction == SG_DXFER_FROM_DEV;
    if ((!upload && !readBack) || offset + count > MEMORY_SIZE || count != h->dxfer_len)
        return 0;
    if (upload)
        memcpy(memory + offset, h->dxferp, count);
    else
        memcpy(h->dxferp, memory + offset, count);
    h->status = h->masked_status = h->host_status = h->driver_status = 0;
    h->sb_len_wr = 0;
    h->resid = 0;
    h->duration = 1;
    h->info = SG_INFO_OK;
    return 1;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (request == SG_IO && argument) {
        sg_io_hdr_t* h = argument;
        const char* wanted = getenv("KT_PAUSE_CDB");
        if (!paused && wanted && *wanted && Matches(h->cmdp, h->cmd_len, wanted) &&
            OnNode(fd, getenv("KT_PAUSE_NODE"))) {
            // The command at the pause goes to the kernel whatever it is: it meets the drive's loss.
            paused = 1;
            const char* file = getenv("KT_PAUSE_FILE");
            FILE* out = file ? fopen(file, "w") : NULL;
            if (out) {
                fprintf(out, "%d\n", (int)getpid());
                fclose(out);
            }
            raise(SIGSTOP);
            return real(fd, request, argument);
        }
        const char* standIn = getenv("KT_STAND_IN_MEMORY");
        if (standIn && strcmp(standIn, "1") == 0 && StandIn(h))
            return 0;
    }
    return real(fd, request, argument);
}
