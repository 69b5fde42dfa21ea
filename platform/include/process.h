// The C runtime's thread creation.  A thread ends by returning its code.
#pragma once

#include <cstdint>

uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* argument, unsigned flags,
                         unsigned* threadId);
