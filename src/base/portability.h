// Compiler differences the interpreter needs to paper over.
#pragma once

// Keeps a rarely used helper out of its caller, so that its locals (text
// buffers, records) do not enlarge the caller's stack frame. Frames on the
// path of every script-function call are repeated once per nesting level of
// a recursion, so they are kept small.
#if defined(_MSC_VER)
#define QRV_NOINLINE __declspec(noinline)
#else
#define QRV_NOINLINE __attribute__((noinline))
#endif
