// Info-ZIP packing. zip writes into a private staging folder next to the
// destination (same file system, so the final rename is atomic) and never sees
// the destination itself: it would update an existing archive in place and add
// ".zip" to a name without extension. The rename is the process's commit: a
// stop that comes first keeps the old file, one that comes later is refused.
#include "xlsx/zip_packer.h"

#include "TK/tk_log.h"
#include "TK/tk_module.h"
#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/stop_gate.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace XlsxBook {

namespace {

std::string join_arguments(const std::vector<std::string>& args)
{
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty())
      line += ' ';
    line += arg;
  }
  return line;
}

// zip's own complaint, on one line, for the user's message.
std::string first_lines(const std::string& text)
{
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ')
        out += ' ';
    } else {
      out += c;
    }
    if (out.size() >= 300)
      break;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

// Info-ZIP's exit statuses that say why the package is missing. A write or
// create failure on a full disk is the common case; zip itself reports the
// system's text only sometimes, so the user is told what the status means.
std::string zip_failure(const plat::child_result& run, const std::string& said)
{
  std::string text;
  // The causes a user can act on, when zip's words name one.
  std::string cause;
  for (const int error : {ENOSPC, EDQUOT, EFBIG}) {
    if (said.find(plat::error_text(error)) != std::string::npos) {
      cause = plat::error_text(error == EDQUOT ? ENOSPC : error);
      break;
    }
  }
  if (run.started && !run.stopped && run.signal == SIGXFSZ) {
    // A zip that does not ignore the signal dies of the file-size limit.
    text = "the zip program could not write the package: " + plat::error_text(EFBIG);
  } else if (run.started && !run.stopped && run.signal == 0) {
    switch (run.exit_code) {
    case 14:
      text = !cause.empty() ? "the zip program could not write the package: " + cause
                            : "the zip program could not write the package (exit code 14: a write "
                              "error, most often " + plat::error_text(ENOSPC) + ")";
      break;
    case 10:
    case 15:
      text = !cause.empty() ? "the zip program could not create the package: " + cause
                            : base::sprintf("the zip program could not create the package (exit code %d)",
                                            run.exit_code);
      break;
    default:
      break;
    }
  }
  if (text.empty())
    text = "the zip program failed: " + plat::describe_child_failure(run);
  if (!said.empty())
    text += " (" + said + ")";
  return text;
}


// zip's package in its staging folder becomes the destination: it takes the
// replaced file's mode, and the rename claims the stop gate first.
PackResult PutInPlace(const std::string& packed, const std::string& destination)
{
  PackResult result;
  std::error_code exists_error;
  if (!std::filesystem::is_regular_file(packed, exists_error)) {
    result.error = "the zip program wrote no package";
    return result;
  }
  // A replaced workbook keeps who may read it; a new one gets what a new file gets.
  if (!plat::take_mode_of_replaced(packed, destination)) {
    const int error = errno;
    result.error = base::sprintf("cannot set the permissions of the package: %s", plat::error_text(error));
    return result;
  }
  // A stop that came after zip ended still keeps the old destination; from
  // here on a stop is refused and the package is put in place.
  if (!plat::stop_gate::begin_commit()) {
    result.stopped = true;
    result.error = "the zip program was stopped";
    return result;
  }
  if (std::rename(packed.c_str(), destination.c_str()) != 0) {
    const int error = errno;
    result.error = base::sprintf("cannot replace '%s': %s", destination, plat::error_text(error));
    return result;
  }
  result.ok = true;
  return result;
}

// The arguments every zip run takes, before the package's path.
// -D: no folder entries; -X: no owner ids; -nw: names are not patterns.
// -2: zip's one-core deflate sets the pace of a large conversion, whose rows
// it packs while they are read; on sheet XML level 2 takes about two thirds of
// level 3's time for a package about 4% larger (level 3 itself being within a
// tenth of the default level's size).
const std::vector<std::string> zip_options = {"-q", "-2", "-D", "-X", "-nw"};
// zip takes default options from ZIP and ZIPOPT; none of them may change what
// goes into the package.
const std::vector<std::string> zip_environment_unset = {"ZIP", "ZIPOPT"};

} // namespace

std::string FindZipProgram()
{
  const std::string beside = tk_get_module_dir<std::string>() + "zip";
  if (plat::is_executable_file(beside))
    return beside;
  return plat::find_in_path("zip");
}

std::string RemoveFolder(plat::private_temp_folder& folder)
{
  const std::string path = folder.path();
  if (folder.remove())
    return {};
  const int cause = errno;
  std::string left =
      base::sprintf("the folder '%s' could not be removed: %s", path, plat::error_text(cause));
  tk_log_message(1, "%s", left);
  return left;
}

namespace {

PackResult PackInto(plat::private_temp_folder& staging, const std::string& folder,
                    const std::string& destination, const std::string& zip_program)
{
  PackResult result;
  const std::string program = zip_program.empty() ? FindZipProgram() : zip_program;
  if (program.empty()) {
    result.error = "the zip program was not found beside the program or on PATH "
                   "(install the Debian package 'zip')";
    return result;
  }

  const std::filesystem::path target(destination);
  if (!target.is_absolute() || !target.has_filename()) {
    result.error = "the destination is not an absolute file path";
    return result;
  }
  // Removed with whatever zip left in it on every way out; locked while it is
  // in use, so that a later run can remove it when this process is killed.
  if (!staging.create(target.parent_path().string(), pack_staging_prefix, true)) {
    const int error = errno;
    result.error = base::sprintf("cannot create a file in the folder '%s': %s",
                                 target.parent_path().string(), plat::error_text(error));
    return result;
  }
  const std::string packed = staging.path() + "/" + packed_name;

  // "[Content_Types].xml" first, as readers that sniff the format expect.
  std::vector<std::string> args = zip_options;
  args.insert(args.end(), {"-r", packed, "[Content_Types].xml", "."});
  tk_log_message(2, "zip=%s, cmdline=%s, path=%s", program, join_arguments(args), folder);
  const plat::child_result run = plat::run_program(program, args, folder, zip_environment_unset);
  tk_log_message(2, "Exit code: %d", run.started ? run.exit_code : -1);

  if (run.stopped) {
    // Whatever zip managed goes with the staging folder.
    result.stopped = true;
    result.error = "the zip program was stopped";
    return result;
  }
  if (!run.succeeded()) {
    result.error = zip_failure(run, first_lines(run.error_output));
    return result;
  }
  return PutInPlace(packed, destination);
}

} // namespace

PackResult PackFolder(const std::string& folder, const std::string& destination,
                      const std::string& zip_program)
{
  plat::private_temp_folder staging;
  PackResult result = PackInto(staging, folder, destination, zip_program);
  const std::string left = RemoveFolder(staging);
  if (!left.empty() && !result.ok)
    result.error += "; " + left;
  return result;
}

namespace {

// The pipes sit in a folder of their own, so that zip's package and its
// output never share a name with a part.
constexpr char stream_parts_folder[] = "/parts";
constexpr char stream_zip_output[] = "/zip.out";
// A pipe takes this much before a writer waits on zip: a megabyte smooths the
// two sides' pace (the system may grant less, which only costs more switches).
constexpr int stream_pipe_size = 1 << 20;

// A reader gone from a pipe must end the write with EPIPE, which names zip in
// the report, not the process with SIGPIPE.
void ignore_broken_pipes()
{
  struct sigaction current {};
  if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
  }
}

} // namespace

bool ZipStream::Start(const std::string& destination, std::vector<std::string> entries,
                      std::string& error, const std::string& zip_program)
{
  Abandon();
  left_behind_.clear();
  const std::string program = zip_program.empty() ? FindZipProgram() : zip_program;
  if (program.empty()) {
    error = "the zip program was not found beside the program or on PATH "
            "(install the Debian package 'zip')";
    return false;
  }
  const std::filesystem::path target(destination);
  if (!target.is_absolute() || !target.has_filename() || entries.empty()) {
    error = "the destination is not an absolute file path";
    return false;
  }
  if (!staging_.create(target.parent_path().string(), pack_staging_prefix, true)) {
    const int cause = errno;
    error = base::sprintf("cannot create a file in the folder '%s': %s",
                          target.parent_path().string(), plat::error_text(cause));
    return false;
  }
  const std::string parts = staging_.path() + stream_parts_folder;
  for (const std::string& name : entries) {
    const std::string path = parts + "/" + name;
    const std::size_t slash = path.find_last_of('/');
    // zip stores each entry with its pipe's mode: a part's file's mode (0666
    // less the umask), as the folder packing stores it. The private staging
    // folder keeps the pipes from other users meanwhile.
    if (!plat::make_folders(path.substr(0, slash), 0700) || ::mkfifo(path.c_str(), 0666) != 0) {
      const int cause = errno;
      error = base::sprintf("cannot create the pipe '%s': %s", path, plat::error_text(cause));
      staging_.remove();
      return false;
    }
  }
  ignore_broken_pipes();
  // -FI: the named pipes are read as files, not stored as pipes.
  std::vector<std::string> args = zip_options;
  args.insert(args.end(), {"-FI", staging_.path() + "/" + packed_name});
  args.insert(args.end(), entries.begin(), entries.end());
  tk_log_message(2, "zip=%s, cmdline=%s, path=%s", program, join_arguments(args), parts);
  if (!zip_.start(program, args, parts, staging_.path() + stream_zip_output,
                  zip_environment_unset)) {
    error = zip_.result().stopped ? "the zip program was stopped"
                                  : zip_failure(zip_.result(), {});
    staging_.remove();
    return false;
  }
  entries_ = std::move(entries);
  next_ = 0;
  destination_ = destination;
  failure_.clear();
  pipe_failed_ = false;
  active_ = true;
  return true;
}

plat::unique_fd ZipStream::OpenNext(std::string& error)
{
  if (!active_ || next_ >= entries_.size()) {
    error = "the zip program takes no further part";
    return {};
  }
  const std::string path = staging_.path() + stream_parts_folder + "/" + entries_[next_];
  // A non-blocking open succeeds only once zip has the pipe open for reading;
  // until then the open is retried for as long as zip runs. The pause stays
  // short: zip usually opens the pipe within a few milliseconds (the previous
  // entry's last bytes), and a run of many small sheets waits once per sheet.
  long pause_ns = 10'000;
  for (;;) {
    plat::unique_fd pipe(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (pipe.valid()) {
      const int flags = ::fcntl(pipe.get(), F_GETFL);
      if (flags < 0 || ::fcntl(pipe.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) {
        error = PipeFailure(errno);
        return {};
      }
      ::fcntl(pipe.get(), F_SETPIPE_SZ, stream_pipe_size);
      ++next_;
      return pipe;
    }
    if (errno == EINTR)
      continue;
    if (errno != ENXIO) {
      // No descriptor left, the pipe gone: zip waits on this very pipe.
      error = PipeFailure(errno);
      return {};
    }
    if (!zip_.running() || plat::stop_gate::stopped()) {
      error = Failure();
      return {};
    }
    const timespec pause{0, pause_ns};
    ::nanosleep(&pause, nullptr);
    pause_ns = std::min(pause_ns * 2, 500'000L);
  }
}

std::string ZipStream::PipeFailure(int cause)
{
  failure_ = base::sprintf("cannot open the pipe to the zip program: %s", plat::error_text(cause));
  tk_log_message(2, "%s", failure_);
  pipe_failed_ = true;
  Abandon();
  return failure_;
}

std::string ZipStream::Failure()
{
  if (!failure_.empty())
    return failure_;
  if (plat::stop_gate::stopped()) {
    failure_ = "the zip program was stopped";
  } else {
    // A pipe's reader is gone only when zip has ended or is ending.
    const plat::child_result& run = zip_.wait();
    if (run.stopped)
      failure_ = "the zip program was stopped";
    else if (run.succeeded())
      failure_ = "the zip program ended before the package was complete";
    else
      failure_ = zip_failure(run, first_lines(run.error_output));
  }
  Abandon();
  return failure_;
}

PackResult ZipStream::Finish()
{
  PackResult result;
  if (!active_ || next_ != entries_.size()) {
    Abandon();
    result.error = "the package was not complete when the zip program was to finish it";
    return result;
  }
  const plat::child_result& run = zip_.wait();
  tk_log_message(2, "Exit code: %d", run.started ? run.exit_code : -1);
  if (run.stopped) {
    Abandon();
    result.stopped = true;
    result.error = "the zip program was stopped";
    return result;
  }
  if (!run.succeeded()) {
    result.error = zip_failure(run, first_lines(run.error_output));
    Abandon();
    return result;
  }
  result = PutInPlace(staging_.path() + "/" + packed_name, destination_);
  Abandon();
  return result;
}

void ZipStream::Abandon() noexcept
{
  zip_.end();
  if (std::string left = RemoveFolder(staging_); !left.empty())
    left_behind_ = std::move(left);
  active_ = false;
}

} // namespace XlsxBook
