/* Preloaded into the watchdog by the footprint script. Counts the heap allocations
   made between one pause and the next, by the object whose code called the
   allocator (the program itself, libxcb, or any other library), and times each
   cycle's work with and without the starting of programs. At every pause it appends
   one line to the file named by BRASSOWLET_ALLOCATION_REPORT:
     <own> <libxcb> <other> <work microseconds> <launch microseconds> */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);

struct Span {
  uintptr_t first;
  uintptr_t last;
};

static struct Span programCode;
static struct Span xcbCode;
static unsigned long ownAllocations;
static unsigned long xcbAllocations;
static unsigned long otherAllocations;
static long long workStarted;
static long long launchNanoseconds;
static int reportFile = -1;

static long long Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static int Within(struct Span span, uintptr_t address) {
  return address >= span.first && address < span.last;
}

static void Count(void* caller) {
  const uintptr_t address = (uintptr_t)caller;
  if (Within(programCode, address)) {
    ++ownAllocations;
  } else if (Within(xcbCode, address)) {
    ++xcbAllocations;
  } else {
    ++otherAllocations;
  }
}

void* malloc(size_t size) {
  Count(__builtin_return_address(0));
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  Count(__builtin_return_address(0));
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  Count(__builtin_return_address(0));
  return __libc_realloc(pointer, size);
}

int posix_spawn(pid_t* process, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes, char* const arguments[],
                char* const environment[]) {
  static int (*spawn)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                      const posix_spawnattr_t*, char* const[], char* const[]);
  if (spawn == NULL) {
    *(void**)&spawn = dlsym(RTLD_NEXT, "posix_spawn"); /* as POSIX shows for dlsym */
  }
  const long long started = Now();
  const int result = spawn(process, path, actions, attributes, arguments, environment);
  launchNanoseconds += Now() - started;
  return result;
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* request,
                    struct timespec* remaining) {
  static int (*sleep)(clockid_t, int, const struct timespec*, struct timespec*);
  if (sleep == NULL) {
    *(void**)&sleep = dlsym(RTLD_NEXT, "clock_nanosleep");
  }
  if (reportFile >= 0 && workStarted != 0) {
    char line[128];
    const int length =
        snprintf(line, sizeof line, "%lu %lu %lu %lld %lld\n", ownAllocations, xcbAllocations,
                 otherAllocations, (Now() - workStarted) / 1000, launchNanoseconds / 1000);
    if (length > 0) {
      (void)!write(reportFile, line, (size_t)length);
    }
  }
  const int result = sleep(clock, flags, request, remaining);
  ownAllocations = xcbAllocations = otherAllocations = 0;
  launchNanoseconds = 0;
  workStarted = Now();
  return result;
}

/* The address range of each loaded object's code, by name: the program is the one
   without a name. */
static int NoteObject(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  (void)data;
  struct Span* span = NULL;
  if (info->dlpi_name[0] == '\0') {
    span = &programCode;
  } else if (strstr(info->dlpi_name, "libxcb.so") != NULL) {
    span = &xcbCode;
  }
  if (span == NULL || span->last != 0) {
    return 0;
  }
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)* header = &info->dlpi_phdr[i];
    if (header->p_type == PT_LOAD && (header->p_flags & PF_X) != 0) {
      span->first = info->dlpi_addr + header->p_vaddr;
      span->last = span->first + header->p_memsz;
    }
  }
  return 0;
}

__attribute__((constructor)) static void StartCounting(void) {
  dl_iterate_phdr(NoteObject, NULL);
  const char* path = getenv("BRASSOWLET_ALLOCATION_REPORT");
  if (path != NULL) {
    reportFile = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
}
