// The process runner on Windows: CreateProcessW with inherited handles for the standard streams,
// in a job object so that the time limit ends everything the program started. What Windows
// cannot give (another user, resource limits, SIGPIPE) is refused, so a test that needs it fails
// instead of passing without it.

#include <fcntl.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <stdexcept>
#include <thread>

#include "support/process.h"
#include "support/record_builder.h"
#include "support/scratch_dir.h"

namespace vemo::test {
namespace {

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// One argument as the C runtime's command line parser reads it back: quoted when it holds
// blanks or quotes, backslashes doubled only where they precede a quote.
void append_argument(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

std::wstring name_of(const std::wstring& entry) {
  // "=C:=C:\dir" entries keep the drive's current folder; their name starts after the first '='.
  const std::size_t eq = entry.find(L'=', 1);
  std::wstring name = entry.substr(0, eq);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](wchar_t c) { return std::towupper(c); });
  return name;
}

// This process's environment with the launch's entries added (replacing those of the same name),
// sorted by name as CreateProcessW expects.
std::wstring environment_block(const std::vector<std::string>& extra) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* e = block; *e != L'\0'; e += std::wcslen(e) + 1) entries.emplace_back(e);
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& e : extra) {
    const std::wstring entry = widen(e);
    std::erase_if(entries, [&](const std::wstring& x) { return name_of(x) == name_of(entry); });
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const std::wstring& a, const std::wstring& b) { return name_of(a) < name_of(b); });
  std::wstring block;
  for (const auto& e : entries) block += e + L'\0';
  block += L'\0';
  return block;
}

HANDLE open_inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(widen(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A pipe of which one end is inherited by the program and the other stays with this process.
void make_pipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!::CreatePipe(&read_end, &write_end, &sa, 0)) throw std::runtime_error("cannot make a pipe");
  ::SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
}

// Closes a handle once; null and invalid handles are left alone.
void close(HANDLE& h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  h = nullptr;
}

}  // namespace

std::optional<Unprivileged> nobody() {
  return std::nullopt;
}

Outcome run(const Launch& launch) {
  if (launch.run_as || launch.max_open_files > 0 || launch.max_address_space > 0 ||
      launch.max_processes > 0 || launch.ignore_sigpipe) {
    throw std::logic_error("users, resource limits and SIGPIPE are POSIX only");
  }
  const ScratchDir capture;
  const std::string out_path = launch.stdout_path.empty() ? capture / "stdout" : launch.stdout_path;
  const std::string err_path = capture / "stderr";

  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE feed = nullptr;  // this process's end of the standard input pipe
  HANDLE in_file = nullptr;
  if (launch.stdin_through_pipe && !launch.stdin_path.empty()) {
    in_file = ::CreateFileW(widen(launch.stdin_path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in_file != INVALID_HANDLE_VALUE) make_pipe(in, feed, true);
  } else {
    in = open_inheritable(launch.stdin_path.empty() ? "NUL" : launch.stdin_path, GENERIC_READ,
                          OPEN_EXISTING);
  }
  HANDLE out = INVALID_HANDLE_VALUE;
  HANDLE drain = nullptr;  // this process's end of the standard output pipe
  if (launch.stdout_read_limit > 0) {
    make_pipe(drain, out, false);
  } else if (!launch.stdout_path.empty() && (launch.stdout_flags & O_APPEND) != 0) {
    out = open_inheritable(out_path, FILE_APPEND_DATA, OPEN_ALWAYS);
  } else {
    out = open_inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  }
  HANDLE err = open_inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot open the standard streams for " + launch.argv.at(0));
  }

  // The program's path is resolved here, as the shell would before a change of folder.
  std::wstring program = widen(launch.argv.at(0));
  std::wstring full(MAX_PATH * 4, L'\0');
  const DWORD length =
      ::GetFullPathNameW(program.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length > 0 && length < full.size()) program = full.substr(0, length);
  std::wstring command_line;
  append_argument(command_line, program);
  for (std::size_t i = 1; i < launch.argv.size(); ++i) {
    append_argument(command_line, widen(launch.argv[i]));
  }
  std::wstring environment = environment_block(launch.env);
  const std::wstring cwd = widen(launch.cwd);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = launch.close_stdout ? nullptr : out;
  si.hStdError = launch.close_stderr ? nullptr : err;
  PROCESS_INFORMATION pi{};
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);

  const auto start = std::chrono::steady_clock::now();
  const bool started =
      ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS,
                       environment.data(), cwd.empty() ? nullptr : cwd.c_str(), &si, &pi);
  const DWORD start_error = started ? 0 : ::GetLastError();
  close(in);
  close(out);
  close(err);
  Outcome o;
  if (!started) {
    close(feed);
    close(in_file);
    close(drain);
    close(job);
    o.status = 127;
    o.err = "cannot start " + launch.argv[0] + ": error " + std::to_string(start_error);
    return o;
  }
  if (job != nullptr) ::AssignProcessToJobObject(job, pi.hProcess);
  ::ResumeThread(pi.hThread);
  close(pi.hThread);

  // Standard input through a pipe: written from a thread, as `cat` would, until the file ends or
  // the program closes its end.
  std::thread feeder;
  if (feed != nullptr) {
    feeder = std::thread([&feed, &in_file] {
      char buffer[65536];
      DWORD n = 0;
      while (::ReadFile(in_file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        DWORD written = 0;
        if (!::WriteFile(feed, buffer, n, &written, nullptr)) break;
      }
      close(feed);
      close(in_file);
    });
  }
  if (launch.meanwhile) launch.meanwhile(static_cast<pid_t>(pi.dwProcessId));

  const auto deadline = start + launch.time_limit;
  if (drain != nullptr) {
    // Reads up to the limit, or until the program closes its end or the deadline passes, then
    // closes the pipe: later writes fail as they do after `head -c N`.
    char buffer[4096];
    while (o.out.size() < launch.stdout_read_limit && std::chrono::steady_clock::now() < deadline) {
      DWORD available = 0;
      if (!::PeekNamedPipe(drain, nullptr, 0, nullptr, &available, nullptr)) break;
      if (available == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(
          {sizeof buffer, available, launch.stdout_read_limit - o.out.size()}));
      DWORD n = 0;
      if (!::ReadFile(drain, buffer, want, &n, nullptr) || n == 0) break;
      o.out.append(buffer, n);
    }
    close(drain);
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (::WaitForSingleObject(
          pi.hProcess, static_cast<DWORD>(std::max<long long>(0, left.count()))) != WAIT_OBJECT_0) {
    o.timed_out = true;
    if (job != nullptr) ::TerminateJobObject(job, 128 + 9);
    ::TerminateProcess(pi.hProcess, 128 + 9);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
  }
  // With the program gone its end of the pipe is closed, so the feeder's next write fails.
  if (feeder.joinable()) feeder.join();
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  close(pi.hProcess);
  close(job);
  o.status = static_cast<int>(code);
  if (launch.stdout_path.empty() && launch.stdout_read_limit == 0) o.out = read_file(out_path);
  o.err = read_file(err_path);
  return o;
}

}  // namespace vemo::test
