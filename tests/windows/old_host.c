/* A host program of the old kind, in plain C: it loads the 32-bit intro library, looks the export up
   by its decorated name and calls it through a standard-calling-convention pointer, as a host written
   against the library's documentation does. The call itself is made in assembly so that the stack
   pointer is read right before the argument is pushed and right after the call returns: the export
   must take its 4-byte argument off the stack (a caller-cleans export leaves it 4 bytes lower, and a
   host that does not restore its stack pointer goes on with a corrupt frame), keep the registers a
   caller may rely on, and return 1.
   Usage: old_host LIBRARY (run with vek.bin in the working folder). Status 0 when all of that holds. */
#include <windows.h>

#include <stdio.h>

typedef int(__stdcall* StartVekIntro)(int);

struct Call {
  int result;
  unsigned long sp_before, sp_after;
  unsigned long ebx_before, ebx_after;
};

static struct Call call_export(StartVekIntro start) {
  struct Call call;
  unsigned long sp_before, sp_after, ebx_after;
  int result;
  /* esi holds the stack pointer across the call (the callee must keep esi); the stack pointer is
     put back from it afterwards, so a wrong callee cannot break this function's own frame. ebx
     carries a marker the callee must also keep. */
  __asm__ volatile(
      "pushl %%ebx\n\t"
      "movl $0x5EC0DE42, %%ebx\n\t"
      "movl %%esp, %%esi\n\t"
      "pushl $0\n\t"
      "call *%[start]\n\t"
      "movl %%esp, %%edi\n\t"
      "movl %%esi, %%esp\n\t"
      "movl %%ebx, %%edx\n\t"
      "popl %%ebx\n\t"
      : "=a"(result), "=S"(sp_before), "=D"(sp_after), "=d"(ebx_after), [start] "+c"(start)
      :
      : "memory", "cc");
  call.result = result;
  call.sp_before = sp_before;
  call.sp_after = sp_after;
  call.ebx_before = 0x5EC0DE42;
  call.ebx_after = ebx_after;
  return call;
}

int main(int argc, char** argv) {
  HMODULE library;
  StartVekIntro start;
  struct Call call;
  int failed = 0;
  if (argc != 2) {
    fprintf(stderr, "usage: old_host LIBRARY\n");
    return 2;
  }
  library = LoadLibraryA(argv[1]);
  if (!library) {
    fprintf(stderr, "old_host: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 3;
  }
  start = (StartVekIntro)(void*)GetProcAddress(library, "_StartVekIntro@4");
  if (!start) {
    fprintf(stderr, "old_host: no export _StartVekIntro@4\n");
    return 3;
  }
  call = call_export(start);
  if (call.sp_after != call.sp_before) {
    fprintf(stderr, "old_host: stack pointer %08lx before the call, %08lx after it\n",
            call.sp_before, call.sp_after);
    failed = 1;
  }
  if (call.ebx_after != call.ebx_before) {
    fprintf(stderr, "old_host: ebx %08lx before the call, %08lx after it\n", call.ebx_before,
            call.ebx_after);
    failed = 1;
  }
  if (call.result != 1) {
    fprintf(stderr, "old_host: the export returned %d, not 1\n", call.result);
    failed = 1;
  }
  if (!failed) printf("old_host: the export returned 1 and kept the stack pointer and ebx\n");
  return failed;
}
