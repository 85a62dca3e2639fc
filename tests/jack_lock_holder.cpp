// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the lock of libjack's metadata database and stops with it held, as a client killed in the middle of
// its open leaves it: the open is stopped (SIGSTOP, the whole process) at the moment the database file is
// opened for writing, which libjack does with the database's shared region locked.
#include <fcntl.h>
#include <jack/jack.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace {

void StopHere(int) {
    kill(getpid(), SIGSTOP);
    for (;;) pause();
}

void Quiet(const char*) {}

bool TrapCreatingOpens() {
    // openat(dir, path, O_RDWR | O_CREAT, 0): the database file, as the shared buffer pool opens it.
    constexpr unsigned kFlagsMask = O_ACCMODE | O_CREAT | O_EXCL | O_TRUNC;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, kFlagsMask),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, O_RDWR | O_CREAT, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[3])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    struct sigaction action {};
    action.sa_handler = StopHere;
    return sigaction(SIGSYS, &action, nullptr) == 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program) == 0;
}

}  // namespace

int main() {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    if (!TrapCreatingOpens()) {
        std::perror("jack_lock_holder: seccomp");
        return 2;
    }
    jack_client_t* client = jack_client_open("lock-holder", JackNoStartServer, nullptr);
    if (client != nullptr) jack_client_close(client);
    std::fprintf(stderr, "jack_lock_holder: the open never reached the database\n");
    return 1;
}
