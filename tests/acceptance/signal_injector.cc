// Preloaded into the program under test, raises a signal at a chosen moment, so that a race
// between a signal and what the program is doing can be tested every time rather than by luck.
//
// SPELL_CHECKER_RAISE_AT names the moment as a chain of points, each after the one before it;
// the signal SPELL_CHECKER_RAISE_SIGNAL (a number; 0 for none, which only marks the moment) is
// raised, once, at the last. In place of a number, "terminal" has the program's process group
// take the terminal there, as a shell's fg of a job that runs does. The points:
//   wait      the line editor is about to wait for a key (before the call)
//   raw       the terminal has just been switched out of canonical input (after the call)
//   cooked    the terminal has just been switched into canonical input (after the call)
//   sleep     the program is about to sleep (waiting to be brought to the foreground)
//   list      the word list (a file named words.txt) is about to be opened
//   reply     a reply line is about to be written to standard output
//   ending    the farewell is about to be written to standard output
//   farewell  the farewell has just been written to standard output
//   continued the program's handler of SIGCONT has just returned (with the injector's log on)
// For example "reply,raw" is the moment the terminal goes raw for the line after the first reply.
// As it raises the signal it makes the file SPELL_CHECKER_RAISED, if that is set, so that a test
// can tell that the moment came.
//
// SPELL_CHECKER_REALLOC_LIMIT (a number of bytes), if set, makes realloc fail for larger sizes,
// as when memory runs out. SPELL_CHECKER_ALARM (a number of seconds), if set, leaves an alarm
// pending as the program starts, as one set before exec would be.
//
// SPELL_CHECKER_LIST_LOG names a file to which a line is added each time the word list is opened,
// so that a test can tell how many reads of the list answered its lines.
//
// SPELL_CHECKER_SIGNAL_LOG names a file to which a line is added each time a signal reaches one of
// the handlers that the program installs with sigaction: the signal's number and where the
// program's process group stood at that moment, 'f' owning the terminal, 'b' in the background,
// 'n' without job control on it (not the controlling terminal, or no terminal). So a test can
// tell that a signal landed, and landed where it meant it to. A line with 's' says that the
// program has raised a stop signal to take its default action, as its stop handler does: from
// then on a continuation cannot come before the stop (it would cancel the stop instead).
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Where in the chain the program is; the chain is read once, at the first point passed.
struct Chain {
  bool read = false;
  std::string points;  // what is left of the chain, as "point,point,..."
  int signal_number = 0;
  bool take_terminal = false;
};

Chain chain;

void passing(const char* point) {
  if (!chain.read) {
    chain.read = true;
    const char* points = std::getenv("SPELL_CHECKER_RAISE_AT");
    const char* signal_number = std::getenv("SPELL_CHECKER_RAISE_SIGNAL");
    if (points != nullptr && signal_number != nullptr) {
      chain.points = points;
      chain.signal_number = std::atoi(signal_number);
      chain.take_terminal = std::strcmp(signal_number, "terminal") == 0;
    }
  }
  if (chain.points.empty()) return;
  const std::size_t end = chain.points.find(',');
  if (chain.points.compare(0, end, point) != 0) return;
  chain.points.erase(0, end == std::string::npos ? end : end + 1);
  if (!chain.points.empty()) return;
  // Made first, for the signal may end the program there and then.
  if (const char* raised = std::getenv("SPELL_CHECKER_RAISED"))
    close(open(raised, O_CREAT | O_WRONLY, 0644));
  if (chain.take_terminal) {
    tcsetpgrp(STDIN_FILENO, getpgrp());
  } else if (chain.signal_number != 0) {
    raise(chain.signal_number);
  }
}

template <typename Function>
Function* real(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// Allocates nothing: it runs inside the program's signal handler too.
bool holds(const void* data, std::size_t size, const char* text) {
  return memmem(data, size, text, std::strlen(text)) != nullptr;
}

}  // namespace

extern "C" int pselect(int count, fd_set* readable, fd_set* writable, fd_set* failed,
                       const timespec* timeout, const sigset_t* mask) {
  static auto* const call = real<decltype(pselect)>("pselect");
  passing("wait");
  return call(count, readable, writable, failed, timeout, mask);
}

extern "C" int tcsetattr(int fd, int when, const termios* settings) {
  static auto* const call = real<decltype(tcsetattr)>("tcsetattr");
  const int result = call(fd, when, settings);
  passing((settings->c_lflag & ICANON) == 0 ? "raw" : "cooked");
  return result;
}

extern "C" int nanosleep(const timespec* duration, timespec* left) {
  static auto* const call = real<decltype(nanosleep)>("nanosleep");
  passing("sleep");
  return call(duration, left);
}

namespace {

void opening(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length < 9 || std::strcmp(path + length - 9, "words.txt") != 0) return;
  if (const char* log = std::getenv("SPELL_CHECKER_LIST_LOG")) {
    static auto* const call = real<int(const char*, int, ...)>("open");
    const int fd = call(log, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd >= 0) {
      (void)!::write(fd, "opened\n", 7);
      close(fd);
    }
  }
  passing("list");
}

}  // namespace

namespace {

// Opens `path` with the C library's function `name`, which takes a mode after the flags when they
// make a file.
int open_with(const char* name, const char* path, int flags, va_list arguments) {
  bool makes = (flags & O_CREAT) != 0;
#ifdef O_TMPFILE
  makes = makes || (flags & O_TMPFILE) == O_TMPFILE;
#endif
  const mode_t mode = makes ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
  opening(path);
  return real<int(const char*, int, ...)>(name)(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = open_with("open", path, flags, arguments);
  va_end(arguments);
  return fd;
}

// Where the C library's headers make open another name for open64, the definition above is
// open64's.
#if !defined(__USE_FILE_OFFSET64)
extern "C" int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = open_with("open64", path, flags, arguments);
  va_end(arguments);
  return fd;
}
#endif

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static auto* const call = real<decltype(write)>("write");
  if (fd == STDOUT_FILENO && holds(data, size, "correct spelling: ")) passing("reply");
  if (fd == STDOUT_FILENO && holds(data, size, "Thank you...")) passing("ending");
  const ssize_t result = call(fd, data, size);
  if (fd == STDOUT_FILENO && holds(data, size, "Thank you...")) passing("farewell");
  return result;
}

namespace {

const char* signal_log = nullptr;
// The program's own handler for each signal, in place of which log_and_handle is installed.
void (*program_handlers[NSIG])(int) = {};

// Runs inside a signal handler: only async-signal-safe calls.
void log_signal(int signal_number, char stance) {
  const int saved_errno = errno;
  char line[16];
  std::size_t length = 0;
  if (signal_number >= 10) line[length++] = static_cast<char>('0' + signal_number / 10);
  line[length++] = static_cast<char>('0' + signal_number % 10);
  line[length++] = ' ';
  line[length++] = stance;
  line[length++] = '\n';
  const int fd = open(signal_log, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd >= 0) {
    (void)!write(fd, line, length);
    close(fd);
  }
  errno = saved_errno;
}

void log_and_handle(int signal_number) {
  const pid_t owner = tcgetpgrp(STDIN_FILENO);
  log_signal(signal_number, owner == getpgrp() ? 'f' : owner >= 0 ? 'b' : 'n');
  program_handlers[signal_number](signal_number);
  if (signal_number == SIGCONT) passing("continued");
}

}  // namespace

extern "C" int sigaction(int signal_number, const struct sigaction* action,
                         struct sigaction* previous) {
  static auto* const call = real<int(int, const struct sigaction*, struct sigaction*)>("sigaction");
  const bool logged = signal_log != nullptr && signal_number > 0 && signal_number < NSIG;
  void (*const before)(int) = logged ? program_handlers[signal_number] : nullptr;
  int result;
  if (logged && action != nullptr && (action->sa_flags & SA_SIGINFO) == 0 &&
      action->sa_handler != SIG_DFL && action->sa_handler != SIG_IGN) {
    struct sigaction logging = *action;
    logging.sa_handler = log_and_handle;
    program_handlers[signal_number] = action->sa_handler;
    result = call(signal_number, &logging, previous);
  } else {
    result = call(signal_number, action, previous);
  }
  if (logged && previous != nullptr && previous->sa_handler == log_and_handle)
    previous->sa_handler = before;
  return result;
}

extern "C" int raise(int signal_number) {
  static auto* const call = real<decltype(raise)>("raise");
  const int result = call(signal_number);
  struct sigaction disposition = {};
  if (signal_log != nullptr &&
      (signal_number == SIGTSTP || signal_number == SIGTTIN || signal_number == SIGTTOU) &&
      sigaction(signal_number, nullptr, &disposition) == 0 && disposition.sa_handler == SIG_DFL)
    log_signal(signal_number, 's');
  return result;
}

__attribute__((constructor)) void set_up() {
  if (const char* seconds = std::getenv("SPELL_CHECKER_ALARM")) alarm(std::atoi(seconds));
  signal_log = std::getenv("SPELL_CHECKER_SIGNAL_LOG");
}

extern "C" void* realloc(void* pointer, size_t size) {
  static auto* const call = real<decltype(realloc)>("realloc");
  static const char* const limit = std::getenv("SPELL_CHECKER_REALLOC_LIMIT");
  if (limit != nullptr && size > std::strtoul(limit, nullptr, 10)) return nullptr;
  return call(pointer, size);
}
