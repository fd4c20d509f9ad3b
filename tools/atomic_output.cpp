#include "atomic_output.h"

#include "tool_error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel_tool {

namespace {

// The temporaries alive now, for the signal handlers: fixed slots of
// pointers to names owned by their AtomicOutput, set and cleared by the
// main thread only, read by the handler (lock-free atomics are safe there).
constexpr int kSlots = 4096;
struct Slot {
  std::atomic<const char *> temp{nullptr};
  std::atomic<const char *> target{nullptr};
};
Slot slots[kSlots];
static_assert(std::atomic<const char *>::is_always_lock_free, "the handler reads these");

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

int take_slot(const char *temp, const char *target) {
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].temp.load() != nullptr) continue;
    slots[i].target.store(target);
    slots[i].temp.store(temp);
    return i;
  }
  return -1;
}

void release_slot(int &slot) {
  if (slot >= 0) slots[slot].temp.store(nullptr);
  slot = -1;
}

void write_stderr(const char *text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  while (n > 0) {
    const ssize_t k = ::write(STDERR_FILENO, text, n);
    if (k <= 0) return;
    text += k;
    n -= static_cast<size_t>(k);
  }
}

extern "C" void remove_temporaries_and_die(int signal_number) {
  const int saved = errno;
  const char *named = nullptr;
  for (Slot &slot : slots) {
    const char *temp = slot.temp.load();
    if (temp == nullptr) continue;
    ::unlink(temp);
    if (named == nullptr) named = slot.target.load();
  }
  if (named != nullptr) {
    write_stderr("zel: ");
    write_stderr(named);
    write_stderr(
        signal_number == SIGINT    ? ": interrupted (SIGINT); the unfinished file was removed\n"
        : signal_number == SIGTERM ? ": terminated (SIGTERM); the unfinished file was removed\n"
                                   : ": hung up (SIGHUP); the unfinished file was removed\n");
  }
  errno = saved;
  // The signal stays blocked until the handler returns; then the default
  // action ends the process, so the parent sees the signal.
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Blocks the cleanup signals for its lifetime: a temporary is created and
// registered (or renamed and unregistered) as one step.
class SignalsBlocked {
public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalsBlocked(const SignalsBlocked &) = delete;
  SignalsBlocked &operator=(const SignalsBlocked &) = delete;

private:
  sigset_t old_;
};

std::string error_text(int code) { return std::strerror(code); }

std::string random_suffix() {
  static std::mt19937_64 generator{std::random_device{}() ^ static_cast<uint64_t>(::getpid())};
  static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, 'x');
  for (char &c : s) c = digits[generator() % (sizeof digits - 1)];
  return s;
}

void sync_folder(const std::filesystem::path &folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd); // best effort: some file systems refuse
  ::close(fd);
}

} // namespace

AtomicOutput::AtomicOutput(std::string target) : target_(std::move(target)) {
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) fail(target_, error_text(EISDIR));
    // A file the user may not write stays as it is, as it would without
    // the temporary.
    if (::access(target_.c_str(), W_OK) != 0) fail(target_, error_text(errno));
  }
  const std::filesystem::path path(target_);
  // The name stays within the usual 255-byte limit for long targets.
  const std::string stem = path.filename().string().substr(0, 200);
  SignalsBlocked blocked;
  for (int attempt = 0;; ++attempt) {
    std::filesystem::path temp = path;
    temp.replace_filename("." + stem + "." + random_suffix() + ".tmp");
    temp_ = temp.string();
    const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      break;
    }
    if (errno != EEXIST || attempt == 100) fail(target_, "cannot create: " + error_text(errno));
  }
  slot_ = take_slot(temp_.c_str(), target_.c_str());
  if (slot_ < 0) {
    ::unlink(temp_.c_str());
    fail(target_, "too many files written at once");
  }
}

AtomicOutput::~AtomicOutput() {
  if (stream_) std::fclose(stream_);
  SignalsBlocked blocked;
  if (!committed_) ::unlink(temp_.c_str());
  release_slot(slot_);
}

std::FILE *AtomicOutput::stream() {
  if (!stream_) {
    stream_ = std::fopen(temp_.c_str(), "wb");
    if (!stream_) fail(target_, "cannot create: " + error_text(errno));
  }
  return stream_;
}

void AtomicOutput::write(const std::string &text) {
  std::FILE *out = stream();
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size())
    fail(target_, error_text(errno));
}

void AtomicOutput::finish() {
  if (finished_) return;
  if (stream_) {
    std::FILE *out = stream_;
    stream_ = nullptr;
    const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    const int flush_error = errno;
    const bool synced = flushed && ::fsync(::fileno(out)) == 0;
    const int sync_error = errno;
    const bool closed = std::fclose(out) == 0;
    if (!flushed) fail(target_, error_text(flush_error != 0 ? flush_error : EIO));
    if (!synced) fail(target_, error_text(sync_error));
    if (!closed) fail(target_, error_text(errno));
  } else {
    const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(target_, error_text(errno));
    const bool synced = ::fsync(fd) == 0;
    const int sync_error = errno;
    ::close(fd);
    if (!synced) fail(target_, error_text(sync_error));
  }
  finished_ = true;
}

void AtomicOutput::commit() {
  finish();
  // The new file keeps the permissions of the one it replaces.
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::chmod(temp_.c_str(), st.st_mode & 07777);
  {
    SignalsBlocked blocked;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(target_, error_text(errno));
    committed_ = true;
    release_slot(slot_);
  }
  sync_folder(std::filesystem::path(target_).parent_path());
}

void commit_all(std::vector<AtomicOutput *> outputs) {
  for (AtomicOutput *output : outputs) output->finish();
  for (AtomicOutput *output : outputs) output->commit();
}

void write_file_atomically(const std::string &target, const std::string &text) {
  AtomicOutput output(target);
  output.write(text);
  output.commit();
}

void install_output_signal_handlers() {
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temporaries_and_die;
  sigemptyset(&action.sa_mask);
  for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
  for (int s : kCleanupSignals) {
    struct sigaction old;
    // A signal the caller ignores (nohup, background jobs) stays ignored.
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}

void refuse_overwriting_inputs(const std::vector<std::string> &inputs,
                               const std::vector<std::string> &outputs) {
  for (const std::string &out : outputs) {
    struct stat o;
    if (::stat(out.c_str(), &o) != 0) continue; // not there: nothing to overwrite
    for (const std::string &in : inputs) {
      struct stat i;
      if (::stat(in.c_str(), &i) == 0 && i.st_dev == o.st_dev && i.st_ino == o.st_ino)
        fail(out, "the output would overwrite the input " + in);
    }
  }
}

} // namespace zel_tool
