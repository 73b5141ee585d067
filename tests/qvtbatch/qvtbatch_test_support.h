// What the end-to-end tests of qvtbatch share: the built program run as a child
// process (in a folder of the test's choosing, optionally as an unprivileged
// user) with its standard output, standard error and exit code captured, the
// test server's connection options, and the check of a workbook by openpyxl.
#pragma once

#include "SQL/sql_test_support.h"
#include "support/temp_dir.h"
#include "support/workbook_check.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <csignal>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QVTBATCH_PATH
#error "QVTBATCH_PATH must name the built qvtbatch program"
#endif

namespace qvtbatch_test {

struct run_result {
  std::string out;
  std::string err;
  int code = -1;  // the exit status as a shell sees it; -1 when killed
};

inline std::ostream& operator<<(std::ostream& os, const run_result& r)
{
  return os << "exit " << r.code << "\n--- stdout ---\n" << r.out << "--- stderr ---\n" << r.err;
}

// The user "nobody": root passes every permission check, so a test of a folder
// the program may not write runs the program as this user.
inline constexpr uid_t nobody_id = 65534;

// Runs the program with the arguments in the folder and waits for it. The
// environment is the test's, with the "NAME=value" entries of extra_env added.
// A file_size_limit (bytes, 0: none) caps every file the program writes, as
// `ulimit -f` does: the program starts with SIGXFSZ at its default action
// (whatever the test's own), so it must take the limit as a failed write itself.
// An open_files_limit (0: none) caps its descriptors, as `ulimit -n` does.
inline run_result run_qvtbatch(const std::vector<std::string>& args, const std::string& folder,
                               bool unprivileged = false,
                               const std::vector<std::string>& extra_env = {},
                               rlim_t file_size_limit = 0, rlim_t open_files_limit = 0)
{
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<std::string> owned;
  owned.push_back(QVTBATCH_PATH);
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : owned)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_owned(extra_env);
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& extra : extra_env)
      replaced = replaced || extra.compare(0, name.size(), name) == 0;
    if (!replaced)
      env_owned.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& e : env_owned)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0)
    throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (::chdir(folder.c_str()) != 0)
      ::_exit(126);
    if (unprivileged && ::getuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody_id) != 0 || ::setuid(nobody_id) != 0)
        ::_exit(126);
    }
    if (file_size_limit != 0) {
      const rlimit limit{file_size_limit, file_size_limit};
      if (::signal(SIGXFSZ, SIG_DFL) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        ::_exit(126);
    }
    if (open_files_limit != 0) {
      // The program gets the limit to itself: the test's descriptors go.
      const rlimit limit{open_files_limit, open_files_limit};
      if (::close_range(3, ~0U, 0) != 0 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0)
        ::_exit(126);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  run_result result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The connection options of the test server.
inline std::vector<std::string> server_options()
{
  const test_server_info& server = test_server();
  return {"--host=" + server.host, "--port=" + std::to_string(server.port), "--user=" + server.user,
          "--pswd=" + server.password};
}

// A profile that reads `database` on the test server: its entries are the
// lines of [Selected Tables], each "name=query" ending in CR LF.
inline std::string server_profile(const std::string& database, const std::string& entries)
{
  const test_server_info& server = test_server();
  return "[Generic settings]\r\nsrc=" + database + "\r\n[MySQL settings]\r\nhost=" + server.host +
         "\r\nport=" + std::to_string(server.port) + "\r\nuser=" + server.user + "\r\npassword=" +
         server.password + "\r\n[Selected Tables]\r\n" + entries;
}

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using workbook_check::cell;
using workbook_check::expected_sheet;
using workbook_check::grid;
using workbook_check::workbook_differences;

inline bool file_exists(const std::string& path)
{
  return std::filesystem::exists(path);
}

// A loopback port that nothing listens on.
inline unsigned closed_port()
{
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(s);
  return ntohs(address.sin_port);
}

// `count` copies of `piece`, for texts far longer than a cell.
inline std::string repeated(const std::string& piece, int count)
{
  std::string out;
  for (int i = 0; i < count; ++i)
    out += piece;
  return out;
}

inline const std::string smiley = "\xF0\x9F\x98\x80";  // two UTF-16 units

} // namespace qvtbatch_test

namespace qvtbatch_test {

// The database the conversions read: four tables of mixed types, one of them
// with a foreign key into another, one with leading blanks in its name and one
// with a non-ASCII name.
class cli_database {
public:
  cli_database() : db_(admin_, "_cli")
  {
    db_.run("CREATE TABLE people (id INT PRIMARY KEY, name VARCHAR(40), born DATE,"
            " score DECIMAL(6,2), photo BLOB NULL)");
    db_.run("INSERT INTO people VALUES (1, 'Zo\xC3\xAB M\xC3\xBCller', '1990-05-17', 12.50, 'img'),"
            " (2, '\xE6\x9D\x8E\xE9\x9B\xB7', '2001-12-31', NULL, NULL)");
    db_.run("CREATE TABLE orders (id INT PRIMARY KEY, person_id INT NOT NULL, placed DATETIME,"
            " total DOUBLE, FOREIGN KEY (person_id) REFERENCES people (id))");
    db_.run("INSERT INTO orders VALUES (10, 1, '2024-01-02 03:04:05', 19.99),"
            " (11, 2, '2024-02-29 23:59:59', 0.5)");
    db_.run("CREATE TABLE `  spaced` (a INT)");
    db_.run("INSERT INTO `  spaced` VALUES (7)");
    db_.run("CREATE TABLE `" + unicode_table + "` (v VARCHAR(10))");
    db_.run("INSERT INTO `" + unicode_table + "` VALUES ('\xC3\xA9\xE2\x82\xAC')");
  }

  const std::string& name() const { return db_.name(); }
  sql_admin& admin() { return admin_; }

  static inline const std::string unicode_table = "\xC3\x9Cn\xC3\xAF\x63\xC3\xB6\x64\xC3\xA9";

  static expected_sheet people_sheet(bool blob_to_text)
  {
    return {"people",
            {{"id", "name", "born", "score", "photo"},
             {1.0, "Zo\xC3\xAB M\xC3\xBCller", "1990-05-17", 12.5,
              blob_to_text ? "img" : "<Binary Field>"},
             {2.0, "\xE6\x9D\x8E\xE9\x9B\xB7", "2001-12-31", {}, {}}}};
  }
  static expected_sheet orders_sheet()
  {
    return {"orders",
            {{"id", "person_id", "placed", "total"},
             {10.0, 1.0, "2024-01-02 03:04:05", 19.99},
             {11.0, 2.0, "2024-02-29 23:59:59", 0.5}}};
  }
  static expected_sheet spaced_sheet() { return {"  spaced", {{"a"}, {7.0}}}; }
  static expected_sheet unicode_sheet() { return {unicode_table, {{"v"}, {"\xC3\xA9\xE2\x82\xAC"}}}; }

private:
  sql_admin admin_;
  scratch_database db_;
};

// A test with a folder of its own, the program's current directory.
class QvtbatchTest : public ::testing::Test {
protected:
  std::string file(const std::string& name) const { return folder_.file(name); }
  const std::string& dir() const { return dir_; }

  run_result run(const std::vector<std::string>& args, bool unprivileged = false,
                 const std::vector<std::string>& extra_env = {}) const
  {
    return run_qvtbatch(args, dir_, unprivileged, extra_env);
  }

private:
  temp_dir folder_;
  std::string dir_ = folder_.path().string();
};

} // namespace qvtbatch_test
