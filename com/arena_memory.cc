// Memory for the arenas of compact trees on Windows: committed pages of the
// process's address space, released whole.
#include <windows.h>

#include <new>

#include "framework/compact_tree.h"

namespace zsepa::framework {

void* ArenaBlock(size_t size) {
  void* memory =
      VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void FreeArenaBlock(void* block, size_t) noexcept {
  VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace zsepa::framework
