// qrvrun: runs a program under test with a time limit and keeps its dialogs
// from blocking the run.
//
//   qrvrun.exe [--timeout MS] [--report FILE] [--answer BUTTON]... [--no-job]
//              [--cwd DIR] [--stdin FILE] [--stdout FILE] [--stderr FILE]
//              [--fail-start N] -- PROGRAM.exe [args...]
//   qrvrun.exe --batch FILE
//
// --cwd, --stdin, --stdout and --stderr give the program its own working
// folder and standard handles (stdout and stderr must be different files);
// without them it shares qrvrun's. --fail-start exists for the self-test: the
// first N start attempts fail the way Wine's spurious start failure does.
//
// --batch runs many programs one after another inside this one process, which
// spares each of them the start of a Wine process on the Unix side. Each
// non-blank line of FILE (UTF-8) holds the switches and command of one run,
// quoted as on a Windows command line; each run has its own time limit,
// answers, report, job and standard handles, exactly as if qrvrun had been
// started for it alone. The whole file is read and checked before anything
// runs.
//
// The program runs inside a Job object, so every process it starts is watched
// and killed with it (without a job, qrvrun follows the process tree by parent
// IDs instead; --no-job forces that, to test it). Every poll interval the top-level dialogs (window class
// "#32770") of those processes are read (title, static texts, push-button
// captions), written to the report, and closed: with the next --answer when
// one is left, otherwise with the most cautious button on offer (Cancel, No,
// OK, Close). An answer of "*" means "expected, close it the default way".
//
// The report is UTF-8, one JSON object per line, flushed as it is written:
//   {"event":"start","ms":T,"pid":N,"job":BOOL}
//   {"event":"dialog","ms":T,"pid":N,"title":S,"text":S,"buttons":[S...],
//    "answer":S|null,"pressed":S|null,"answered":BOOL}
//   {"event":"stuck","ms":T,"title":S}      a dialog still open 2 s after being closed
//   {"event":"timeout","ms":T,"limit_ms":N}
//   {"event":"exit","ms":T,"code":N}        the full 32-bit exit code
//   {"event":"retry","ms":T,"attempt":N,"code":N}   a start failed in passing; tried again
//   {"event":"error","ms":T,"text":S,"code":N}   the program could not be started
// "answered" is true when the dialog was closed by its --answer ("*" included);
// a dialog closed without one is unexpected.
//
// Invariants:
//  - qrvrun itself never blocks on the program: every cross-process message
//    goes through SendMessageTimeoutW with SMTO_ABORTIFHUNG or PostMessageW.
//  - Nothing but fatal usage/launch errors goes to qrvrun's own stdout/stderr,
//    which it shares with the program; everything it observes goes to the report.
//  - Exit code: the program's own, 124 on timeout, 125 on a usage error,
//    126/127 when the program cannot be started. A batch exits 0 once every
//    line has run, whatever the programs returned (their reports say that),
//    and 125 without running anything when the file is unreadable or a line
//    is not understood.
//  - Every handle a run opens is closed when the run ends, so in a batch no
//    program inherits another run's files.
//
// Reading another process's dialog under Wine (checked on Wine 8):
// SendMessageTimeoutW(WM_GETTEXT) is marshalled across processes as on Windows
// and returns the message box text (static control ID 0xFFFF) and the button
// captions ("&Yes") intact. Wine's message box lists its children as icon
// static, buttons, then the text static, and destroys the buttons it does not
// use, so the text static is put first explicitly rather than trusting the
// order. InternalGetWindowText reads the same text without a message, and is
// the fallback for a window whose thread does not answer in time.

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kPollIntervalMs = 50;
constexpr DWORD kDefaultTimeoutMs = 20000;
constexpr UINT kMessageTimeoutMs = 1000;
constexpr DWORD kCloseRetryMs = 1000;
constexpr int kExitTimeout = 124;
constexpr int kExitUsage = 125;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr size_t kMaxWindowText = 1 << 20;
constexpr size_t kJobPidCapacity = 1024;
// Wine's CreateProcess now and then fails with ERROR_INTERNAL_ERROR (1359)
// although nothing is wrong with the program, and the same start works a
// moment later. Such a start is tried this many times, waiting the retry
// interval times the attempt number in between; any other error fails at once.
constexpr int kStartAttempts = 5;
constexpr DWORD kStartRetryMs = 100;
// A dialog must be seen on this many consecutive polls before it is read, so
// a dialog that fills in its controls just after showing is read complete.
constexpr int kSightingsBeforeRead = 2;

const wchar_t kDialogClass[] = L"#32770";
const wchar_t kDefaultAnswer[] = L"*";
// Preferred order for closing a dialog nobody answered: the choice that does least.
const wchar_t* const kDismissCaptions[] = {L"Cancel", L"No", L"OK", L"Close", L"Abort", L"Ignore"};

// One run: what to start and how to watch it.
struct Options {
  DWORD timeoutMs = kDefaultTimeoutMs;
  std::wstring reportPath;
  std::vector<std::wstring> answers;
  std::vector<std::wstring> command;
  bool useJob = true;
  std::wstring workingDir;  // empty: qrvrun's own
  std::wstring stdinPath;   // empty: qrvrun's own handle
  std::wstring stdoutPath;
  std::wstring stderrPath;
  int failStarts = 0;  // start attempts to fail on purpose (self-test)
};

// Owns one kernel handle and closes it once.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(nullptr); }

  // Closes the handle held so far and takes HANDLE.
  void Reset(HANDLE handle) {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

struct Button {
  HWND hwnd;
  int id;
  std::wstring caption;  // with the mnemonic '&' removed
};

struct DialogInfo {
  DWORD pid = 0;
  std::wstring title;
  std::wstring text;
  std::vector<Button> buttons;
};

// What qrvrun knows about one dialog window it has seen.
struct TrackedDialog {
  int sightings = 0;
  bool handled = false;
  int closeStage = 0;
  ULONGLONG lastCloseTick = 0;
  std::wstring title;
};

// Appends JSON lines to the report file; a missing path makes it a no-op.
// Every record is {"event":NAME,"ms":TIME-SINCE-START,...fields}.
class Report {
 public:
  // Opens (truncates) the report; the handle is not inheritable, so the child never holds it.
  bool Open(const std::wstring& path) {
    if (path.empty()) return true;
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }

  // Writes one record and flushes it so a killed run still leaves what it saw.
  // FIELDS is empty or a comma-led list of JSON members.
  void Write(const char* event, const std::string& fields) {
    if (file_ == INVALID_HANDLE_VALUE) return;
    std::string data = std::string("{\"event\":\"") + event + "\",\"ms\":" + std::to_string(GetTickCount64() - start_) +
                       fields + "}\n";
    DWORD written = 0;
    WriteFile(file_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    FlushFileBuffers(file_);
  }

  ~Report() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  ULONGLONG start_ = GetTickCount64();
};

// Converts UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Quotes a string as a JSON string literal.
std::string JsonString(const std::wstring& text) {
  std::string utf8 = ToUtf8(text);
  std::string out = "\"";
  for (char byte : utf8) {
    const auto c = static_cast<unsigned char>(byte);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Reports a fatal harness problem on stderr (only used before or instead of a run).
void Fail(const wchar_t* format, const std::wstring& detail) {
  std::fwprintf(stderr, L"qrvrun: ");
  std::fwprintf(stderr, format, detail.c_str());
  std::fwprintf(stderr, L"\n");
  std::fflush(stderr);
}

// Prints the command-line summary.
void PrintUsage() {
  std::fwprintf(stderr,
                L"usage: qrvrun.exe [--timeout MS] [--report FILE] [--answer BUTTON]... [--no-job]\n"
                L"                  [--cwd DIR] [--stdin FILE] [--stdout FILE] [--stderr FILE]\n"
                L"                  [--fail-start N] -- PROGRAM.exe [args...]\n"
                L"       qrvrun.exe --batch FILE\n");
}

// Reads a whole decimal number; false when TEXT is anything else.
bool ParseCount(const std::wstring& text, unsigned long& value) {
  wchar_t* end = nullptr;
  value = std::wcstoul(text.c_str(), &end, 10);
  return !text.empty() && end && !*end && text[0] >= L'0' && text[0] <= L'9';
}

// Parses the switches of one run (ARGS without the program name); everything
// after "--" is the command to run.
bool ParseOptions(const std::vector<std::wstring>& args, Options& options) {
  // The switches that take a value, and where each value goes.
  const std::pair<const wchar_t*, std::wstring Options::*> kPathSwitches[] = {
      {L"--report", &Options::reportPath}, {L"--cwd", &Options::workingDir},    {L"--stdin", &Options::stdinPath},
      {L"--stdout", &Options::stdoutPath}, {L"--stderr", &Options::stderrPath},
  };
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg == L"--") {
      ++i;
      break;
    }
    bool hasValue = i + 1 < args.size();
    std::wstring Options::*path = nullptr;
    for (const auto& [name, member] : kPathSwitches)
      if (arg == name) path = member;
    unsigned long value = 0;
    if (path && hasValue) {
      options.*path = args[++i];
    } else if (arg == L"--timeout" && hasValue) {
      if (!ParseCount(args[++i], value) || value == 0 || value > MAXDWORD - 1) {
        Fail(L"bad --timeout value: %ls", args[i]);
        return false;
      }
      options.timeoutMs = static_cast<DWORD>(value);
    } else if (arg == L"--fail-start" && hasValue) {
      if (!ParseCount(args[++i], value) || value > 1000) {
        Fail(L"bad --fail-start value: %ls", args[i]);
        return false;
      }
      options.failStarts = static_cast<int>(value);
    } else if (arg == L"--answer" && hasValue) {
      options.answers.push_back(args[++i]);
    } else if (arg == L"--no-job") {
      options.useJob = false;
    } else {
      Fail(L"unknown or incomplete option: %ls", arg);
      return false;
    }
  }
  for (; i < args.size(); ++i) options.command.push_back(args[i]);
  if (options.command.empty()) {
    Fail(L"%ls", L"no program given after --");
    return false;
  }
  if (!options.stdoutPath.empty() &&
      CompareStringOrdinal(options.stdoutPath.c_str(), -1, options.stderrPath.c_str(), -1, TRUE) == CSTR_EQUAL) {
    // Two handles with positions of their own would write over each other.
    Fail(L"--stdout and --stderr name the same file: %ls", options.stdoutPath);
    return false;
  }
  return true;
}

// Quotes one argument so CommandLineToArgvW and the C runtime give it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless they precede a quote, where each must be doubled.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// Joins the command into a single CreateProcessW command line.
std::wstring BuildCommandLine(const std::vector<std::wstring>& command) {
  std::wstring line;
  for (const auto& arg : command) {
    if (!line.empty()) line += L' ';
    line += QuoteArgument(arg);
  }
  return line;
}

// The standard handles one run's program gets, all inheritable: files the
// run names, or copies of qrvrun's own so the program writes where we write.
// The files and copies are closed with this object, when the run ends.
class StdHandles {
 public:
  // Opens the three handles; on failure FAILED names the file that could not be opened.
  bool Open(const Options& options, std::wstring& failed) {
    const std::pair<DWORD, const std::wstring*> kStreams[kCount] = {
        {STD_INPUT_HANDLE, &options.stdinPath},
        {STD_OUTPUT_HANDLE, &options.stdoutPath},
        {STD_ERROR_HANDLE, &options.stderrPath},
    };
    for (int i = 0; i < kCount; ++i) {
      if (!Take(*kStreams[i].second, kStreams[i].first, i)) {
        failed = *kStreams[i].second;
        return false;
      }
    }
    return true;
  }

  HANDLE Input() const { return handles_[0]; }
  HANDLE Output() const { return handles_[1]; }
  HANDLE Error() const { return handles_[2]; }

 private:
  static constexpr int kCount = 3;

  // Opens PATH for stream INDEX, or passes on qrvrun's own handle WHICH when PATH is empty.
  bool Take(const std::wstring& path, DWORD which, int index) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!path.empty()) {
      bool input = which == STD_INPUT_HANDLE;
      HANDLE file = CreateFileW(path.c_str(), input ? GENERIC_READ : GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                input ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return false;
      owned_[index].Reset(file);
      handles_[index] = file;
      return true;
    }
    HANDLE own = GetStdHandle(which);
    handles_[index] = own;
    if (own == nullptr || own == INVALID_HANDLE_VALUE) return true;  // nothing to pass on
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
      owned_[index].Reset(copy);
      handles_[index] = copy;
    } else {
      SetHandleInformation(own, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    return true;
  }

  HANDLE handles_[kCount] = {};
  OwnedHandle owned_[kCount];
};

// Creates a job that kills its processes when qrvrun goes away, however it goes away.
HANDLE CreateKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

// Lists the processes of the job; false when the job cannot be queried.
bool JobProcessIds(HANDLE job, std::set<DWORD>& pids) {
  std::vector<unsigned char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kJobPidCapacity * sizeof(ULONG_PTR));
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  list->NumberOfAssignedProcesses = static_cast<DWORD>(kJobPidCapacity);
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()), nullptr))
    return false;
  pids.clear();
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) pids.insert(static_cast<DWORD>(list->ProcessIdList[i]));
  return true;
}

// Without a job: adds the descendants of the known processes, found through their
// parent IDs, and drops known processes that have ended. Ended ones must go, because
// Wine reuses process IDs quickly and a parallel test's process must never be
// mistaken for ours.
void TrackProcessTree(std::set<DWORD>& pids) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<std::pair<DWORD, DWORD>> links;  // (pid, parent)
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
    links.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
  CloseHandle(snapshot);
  std::set<DWORD> alive;
  for (const auto& link : links) alive.insert(link.first);
  std::erase_if(pids, [&alive](DWORD pid) { return !alive.count(pid); });
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, parent] : links)
      if (pid != 0 && pids.count(parent) && pids.insert(pid).second) grew = true;
  }
}

// Reads a window's text by asking its own thread, which works across processes.
std::wstring ReadWindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &length)) {
    wchar_t buffer[1024];
    int got = InternalGetWindowText(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return std::wstring(buffer, got > 0 ? static_cast<size_t>(got) : 0);
  }
  if (length == 0) return {};
  if (length > kMaxWindowText) length = kMaxWindowText;
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &copied))
    return {};
  text.resize(copied <= length ? copied : length);
  return text;
}

// Returns the window class name.
std::wstring ClassName(HWND hwnd) {
  wchar_t name[256];
  int length = GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// Drops mnemonic markers: "&Yes" -> "Yes", "&&" -> "&".
std::wstring StripMnemonic(const std::wstring& caption) {
  std::wstring out;
  for (size_t i = 0; i < caption.size(); ++i) {
    // The character after '&' is kept as written, which also turns "&&" into "&".
    if (caption[i] == L'&' && ++i == caption.size()) break;
    out += caption[i];
  }
  return out;
}

// Compares two button captions ignoring case and mnemonic markers.
bool SameCaption(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(StripMnemonic(a).c_str(), -1, StripMnemonic(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Collects the direct children of a window in creation (Z) order.
std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

// Reads what a dialog shows: title, static texts (message text first) and push buttons.
DialogInfo ReadDialog(HWND dialog) {
  DialogInfo info;
  GetWindowThreadProcessId(dialog, &info.pid);
  info.title = ReadWindowText(dialog);
  std::wstring messageText;
  std::vector<std::wstring> otherTexts;
  for (HWND child : ChildWindows(dialog)) {
    if (!IsWindowVisible(child)) continue;
    std::wstring cls = ClassName(child);
    if (CompareStringOrdinal(cls.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) {
      std::wstring text = ReadWindowText(child);
      if (text.empty()) continue;
      if (GetDlgCtrlID(child) == kMessageBoxTextId && messageText.empty())
        messageText = text;
      else
        otherTexts.push_back(text);
    } else if (CompareStringOrdinal(cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
      LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
      if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON) continue;
      info.buttons.push_back({child, GetDlgCtrlID(child), StripMnemonic(ReadWindowText(child))});
    }
  }
  if (!messageText.empty()) otherTexts.insert(otherTexts.begin(), messageText);
  for (size_t i = 0; i < otherTexts.size(); ++i) {
    if (i) info.text += L'\n';
    info.text += otherTexts[i];
  }
  return info;
}

// Finds the button whose caption matches, or nullptr.
const Button* FindButton(const DialogInfo& info, const std::wstring& caption) {
  for (const auto& button : info.buttons)
    if (SameCaption(button.caption, caption)) return &button;
  return nullptr;
}

// Presses a button the way a click would report it to the dialog procedure.
void PressButton(HWND dialog, const Button& button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED), reinterpret_cast<LPARAM>(button.hwnd));
}

// Watches the program's processes and handles their dialogs.
class DialogWatcher {
 public:
  // JOB is null when the program could not be put into one.
  DialogWatcher(Report& report, std::vector<std::wstring> answers, HANDLE job, DWORD childPid)
      : report_(report), answers_(std::move(answers)), job_(job), childPid_(childPid) {
    watched_.insert(childPid);
  }

  // One poll: finds dialogs, reads and closes new ones, escalates stubborn ones.
  // With readNow set, a dialog is read on first sight (used just before killing).
  void Poll(bool readNow) {
    // The job knows exactly which processes are ours, however they were started.
    if (job_ && JobProcessIds(job_, watched_))
      watched_.insert(childPid_);  // our open handle keeps its ID from being reused
    else
      TrackProcessTree(watched_);
    std::vector<HWND> dialogs = FindDialogs();
    ForgetDestroyed();
    ULONGLONG now = GetTickCount64();
    for (HWND dialog : dialogs) {
      TrackedDialog& tracked = tracked_[dialog];
      ++tracked.sightings;
      if (!tracked.handled) {
        if (tracked.sightings >= kSightingsBeforeRead || readNow) Handle(dialog, tracked, now);
      } else if (now - tracked.lastCloseTick >= kCloseRetryMs) {
        Escalate(dialog, tracked, now);
      }
    }
  }

  // The processes currently known to belong to the program.
  const std::set<DWORD>& Watched() const { return watched_; }

 private:
  // Lists visible top-level dialogs owned by a watched process.
  std::vector<HWND> FindDialogs() {
    struct Context {
      const std::set<DWORD>* pids;
      std::vector<HWND> found;
    } context{&watched_, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
          auto* ctx = reinterpret_cast<Context*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          if (ctx->pids->count(pid) && IsWindowVisible(hwnd) && ClassName(hwnd) == kDialogClass)
            ctx->found.push_back(hwnd);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    return context.found;
  }

  // Drops state of windows that no longer exist, so a reused handle counts as new.
  void ForgetDestroyed() {
    for (auto it = tracked_.begin(); it != tracked_.end();)
      it = IsWindow(it->first) ? std::next(it) : tracked_.erase(it);
  }

  // Reads a new dialog, records it and closes it.
  void Handle(HWND dialog, TrackedDialog& tracked, ULONGLONG now) {
    DialogInfo info = ReadDialog(dialog);
    tracked.handled = true;
    tracked.title = info.title;
    tracked.lastCloseTick = now;

    bool hasAnswer = nextAnswer_ < answers_.size();
    std::wstring answer = hasAnswer ? answers_[nextAnswer_++] : L"";
    const Button* pressed = nullptr;
    bool answered = false;
    if (hasAnswer && answer != kDefaultAnswer) {
      pressed = FindButton(info, answer);
      answered = pressed != nullptr;
    } else if (hasAnswer) {
      answered = true;
    }
    if (!pressed) pressed = DismissButton(info);

    std::wstring pressedCaption;
    if (pressed) {
      PressButton(dialog, *pressed);
      pressedCaption = pressed->caption;
    } else {
      // No recognisable button: IDCANCEL is what Esc sends, and the dialog manager honours it.
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    WriteDialogRecord(info, hasAnswer ? &answer : nullptr, pressedCaption, answered);
  }

  // Picks the button to press for a dialog nobody answered.
  static const Button* DismissButton(const DialogInfo& info) {
    for (const wchar_t* caption : kDismissCaptions)
      if (const Button* button = FindButton(info, caption)) return button;
    return nullptr;
  }

  // Tries harder on a dialog that did not close: WM_CLOSE, then records it as stuck.
  void Escalate(HWND dialog, TrackedDialog& tracked, ULONGLONG now) {
    tracked.lastCloseTick = now;
    if (tracked.closeStage == 0) {
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    } else if (tracked.closeStage == 1) {
      report_.Write("stuck", ",\"title\":" + JsonString(tracked.title));
    }
    ++tracked.closeStage;
  }

  // Writes the dialog's record.
  void WriteDialogRecord(const DialogInfo& info, const std::wstring* answer, const std::wstring& pressed,
                         bool answered) {
    std::string buttons = "[";
    for (size_t i = 0; i < info.buttons.size(); ++i) {
      if (i) buttons += ",";
      buttons += JsonString(info.buttons[i].caption);
    }
    buttons += "]";
    report_.Write("dialog", ",\"pid\":" + std::to_string(info.pid) + ",\"title\":" + JsonString(info.title) +
                                ",\"text\":" + JsonString(info.text) + ",\"buttons\":" + buttons +
                                ",\"answer\":" + (answer ? JsonString(*answer) : std::string("null")) +
                                ",\"pressed\":" + (pressed.empty() ? std::string("null") : JsonString(pressed)) +
                                ",\"answered\":" + (answered ? "true" : "false"));
  }

  Report& report_;
  std::vector<std::wstring> answers_;
  size_t nextAnswer_ = 0;
  HANDLE job_;
  DWORD childPid_;
  std::set<DWORD> watched_;
  std::map<HWND, TrackedDialog> tracked_;
};

// Starts the command suspended, puts it in the job, then lets it run. A start
// that fails in passing (see kStartAttempts) is recorded and tried again.
// Returns 0, or the error of the last attempt.
DWORD StartProgram(const Options& options, const StdHandles& handles, HANDLE job, Report& report,
                   PROCESS_INFORMATION& process, bool& inJob) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles.Input();
  startup.hStdOutput = handles.Output();
  startup.hStdError = handles.Error();
  const wchar_t* folder = options.workingDir.empty() ? nullptr : options.workingDir.c_str();
  for (int attempt = 1;; ++attempt) {
    DWORD error = ERROR_INTERNAL_ERROR;
    if (attempt > options.failStarts) {
      // CreateProcessW may write to the command line, so each attempt gets a fresh one.
      std::wstring commandLine = BuildCommandLine(options.command);
      if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, folder,
                         &startup, &process))
        break;
      error = GetLastError();
    }
    if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) return error;
    report.Write("retry", ",\"attempt\":" + std::to_string(attempt) + ",\"code\":" + std::to_string(error));
    Sleep(kStartRetryMs * static_cast<DWORD>(attempt));
  }
  inJob = job && AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  return 0;
}

// Ends the program and everything it started: the whole job, or without one
// each process of the tree the watcher followed.
void KillAll(HANDLE job, bool inJob, HANDLE process, UINT code, const std::set<DWORD>& watched) {
  if (inJob) {
    TerminateJobObject(job, code);
  } else {
    for (DWORD pid : watched) {
      if (pid == GetCurrentProcessId()) continue;
      if (HANDLE other = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
        TerminateProcess(other, code);
        CloseHandle(other);
      }
    }
  }
  TerminateProcess(process, code);
  WaitForSingleObject(process, kCloseRetryMs);
}

// Runs one program under watch and returns its exit code (124 on timeout).
int RunProgram(const Options& options) {
  Report report;
  if (!report.Open(options.reportPath)) {
    Fail(L"cannot write the report %ls", options.reportPath);
    return kExitUsage;
  }
  StdHandles handles;
  std::wstring unopened;
  if (!handles.Open(options, unopened)) {
    DWORD error = GetLastError();
    report.Write("error", ",\"text\":" + JsonString(L"cannot open " + unopened) + ",\"code\":" + std::to_string(error));
    Fail(L"cannot open %ls", unopened);
    return kExitUsage;
  }

  OwnedHandle job(options.useJob ? CreateKillOnCloseJob() : nullptr);
  PROCESS_INFORMATION process = {};
  bool inJob = false;
  if (DWORD error = StartProgram(options, handles, job.Get(), report, process, inJob)) {
    report.Write("error", ",\"text\":" + JsonString(L"cannot start " + options.command[0]) +
                              ",\"code\":" + std::to_string(error));
    Fail(L"cannot start %ls", options.command[0]);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kExitNotFound : kExitCannotRun;
  }
  OwnedHandle processHandle(process.hProcess);
  OwnedHandle threadHandle(process.hThread);
  report.Write("start", ",\"pid\":" + std::to_string(process.dwProcessId) + ",\"job\":" + (inJob ? "true" : "false"));

  DialogWatcher watcher(report, options.answers, inJob ? job.Get() : nullptr, process.dwProcessId);
  ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD wait = WaitForSingleObject(process.hProcess, kPollIntervalMs);
    bool exited = wait != WAIT_TIMEOUT;
    bool timedOut = !exited && GetTickCount64() - start >= options.timeoutMs;
    // A last look before anything is killed, so the report says what was on screen.
    watcher.Poll(exited || timedOut);
    if (timedOut) {
      report.Write("timeout", ",\"limit_ms\":" + std::to_string(options.timeoutMs));
      KillAll(job.Get(), inJob, process.hProcess, kExitTimeout, watcher.Watched());
      return kExitTimeout;
    }
    if (exited) break;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  report.Write("exit", ",\"code\":" + std::to_string(code));
  // Whatever the program left running goes with it.
  KillAll(job.Get(), inJob, process.hProcess, code, watcher.Watched());
  return static_cast<int>(code);
}

// Reads the whole of a UTF-8 file as UTF-16 (a byte-order mark is dropped); false when it cannot be read.
bool ReadUtf8File(const std::wstring& path, std::wstring& text) {
  OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (file.Get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > MAXLONG) return false;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()))
    return false;
  int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  text.assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
  if (!text.empty() && text[0] == L'\xFEFF') text.erase(0, 1);
  return true;
}

// Reads a batch file into one Options per non-blank line; reports the first
// line it cannot understand and returns false.
bool ReadBatch(const std::wstring& path, std::vector<Options>& runs) {
  std::wstring text;
  if (!ReadUtf8File(path, text)) {
    Fail(L"cannot read the batch file %ls", path);
    return false;
  }
  size_t number = 0;
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find(L'\n', begin);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.find_first_not_of(L" \t") == std::wstring::npos) continue;
    // CommandLineToArgvW reads its first word by the rules for a program path, so one is put in front.
    std::wstring full = L"qrvrun " + line;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(full.c_str(), &count);
    if (!words) {
      Fail(L"cannot split line %ls of the batch file", std::to_wstring(number));
      return false;
    }
    std::vector<std::wstring> args(words + 1, words + count);
    LocalFree(words);
    Options options;
    if (!ParseOptions(args, options)) {
      Fail(L"(in line %ls of the batch file)", std::to_wstring(number));
      return false;
    }
    runs.push_back(std::move(options));
  }
  return true;
}

}  // namespace

// Runs one program, or every line of a batch, under watch. One program:
// returns its exit code (124 on timeout). A batch: 0 once every line has run.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  // No "insert disk" or crash boxes: a crash should end the run with its exception code.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (!args.empty() && args[0] == L"--batch") {
    std::vector<Options> runs;
    if (args.size() != 2 || !ReadBatch(args[1], runs)) {
      if (args.size() != 2) PrintUsage();
      return kExitUsage;
    }
    for (const Options& run : runs) RunProgram(run);
    return 0;
  }
  Options options;
  if (!ParseOptions(args, options)) {
    PrintUsage();
    return kExitUsage;
  }
  return RunProgram(options);
}
