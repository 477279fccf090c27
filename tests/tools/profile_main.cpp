// qrv_profile.exe: runs a script like qrv.exe while a sampling thread
// records where the main thread is, every millisecond. At exit it writes
// "address count" lines (hottest first) to qrv_profile.txt in the working
// directory; bench/profile.py turns them into function names with nm.
// A tool for finding hot spots, not part of any product.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/startup.h"

namespace {

HANDLE g_mainThread = nullptr;
std::atomic<bool> g_stop{false};

// Samples by address in a fixed open-addressing table: the sampler must not
// allocate, since the main thread may be suspended inside the heap's lock.
constexpr size_t kSampleSlots = size_t{1} << 20;
struct SampleSlot {
  DWORD64 Rip;
  unsigned Count;
};
SampleSlot* g_samples = nullptr;

// Counts one sample of an address (addresses beyond a full table are dropped).
void CountSample(DWORD64 rip) {
  size_t at = static_cast<size_t>((rip * 0x9E3779B97F4A7C15ull) >> 44) & (kSampleSlots - 1);
  for (size_t probe = 0; probe < kSampleSlots; ++probe, at = (at + 1) & (kSampleSlots - 1)) {
    if (g_samples[at].Rip == rip || g_samples[at].Count == 0) {
      g_samples[at].Rip = rip;
      ++g_samples[at].Count;
      return;
    }
  }
}

DWORD WINAPI Sampler(void*) {
  CONTEXT context;
  while (!g_stop.load()) {
    Sleep(1);
    if (SuspendThread(g_mainThread) == static_cast<DWORD>(-1)) continue;
    context.ContextFlags = CONTEXT_CONTROL;
    if (GetThreadContext(g_mainThread, &context)) CountSample(context.Rip);
    ResumeThread(g_mainThread);
  }
  return 0;
}

void WriteProfile() {
  g_stop = true;
  std::vector<std::pair<unsigned, DWORD64>> sorted;
  for (size_t i = 0; i < kSampleSlots; ++i)
    if (g_samples[i].Count) sorted.emplace_back(g_samples[i].Count, g_samples[i].Rip);
  std::sort(sorted.rbegin(), sorted.rend());
  FILE* out = std::fopen("qrv_profile.txt", "w");
  if (!out) return;
  std::fprintf(out, "base %llx\n",
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))));
  // The loaded modules, so samples outside the executable can be named.
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  MODULEENTRY32W module = {};
  module.dwSize = sizeof(module);
  for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module))
    std::fprintf(out, "module %llx %lx %ls\n",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module.modBaseAddr)),
                 static_cast<unsigned long>(module.modBaseSize), module.szModule);
  CloseHandle(snapshot);
  for (auto& [count, rip] : sorted) std::fprintf(out, "%llx %u\n", static_cast<unsigned long long>(rip), count);
  std::fclose(out);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  g_samples = new SampleSlot[kSampleSlots]();
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  CreateThread(nullptr, 0, Sampler, nullptr, 0, nullptr);
  std::atexit(WriteProfile);
  return RunProgram(instance, ScriptOrigin::File, ProcessArguments());
}
