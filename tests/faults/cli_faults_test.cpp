// Faults injected into vemo-convert as a script or a server runs it: outputs that cannot be made
// or written, outputs that are inputs, inputs that are not data files or not files at all, odd
// file names, a closed standard error, a reader that goes away, and thousands of files with few
// file descriptors.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fault_support.h"
#include "run/extraction_run.h"
#include "support/record_builder.h"
#include "support/recording_observer.h"

namespace vemo {
namespace {

namespace fs = std::filesystem;
using faults::AccessWatch;
using faults::clean_output;
using faults::convert;
using faults::count_lines;
using faults::Launch;
using faults::Outcome;
using faults::ScratchDir;

// Root may write anywhere, so permission cases run as "nobody": the scratch folder is opened to
// everyone and holds an input everyone can read, whose path this returns.
std::string input_open_to_all(const ScratchDir& dir) {
  fs::permissions(dir.path(), fs::perms::all);
  const std::string a = dir.file("a.dat", test::data_file_with_records(40));
  fs::permissions(a, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  return a;
}

std::string line(const std::string& text) {
  return faults::cli_line(text);
}
std::string cannot_create(const std::string& path, const std::string& reason) {
  return line("Cannot create the output file " + path + ": " + reason);
}
std::string cannot_read(const std::string& path, const std::string& reason) {
  return line("Cannot read the input file " + path + ": " + reason);
}
std::string not_data_file(const std::string& path) {
  return line("The Input File Selected is not AXE Data File: " + path);
}
std::string summary(int records, int files) {
  return line(std::to_string(records) + " Records Written from " + std::to_string(files) +
              " Files");
}
const std::string kOutputIsInput =
    line("The output file is one of the selected input Files. Please choose another output file.");

bool has_summary(const Outcome& o) {
  return o.err.find("Records Written") != std::string::npos;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// --- The output ---

TEST(CliOutputFaults, OutputFailuresExitWithTwoAndNoSummary) {
  struct Case {
    const char* what;
    std::function<std::string(const ScratchDir&)> output;  // the -o value
    std::function<std::string(const std::string&)> err;    // from the -o value
    bool inputs_opened;
    int records;
  };
  const auto full = [](const std::string& out) {
    return line("Could not write the output file " + out + ": No space left on device");
  };
  const Case cases[] = {
      {"disk full, lost at the end", [](const ScratchDir&) { return "/dev/full"; }, full, true,
       100},
      {"disk full, lost in the middle", [](const ScratchDir&) { return "/dev/full"; }, full, true,
       20000},
      {"missing folder", [](const ScratchDir& d) { return d / "no/such/folder/out.csv"; },
       [](const std::string& out) { return cannot_create(out, "No such file or directory"); },
       false, 100},
      {"folder",
       [](const ScratchDir& d) {
         fs::create_directory(d / "sub");
         return d / "sub";
       },
       [](const std::string& out) { return cannot_create(out, "Is a directory"); }, false, 100},
      {"FIFO without a reader",
       [](const ScratchDir& d) {
         EXPECT_EQ(::mkfifo((d / "pipe.csv").c_str(), 0644), 0);
         return d / "pipe.csv";
       },
       [](const std::string& out) { return cannot_create(out, "No such device or address"); },
       false, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    const std::string a = dir.file("a.dat", test::data_file_with_records(c.records));
    const std::string b = dir.file("b.dat", test::data_file_with_records(30));
    const std::string out = c.output(dir);
    AccessWatch watch;
    watch.add(a);
    watch.add(b);

    const Outcome o = convert({"-o", out, a, b});

    EXPECT_FALSE(o.timed_out);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, c.err(out));
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(has_summary(o));
    EXPECT_EQ(watch.opened(), c.inputs_opened);
  }
}

TEST(CliOutputFaults, StandardOutputOnAFullDisk) {
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(100));
  Launch l;
  l.argv = {VEMO_CONVERT, "-o", "-", a};
  l.stdout_path = "/dev/full";
  l.stdout_flags = O_WRONLY;
  const Outcome o = faults::run(l);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, line("Could not write the output file -: No space left on device"));
}

TEST(CliOutputFaults, ReadOnlyOutputAsAnUnprivilegedUser) {
  // Root may write any file, so the command runs as "nobody" (groups cleared, then group and
  // user set in the child before exec), in a folder nobody can reach.
  const auto user = faults::nobody();
  const bool root = ::geteuid() == 0;
  if (root && !user) GTEST_SKIP() << "running as root and there is no user \"nobody\" to become";
  const ScratchDir dir;
  const std::string a = input_open_to_all(dir);

  // A read-only file of the user's own, and a file to be made in a read-only folder of theirs.
  const std::string kept = "earlier output\r\n";
  const std::string read_only = dir.file("read-only.csv", kept);
  fs::create_directory(dir / "locked");
  const std::string in_locked = dir / "locked/out.csv";
  for (const std::string& p : {read_only, dir / "locked"}) {
    if (root) {
      ASSERT_EQ(::chown(p.c_str(), user->uid, user->gid), 0);
    }
  }
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);

  for (const std::string& out : {read_only, in_locked}) {
    SCOPED_TRACE(out);
    AccessWatch watch;
    watch.add(a);
    Launch l;
    l.argv = {VEMO_CONVERT, "-o", out, a};
    if (root) l.run_as = user;

    const Outcome o = faults::run(l);

    if (o.status == 125) GTEST_SKIP() << "privileges could not be dropped to \"nobody\"";
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, cannot_create(out, "Permission denied"));
    EXPECT_FALSE(has_summary(o));
    EXPECT_FALSE(watch.opened());
  }
  EXPECT_EQ(test::read_file(read_only), kept);
  EXPECT_FALSE(fs::exists(in_locked));
}

TEST(CliOutputFaults, OutputNamingAnInputIsRefusedAndNothingIsEmptied) {
  struct Case {
    const char* what;
    // Sets up the run: arguments, working folder, standard output.
    std::function<Launch(const ScratchDir&, const std::string& a, const std::string& b)> make;
  };
  const auto args = [](std::vector<std::string> v, std::string cwd = {}) {
    Launch l;
    l.argv = {VEMO_CONVERT};
    l.argv.insert(l.argv.end(), v.begin(), v.end());
    l.cwd = std::move(cwd);
    return l;
  };
  const Case cases[] = {
      {"same path",
       [&](const ScratchDir&, auto& a, auto& b) {
         return args({"-o", a, a, b});
       }},
      {"relative output, absolute inputs",
       [&](const ScratchDir& d, auto& a, auto& b) {
         fs::create_directory(d / "sub");
         return args({"-o", "sub/../b.dat", a, b}, d.path());
       }},
      {"absolute output, relative inputs",
       [&](const ScratchDir& d, auto&, auto& b) {
         return args({"--output=" + b, "./a.dat", "b.dat"}, d.path());
       }},
      {"symbolic link",
       [&](const ScratchDir& d, auto& a, auto& b) {
         EXPECT_EQ(::symlink("b.dat", (d / "link.csv").c_str()), 0);
         return args({"-o", d / "link.csv", a, b});
       }},
      {"hard link",
       [&](const ScratchDir& d, auto& a, auto& b) {
         EXPECT_EQ(::link(a.c_str(), (d / "hard.csv").c_str()), 0);
         return args({"-o", d / "hard.csv", a, b});
       }},
      // "-o -" with standard output opened on an input without emptying it (1<> and >>).
      {"standard output read-write on an input",
       [&](const ScratchDir&, auto& a, auto& b) {
         Launch l = args({"-o", "-", a, b});
         l.stdout_path = b;
         l.stdout_flags = O_RDWR;
         return l;
       }},
      {"standard output appending to an input",
       [&](const ScratchDir&, auto& a, auto& b) {
         Launch l = args({"-o", "-", a, b});
         l.stdout_path = a;
         l.stdout_flags = O_WRONLY | O_APPEND;
         return l;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    const std::string a = dir.file("a.dat", test::data_file_with_records(40));
    const std::string b = dir.file("b.dat", test::data_file_with_records(50));
    const std::string a_bytes = test::read_file(a), b_bytes = test::read_file(b);
    const Launch l = c.make(dir, a, b);
    AccessWatch watch;
    watch.add(a);
    watch.add(b);

    const Outcome o = faults::run(l);

    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, kOutputIsInput);
    EXPECT_FALSE(has_summary(o));
    EXPECT_FALSE(watch.modified());
    EXPECT_EQ(test::read_file(a), a_bytes);
    EXPECT_EQ(test::read_file(b), b_bytes);
  }
}

TEST(CliOutputFaults, OutputNamedAgainAsALaterInputIsNeverConvertedIntoItself) {
  // The output does not exist when the run checks its inputs, so it is no input then; by the time
  // its name comes up as an input it holds over a buffer's worth of lines. Whatever the run says
  // about it, it must not read the file it is writing, and must end.
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(20000));
  const std::string out = dir / "out.csv";
  const Outcome o = convert({"-o", out, a, out});
  EXPECT_FALSE(o.timed_out);
  EXPECT_NE(o.status, 0);
  EXPECT_EQ(test::read_file(out), clean_output({a}));
}

// --- A previous output ---

// Names in a folder other than these: temporaries left behind.
std::vector<std::string> strays(const ScratchDir& dir, const std::set<std::string>& expected) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (!expected.count(name)) found.push_back(name);
  }
  return found;
}

TEST(CliOutputReplacement, PreviousOutputStaysUntilARunCompletes) {
  struct Case {
    const char* what;
    int signal_number;  // sent once the run has started writing; 0: none
    bool missing_input;
    bool through_link;  // -o names a symbolic link to the previous output
    int status;
    bool replaced;
    std::size_t name_length = 0;  // of the output's file name; 0: "prev.csv"
    int signal_after_rename = 0;  // sent the moment the output has been replaced
  };
  const Case cases[] = {
      {"mistyped input", 0, true, false, 1, false},
      {"SIGINT", SIGINT, false, false, 128 + SIGINT, false},
      {"SIGTERM", SIGTERM, false, false, 128 + SIGTERM, false},
      {"SIGHUP", SIGHUP, false, false, 128 + SIGHUP, false},
      {"completed", 0, false, false, 0, true},
      {"completed through a link", 0, false, true, 0, true},
      // Names too long to take ".NAME.XXXXXX" whole.
      {"mistyped input, 248-byte name", 0, true, false, 1, false, 248},
      {"SIGTERM, 255-byte name", SIGTERM, false, false, 128 + SIGTERM, false, 255},
      {"completed, 255-byte name", 0, false, false, 0, true, 255},
      // Once replaced, the output is reported as such: the signal changes nothing.
      {"SIGINT after the rename", 0, false, false, 0, true, 0, SIGINT},
  };
  const std::string kept = "earlier output\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    const std::string a = dir.file("a.dat", test::data_file_with_records(40000));
    const std::string prev_name =
        c.name_length ? std::string(c.name_length - 4, 'n') + ".csv" : "prev.csv";
    const std::string prev = dir.file(prev_name, kept);
    ASSERT_EQ(::chmod(prev.c_str(), 0640), 0);
    std::string out = prev;
    if (c.through_link) {
      out = dir / "link.csv";
      fs::create_symlink("prev.csv", out);
    }
    Launch l;
    l.argv = {VEMO_CONVERT, "-o", out};
    if (c.signal_after_rename) {
      l.env = {"LD_PRELOAD=" READ_FAULT_SHIM,
               "VEMO_SIGNAL_AFTER_RENAME=" + std::to_string(c.signal_after_rename)};
    }
    if (c.missing_input) {
      l.argv.push_back(dir / "typo.dat");
    } else {
      // Enough input that the run is still going when the signal comes.
      for (int i = 0; i < (c.signal_number ? 60 : 1); ++i) l.argv.push_back(a);
    }
    if (c.signal_number) {
      l.meanwhile = [&](pid_t pid) {
        // Wait for the temporary file, so that the run is writing when it is stopped.
        for (int i = 0; i < 2000 && strays(dir, {"a.dat", prev_name}).empty(); ++i) {
          ::usleep(1000);
        }
        ::kill(pid, c.signal_number);
      };
    }

    const Outcome o = faults::run(l);

    EXPECT_EQ(o.status, c.status);
    // After a signal, a summary is printed only when the output was replaced.
    if (c.signal_number || c.signal_after_rename) {
      EXPECT_EQ(has_summary(o), c.replaced);
    }
    EXPECT_TRUE(test::read_file(prev) == (c.replaced ? clean_output({a}) : kept));
    struct stat st {};
    ASSERT_EQ(::stat(prev.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(fs::is_symlink(out), c.through_link);
    EXPECT_EQ(strays(dir, {"a.dat", prev_name, "link.csv"}), std::vector<std::string>{});
  }
}

TEST(CliOutputReplacement, WritableOutputInAFolderThatTakesNoNewFileIsWrittenInPlace) {
  // As in the read-only output case: root may create files anywhere, so this runs as "nobody".
  const auto user = faults::nobody();
  const bool root = ::geteuid() == 0;
  if (root && !user) GTEST_SKIP() << "running as root and there is no user \"nobody\" to become";
  const ScratchDir dir;
  const std::string a = input_open_to_all(dir);
  fs::create_directory(dir / "locked");
  const std::string out = dir.file("locked/out.csv", "earlier output\r\n");
  for (const std::string& p : {out, dir / "locked"}) {
    if (root) {
      ASSERT_EQ(::chown(p.c_str(), user->uid, user->gid), 0);
    }
  }
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);

  Launch l;
  l.argv = {VEMO_CONVERT, "-o", out, a};
  if (root) l.run_as = user;
  const Outcome o = faults::run(l);

  if (o.status == 125) GTEST_SKIP() << "privileges could not be dropped to \"nobody\"";
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, summary(40, 1));
  EXPECT_EQ(test::read_file(out), clean_output({a}));
  fs::permissions(dir / "locked", fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "locked"), fs::directory_iterator()), 1);
}

TEST(CliOutputReplacement, OutputsARenameWouldChangeOrCannotReplaceAreKeptOrWrittenInPlace) {
  const auto user = faults::nobody();
  if (::geteuid() != 0 || !user) GTEST_SKIP() << "needs root and the user \"nobody\"";
  constexpr uid_t kOwner = 4242;
  constexpr gid_t kGroup = 4343;
  struct Case {
    const char* what;
    mode_t folder_mode;
    mode_t file_mode;
    bool as_group_member;  // run as "nobody" in the file's group; false: as root
    bool as_stranger;      // run as "nobody" outside it
    bool hard_link;
    bool bind_mount;
    bool in_place;
  };
  const Case cases[] = {
      {"group-shared file of another user", 0777, 0660, true, false, false, false, false},
      {"neither owner nor group can be kept", 0777, 0666, false, true, false, false, true},
      {"another user's file in a sticky folder", 01777, 0660, true, false, false, false, true},
      {"a second hard link", 0755, 0644, false, false, true, false, true},
      {"a file mounted over the output", 0755, 0644, false, false, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    const std::string a = input_open_to_all(dir);
    const std::string folder = dir / "out";
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(folder.c_str(), c.folder_mode), 0);
    const std::string out = dir.file("out/out.csv", "earlier output\r\n");
    ASSERT_EQ(::chown(out.c_str(), kOwner, kGroup), 0);
    ASSERT_EQ(::chmod(out.c_str(), c.file_mode), 0);
    std::string seen = out;  // where the new lines must be read
    if (c.hard_link) {
      seen = dir / "link.csv";
      ASSERT_EQ(::link(out.c_str(), seen.c_str()), 0);
    }
    if (c.bind_mount) {
      seen = dir.file("volume.csv", "earlier output\r\n");
      ASSERT_EQ(::chown(seen.c_str(), kOwner, kGroup), 0);
      ASSERT_EQ(::chmod(seen.c_str(), c.file_mode), 0);
      if (::mount(seen.c_str(), out.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        continue;  // no mounts here: untested
      }
    }
    struct stat before {};
    ASSERT_EQ(::stat(out.c_str(), &before), 0);
    Launch l;
    l.argv = {VEMO_CONVERT, "-o", out, a};
    if (c.as_group_member || c.as_stranger) l.run_as = user;
    if (c.as_group_member) l.run_as_groups = {kGroup};

    const Outcome o = faults::run(l);

    struct stat after {};
    EXPECT_EQ(::stat(out.c_str(), &after), 0);
    if (c.bind_mount) ::umount(out.c_str());
    if (o.status == 125) continue;  // privileges could not be dropped
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(test::read_file(seen) == clean_output({a}));
    EXPECT_EQ(after.st_ino == before.st_ino, c.in_place);
    EXPECT_EQ(after.st_gid, kGroup);
    EXPECT_EQ(after.st_mode & 07777, c.file_mode);
  }
}

// --- The inputs ---

TEST(CliInputFaults, InputsThatAreNotDataFilesAreSkippedWithoutBlocking) {
  const std::string whole = test::data_file_with_records(100);
  struct Case {
    const char* what;
    std::function<std::string(const ScratchDir&)> make;  // returns the input path
    std::function<std::string(const std::string&)> err;
  };
  const auto unreadable = [](const char* reason) {
    return [reason](const std::string& p) { return cannot_read(p, reason); };
  };
  const auto file = [](const char* name, std::string bytes) {
    return [name, bytes](const ScratchDir& d) { return d.file(name, bytes); };
  };
  const Case cases[] = {
      {"vanished", [](const ScratchDir& d) { return d / "gone.dat"; },
       unreadable("No such file or directory")},
      {"folder",
       [](const ScratchDir& d) {
         fs::create_directory(d / "folder.dat");
         return d / "folder.dat";
       },
       unreadable("Is a directory")},
      {"FIFO",
       [](const ScratchDir& d) {
         EXPECT_EQ(::mkfifo((d / "pipe.dat").c_str(), 0644), 0);
         return d / "pipe.dat";
       },
       unreadable("not a regular file")},
      {"/dev/zero", [](const ScratchDir&) { return "/dev/zero"; },
       unreadable("not a regular file")},
      {"/dev/urandom", [](const ScratchDir&) { return "/dev/urandom"; },
       unreadable("not a regular file")},
      {"/dev/null", [](const ScratchDir&) { return "/dev/null"; },
       unreadable("not a regular file")},
      {"symbolic link loop",
       [](const ScratchDir& d) {
         fs::create_symlink("loop2.dat", d / "loop1.dat");
         fs::create_symlink("loop1.dat", d / "loop2.dat");
         return d / "loop1.dat";
       },
       unreadable("Too many levels of symbolic links")},
      {"empty file", file("empty.dat", ""), not_data_file},
      {"truncated to 3 bytes", file("cut3.dat", whole.substr(0, 3)), not_data_file},
      {"truncated to 100 bytes", file("cut100.dat", whole.substr(0, 100)), not_data_file},
      {"truncated after one block", file("cut2051.dat", whole.substr(0, 2051)), not_data_file},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    const std::string a = dir.file("a.dat", test::data_file_with_records(20));
    const std::string b = dir.file("b.dat", test::data_file_with_records(30));
    const std::string bad = c.make(dir);

    // Skipped: the others converted, the file counted, exit 1.
    Outcome o = convert({"-o", "-", a, bad, b});
    EXPECT_FALSE(o.timed_out);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, c.err(bad) + summary(50, 3));
    EXPECT_EQ(o.out, clean_output({a, b}));

    // Stopped there: what came before is kept, no summary.
    o = convert({"--stop-on-invalid", "-o", dir / "out.csv", a, bad, b});
    EXPECT_FALSE(o.timed_out);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, c.err(bad));
    EXPECT_EQ(test::read_file(dir / "out.csv"), clean_output({a}));
  }
}

TEST(CliInputFaults, InputTheUserMayNotReadIsSkipped) {
  // As in the read-only output case: root reads everything, so the command runs as "nobody".
  const auto user = faults::nobody();
  const bool root = ::geteuid() == 0;
  if (root && !user) GTEST_SKIP() << "running as root and there is no user \"nobody\" to become";
  const ScratchDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const std::string a = dir.file("a.dat", test::data_file_with_records(40));
  const std::string locked = dir.file("locked.dat", test::data_file_with_records(30));
  fs::permissions(locked, fs::perms::none);
  Launch l;
  l.argv = {VEMO_CONVERT, "-o", dir / "out.csv", a, locked};
  if (root) l.run_as = user;

  const Outcome o = faults::run(l);

  if (o.status == 125) GTEST_SKIP() << "privileges could not be dropped to \"nobody\"";
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, cannot_read(locked, "Permission denied") + summary(40, 2));
  EXPECT_EQ(test::read_file(dir / "out.csv"), clean_output({a}));
}

TEST(CliInputFaults, ReadErrorIsReportedAsUnreadable) {
  // /proc/self/mem is a regular file whose read at offset 0 fails with EIO, as a damaged disk's.
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(20));
  const Outcome o = convert({"-o", "-", a, "/proc/self/mem"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, clean_output({a}));
  EXPECT_EQ(o.err, cannot_read("/proc/self/mem", "Input/output error") + summary(20, 2));
}

// --- Names ---

TEST(CliNames, OddFileNamesConvertAndAreReportedWhole) {
  const std::vector<std::string> names = {
      "with blank.dat",
      "  blanks  ",
      "single ' quote.dat",
      "double \" quote.dat",
      "back\\slash.dat",
      "-leading-dash.dat",
      "-o",
      "--output=x.dat",
      "--",
      "-",
      "caf\xc3\xa9 \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac.dat",
      "not utf-8 \xff\xfe\x80.dat",
      "$(touch injected) `touch injected` ${HOME}.dat",
      "a;b|c&d>e<f*g?h[i]!j~k#l%m.dat",
      "tab\tand\nnewline.dat",
  };
  const ScratchDir dir;
  std::vector<std::string> paths;
  int n = 0;
  for (const std::string& name : names) {
    paths.push_back(dir.file(name, test::data_file_with_records(10 + n++)));
  }
  const std::string missing = "-gone 'file' $(touch injected).dat";
  const int records = n * 10 + n * (n - 1) / 2;

  for (const std::string& out_name :
       {std::string("-out 'put' $(x) \xc3\xa9.csv"), std::string("--output=also odd.csv")}) {
    SCOPED_TRACE(out_name);
    // Relative names, as typed in the folder: those with a leading dash come after "--".
    std::vector<std::string> args = {"-o", out_name, "--"};
    args.insert(args.end(), names.begin(), names.end());
    args.push_back(missing);

    const Outcome o = convert(args, dir.path());

    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, cannot_read(missing, "No such file or directory") +
                         summary(records, static_cast<int>(names.size()) + 1));
    EXPECT_EQ(test::read_file(dir / out_name), clean_output(paths));
  }

  // The same names given in full after the output option's "=" form, without "--".
  std::vector<std::string> args = {"--output=" + (dir / "full.csv")};
  args.insert(args.end(), paths.begin(), paths.end());
  const Outcome o = convert(args);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, summary(records, static_cast<int>(names.size())));
  EXPECT_EQ(test::read_file(dir / "full.csv"), clean_output(paths));

  EXPECT_FALSE(fs::exists(dir / "injected"));
  EXPECT_FALSE(fs::exists("injected"));
}

// --- Standard streams ---

TEST(CliStreams, ClosedStandardOutputIsAnOutputFailureOnlyWhenItIsTheOutput) {
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(40));
  struct Case {
    std::string output;
    int status;
    std::string err;
  } cases[] = {
      {"-", 2, line("Cannot create the output file -: standard output is closed")},
      // Paths that lead to the slot lead to what holds it, not to the output the user meant.
      {"/dev/stdout", 2,
       line("Cannot create the output file /dev/stdout: standard output is closed")},
      {"/dev/fd/1", 2, line("Cannot create the output file /dev/fd/1: standard output is closed")},
      {dir / "out.csv", 0, summary(40, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    Launch l;
    l.argv = {VEMO_CONVERT, "-o", c.output, a};
    l.close_stdout = true;
    const Outcome o = faults::run(l);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, c.err);
  }
  EXPECT_EQ(test::read_file(dir / "out.csv"), clean_output({a}));
}

TEST(CliStreams, ClosedStandardErrorNeverPutsMessagesIntoTheOutput) {
  // Started with standard error closed (2>&-), the output file is given descriptor 2: what the
  // command prints as messages must not end up among the lines.
  const ScratchDir dir;
  const std::string bad = dir.file("bad.dat", "not a data file");
  const std::string a = dir.file("a.dat", test::data_file_with_records(40));
  Launch l;
  l.argv = {VEMO_CONVERT, "-o", dir / "out.csv", bad, a, dir / "gone.dat"};
  l.close_stderr = true;

  const Outcome o = faults::run(l);

  EXPECT_EQ(o.status, 1);
  const std::string out = test::read_file(dir / "out.csv");
  EXPECT_EQ(out, clean_output({a}));
}

// --- Lists and standard input ---

TEST(CliLists, ListsAndStandardInputAreReadWholeHoweverTheyArrive) {
  const ScratchDir dir;
  const std::string a = dir.file("a.dat", test::data_file_with_records(40));
  const std::string b = dir.file("b.dat", test::data_file_with_records(30));
  const std::string list = dir.file("list", b + "\n");
  const std::string fifo = dir / "list.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The writer of the FIFO comes after the run has started, as a producer in a pipeline may.
  const auto write_fifo_later = [&](pid_t) {
    ::usleep(300000);
    for (int tries = 0; tries < 200; ++tries) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        EXPECT_EQ(::write(fd, (b + "\n").data(), b.size() + 1), static_cast<ssize_t>(b.size() + 1));
        ::close(fd);
        return;
      }
      ::usleep(10000);  // no reader yet
    }
  };
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string stdin_path;
    std::function<void(pid_t)> meanwhile;
  } cases[] = {
      {"a FIFO list", {"--files-from", fifo}, "", write_fifo_later},
      {"a list on non-blocking standard input", {"--files-from", "-"}, list, nullptr},
      {"a data file on non-blocking standard input", {"-"}, b, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Launch l;
    l.argv = {VEMO_CONVERT, "-o", "-", a};
    l.argv.insert(l.argv.end(), c.args.begin(), c.args.end());
    l.stdin_path = c.stdin_path;
    l.stdin_through_pipe = l.stdin_nonblocking = !c.stdin_path.empty();
    l.meanwhile = c.meanwhile;
    l.time_limit = std::chrono::seconds(5);

    const Outcome o = faults::run(l);

    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.out == clean_output({a, b})) << count_lines(o.out) << " lines";
  }
}

// --- Standard output closed early ---

TEST(CliPipe, ReaderThatStopsEarlyEndsTheRunQuietly) {
  // `vemo-convert -o - FILE... | head -1` over far more output than head takes: the command
  // must stop at once, not flood standard error or convert the rest.
  const ScratchDir dir;
  const std::string big = dir.file("big.dat", test::data_file_with_records(4000));
  const std::string quoted_big = quoted(big);
  std::string inputs;
  for (int i = 0; i < 200; ++i) inputs.append(" ").append(quoted_big);
  const std::string first_line = [&] {
    const std::string all = clean_output({big});
    return all.substr(0, all.find('\n') + 1);
  }();

  for (const bool sigpipe_ignored : {false, true}) {
    SCOPED_TRACE(sigpipe_ignored ? "SIGPIPE ignored" : "SIGPIPE default");
    const std::string err = dir / "err", status = dir / "status";
    Launch l;
    l.argv = {"/bin/sh", "-c",
              "{ " + quoted(VEMO_CONVERT) + " -o -" + inputs + " 2>" + quoted(err) + "; echo $? >" +
                  quoted(status) + "; } | head -n 1"};
    l.ignore_sigpipe = sigpipe_ignored;
    l.time_limit = std::chrono::seconds(30);

    const Outcome o = faults::run(l);

    EXPECT_FALSE(o.timed_out);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, first_line);
    const int vemo_status = std::stoi(test::read_file(status));
    if (sigpipe_ignored) {
      // The write fails with EPIPE: one line, the output failure's exit status.
      EXPECT_EQ(test::read_file(err), line("Could not write the output file -: Broken pipe"));
      EXPECT_EQ(vemo_status, 2);
    } else {
      // Ended by SIGPIPE, as a filter in a pipeline is.
      EXPECT_EQ(test::read_file(err), "");
      EXPECT_EQ(vemo_status, 128 + SIGPIPE);
    }
  }
}

// --- Many files ---

// Counts the open file descriptors whenever a file is being processed.
class DescriptorCounter : public test::RecordingObserver {
 public:
  int most = 0;
  void set_file_status(const FileStatus& status) override {
    most = std::max(most, faults::open_descriptor_count());
    RecordingObserver::set_file_status(status);
  }
};

TEST(ManyFiles, TenThousandFilesKeepTheOpenDescriptorsFlat) {
  // Of 10,000 files, 200 are valid (6 records each) and the rest are every kind the run turns
  // away after or without opening: tiny files, folders, FIFOs and missing names.
  constexpr int kFiles = 10000;
  const ScratchDir dir;
  const std::string valid = test::data_file_with_records(6);
  std::vector<std::string> names;
  int valid_count = 0;
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%05d.dat", i);
    names.push_back(name);
    const std::string path = dir / name;
    if (i % 50 == 0) {
      dir.file(name, valid);
      ++valid_count;
    } else if (i % 97 == 1) {
      fs::create_directory(path);
    } else if (i % 101 == 2) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    } else if (i % 103 != 3) {
      dir.file(name, "x");
    }
  }
  const int records = valid_count * 6;
  const std::string expected_summary =
      std::to_string(records) + " Records Written from " + std::to_string(kFiles) + " Files";

  // The run: no descriptor left behind, never more than the output and one input open.
  test::ScriptedSelection selection;
  selection.folder = dir.path();
  selection.names = names;
  selection.chosen.assign(names.size(), true);
  selection.output = dir / "run.csv";
  DescriptorCounter observer;
  observer.record_progress = false;
  RunState state;
  const int before = faults::open_descriptor_count();
  const RunResult result = extract(state, selection, observer);
  const int after = faults::open_descriptor_count();

  EXPECT_EQ(result.end, RunEnd::kCompleted);
  EXPECT_EQ(result.files, kFiles);
  EXPECT_EQ(result.skipped_files, kFiles - valid_count);
  ASSERT_EQ(observer.messages.size(), 1u);
  EXPECT_EQ(observer.messages[0].text, expected_summary);
  EXPECT_EQ(after, before);
  EXPECT_LE(observer.most, before + 2);
  EXPECT_EQ(count_lines(test::read_file(selection.output)), records);

  // The command with 16 descriptors at most: one kept per file would run out after a dozen.
  Launch l;
  l.argv = {VEMO_CONVERT, "-o", "cli.csv"};
  l.argv.insert(l.argv.end(), names.begin(), names.end());
  l.cwd = dir.path();
  l.max_open_files = 16;
  l.time_limit = std::chrono::seconds(60);
  const Outcome o = faults::run(l);
  EXPECT_FALSE(o.timed_out);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.find("Too many open files"), std::string::npos);
  EXPECT_EQ(count_lines(o.err), kFiles - valid_count + 1);
  EXPECT_EQ(o.err.substr(o.err.size() - expected_summary.size() - 1), expected_summary + "\n");
  EXPECT_EQ(test::read_file(dir / "cli.csv"), test::read_file(selection.output));
}

}  // namespace
}  // namespace vemo
