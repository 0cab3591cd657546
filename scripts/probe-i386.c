/* Can this machine run 32-bit x86 code natively? A child process switches
 * to the 32-bit user code segment and back. Some virtual machines give
 * processes no 32-bit compatibility mode: the switch faults there. Running
 * a 32-bit program instead could be answered by a qemu-i386 binfmt entry at
 * emulation speed, which is no use for Wine.
 * Exit 0: it can; 1: it cannot (the reason on stdout). */
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#if !defined(__x86_64__)
int main(void) {
    puts("not an x86_64 machine");
    return 1;
}
#else

/* Linux's selector of the 32-bit user code segment. */
enum { kUser32CodeSelector = 0x23 };

static int Enter32BitSegment(void) {
    /* Code and stack below 4 GB: 32-bit code sees only the low halves. */
    unsigned char* page = mmap(NULL, 65536, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (page == MAP_FAILED) return -1;
    unsigned int base = (unsigned int)(unsigned long)page;
    unsigned int code32 = base + 64, target = base + 128, stackTop = base + 65536 - 64;
    static const unsigned char trampoline[] = {
        0x53,                               /* push rbx */
        0x48, 0x89, 0xE3,                   /* mov rbx, rsp */
        0xBC, 0, 0, 0, 0,                   /* mov esp, stackTop (zero-extended) */
        0xFF, 0x1C, 0x25, 0, 0, 0, 0,       /* call far [target] (m16:32) */
        0x48, 0x89, 0xDC,                   /* mov rsp, rbx */
        0x5B,                               /* pop rbx */
        0xC3,                               /* ret */
    };
    memcpy(page, trampoline, sizeof trampoline);
    memcpy(page + 5, &stackTop, 4);
    memcpy(page + 12, &target, 4);
    static const unsigned char body32[] = {0xB8, 42, 0, 0, 0, /* mov eax, 42 */ 0xCB /* retf */};
    memcpy(page + 64, body32, sizeof body32);
    unsigned short selector = kUser32CodeSelector;
    memcpy(page + 128, &code32, 4);
    memcpy(page + 132, &selector, 2);
    int (*enter)(void) = (int (*)(void))(void*)page;
    return enter();
}

int main(void) {
    fflush(stdout);
    pid_t child = fork();
    if (child < 0) {
        puts("cannot start the probe process");
        return 1;
    }
    if (child == 0) {
        alarm(5);
        _exit(Enter32BitSegment() == 42 ? 0 : 3);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        puts("the probe process was lost");
        return 1;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 0;
    if (WIFSIGNALED(status))
        printf("this machine cannot run 32-bit x86 code: entering the 32-bit code segment ends in signal %d "
               "(a virtual machine without 32-bit compatibility mode)\n",
               WTERMSIG(status));
    else
        puts("this machine cannot run 32-bit x86 code: the 32-bit code segment gave a wrong answer");
    return 1;
}
#endif
