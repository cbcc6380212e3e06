// kernel32 on POSIX: the tick counter, the executable's own path, long path names, global
// memory blocks, the last-error value and thread ids.
#include <errno.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "platform/executable_path.h"
#include "platform/posix/clock.h"
#include "platform/posix/last_error.h"
#include "platform/windows_api.h"

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// Any distinct non-null address will do: nothing dereferences a module handle here.
char ownModuleTag;

HMODULE ownModule() {
    return reinterpret_cast<HMODULE>(&ownModuleTag);
}

// Blocks handed out by GlobalAlloc, so that a foreign or stale handle is refused instead of
// being freed. Never destroyed: threads may still free blocks while the process exits.
struct GlobalBlocks {
    std::mutex lock;
    std::unordered_set<void*> live;
};

GlobalBlocks& globalBlocks() {
    // In static storage: the first GlobalAlloc runs before main, where a failed allocation
    // could only end the process.
    alignas(GlobalBlocks) static unsigned char storage[sizeof(GlobalBlocks)];
    static GlobalBlocks* blocks = new (storage) GlobalBlocks;
    return *blocks;
}

bool isLiveBlock(HGLOBAL memory) {
    GlobalBlocks& blocks = globalBlocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    return blocks.live.count(memory) != 0;
}

}  // namespace

void setLastError(DWORD error) {
    lastError = error;
}

DWORD GetLastError(void) {
    return lastError;
}

DWORD monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

DWORD GetTickCount(void) {
    return monotonicMilliseconds();
}

DWORD GetCurrentThreadId(void) {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) {
        return ownModule();
    }
    setLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (module != nullptr && module != ownModule()) {
        setLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (fileName == nullptr || size == 0) {
        setLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string path = executablePath();
    if (path.empty()) {
        fileName[0] = '\0';
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (path.size() < size) {
        memcpy(fileName, path.data(), path.size() + 1);
        setLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    // Current Windows: the text cut to size - 1, terminated, and the full size returned.
    memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
    if (shortPath == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // There are no short names here: an existing path is its own long form.
    struct stat info {};
    if (lstat(shortPath, &info) != 0) {
        setLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    size_t length = strlen(shortPath);
    if (longPath == nullptr || length >= size) {
        return static_cast<DWORD>(length + 1);
    }
    // Callers may pass the same buffer twice.
    memmove(longPath, shortPath, length + 1);
    setLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
}

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
    // Only fixed blocks are used, so every kind is served as one; zeroed costs nothing extra.
    (void)flags;
    void* block = calloc(1, bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    GlobalBlocks& blocks = globalBlocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    try {
        blocks.live.insert(block);
    } catch (const std::bad_alloc&) {
        // Windows reports exhaustion with a null handle, never with an exception.
        free(block);
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return block;
}

// A fixed block's handle is its address.
LPVOID GlobalLock(HGLOBAL memory) {
    if (memory == nullptr || !isLiveBlock(memory)) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return memory;
}

// Fixed blocks keep no lock count; like Windows' own fixed blocks the call just succeeds.
BOOL GlobalUnlock(HGLOBAL memory) {
    if (memory == nullptr || !isLiveBlock(memory)) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) {
        return nullptr;
    }
    GlobalBlocks& blocks = globalBlocks();
    {
        std::lock_guard<std::mutex> guard(blocks.lock);
        if (blocks.live.erase(memory) == 0) {
            setLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
    }
    free(memory);
    return nullptr;
}
