#include "cli/TerminalDialogs.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "base/AtomicFile.h"
#include "engine/Messages.h"
#include "base/Text.h"
#include "forms/Texts.h"

namespace cli {

volatile sig_atomic_t gInterrupted = 0;

namespace {

// The write end of the guard's pipe while a guard is installed; -1 otherwise.
volatile sig_atomic_t gWakeFd = -1;

// Ends the process by the signal, after removing the temporary and trial files being written,
// so that nothing half-written is left beside the outputs.
void EndBySignal(int signal) {
  base::RemovePendingFiles();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void OnInterrupt(int signal) {
  if (gInterrupted) {
    // A second Ctrl+C ends at once.
    EndBySignal(signal);
    return;
  }
  gInterrupted = 1;
  const int saved = errno;
  const char note[] = "\nvexilo-cli: stopping after the current file (Ctrl+C again to stop at once)\n";
  ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
  if (gWakeFd >= 0) ignored = write(gWakeFd, "i", 1);
  (void)ignored;
  errno = saved;
}

int Utf8Length(const std::string& text) {
  int count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

}  // namespace

InterruptGuard::InterruptGuard(std::stop_source stop) {
  gInterrupted = 0;
  if (pipe2(pipe_, O_CLOEXEC) == 0) {
    // The handler must never block on a full pipe.
    fcntl(pipe_[1], F_SETFL, fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
    // The watcher starts with the three signals blocked, and keeps them so.
    sigset_t signals, previousMask;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, &previousMask);
    watcher_ = std::thread(&InterruptGuard::Watch, this, std::move(stop));
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    gWakeFd = pipe_[1];
  }
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a question at the terminal ends on Ctrl+C
  sigaction(SIGINT, &action, &previous_[0]);
  action.sa_handler = EndBySignal;
  sigaction(SIGTERM, &action, &previous_[1]);
  sigaction(SIGHUP, &action, &previous_[2]);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previous_[0], nullptr);
  sigaction(SIGTERM, &previous_[1], nullptr);
  sigaction(SIGHUP, &previous_[2], nullptr);
  gWakeFd = -1;
  if (watcher_.joinable()) {
    ssize_t ignored = write(pipe_[1], "q", 1);
    (void)ignored;
    watcher_.join();
  }
  for (int fd : pipe_)
    if (fd >= 0) close(fd);
}

void InterruptGuard::Watch(std::stop_source stop) {
  for (;;) {
    char byte = 0;
    const ssize_t n = read(pipe_[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || byte == 'q') return;
    stop.request_stop();
  }
}

std::string TerminalText(forms::Language language, const char* key) {
  return forms::Text(language, forms::TextGroup::Terminal, key);
}

TerminalDialogs::TerminalDialogs(forms::Language language, ExistingPolicy policy)
    : language_(language), policy_(policy), bar_(isatty(STDERR_FILENO) != 0) {}

void TerminalDialogs::ShowNote(const std::string& path, const std::string& text) {
  ClearBar();
  std::fprintf(stderr, "vexilo-cli: %s: \"%s\": %s\n", Say("note").c_str(), path.c_str(), text.c_str());
  Draw();
}

void TerminalDialogs::ShowProgress(const engine::ProgressText&, int maximum) {
  maximum_ = maximum;
  position_ = 0;
  Draw();
}

void TerminalDialogs::SetProgressFileLine(const std::string& path, const std::string& suffix) {
  path_ = path;
  suffix_ = suffix;
  Draw();
}

void TerminalDialogs::SetProgressPosition(int position) {
  position_ = position;
  Draw();
}

void TerminalDialogs::ProcessEvents() {
  if (gInterrupted) Flags().cancelProgress = true;
}

void TerminalDialogs::RunStarted(int total) { ShowProgress({}, total); }

void TerminalDialogs::FileStarted(const engine::FileStart& file) {
  SetProgressFileLine(file.source, " (" + std::to_string(file.index + 1) + "/" + std::to_string(file.total) + ")");
}

void TerminalDialogs::FileFinished(const engine::FileEnd& file) {
  if (file.result != engine::FileResult::Cancelled) SetProgressPosition(file.index + 1);
}

engine::MessageButton TerminalDialogs::ShowMessage(const std::string& key, const std::string& detail,
                                                   const std::string& cause) {
  if (quiet) return engine::MessageButton::OK;
  ClearBar();
  const std::optional<engine::MessageText> m = engine::FindMessage(key, language_);
  if (!m) {
    std::fprintf(stderr, "vexilo-cli: %s %s\n", key.c_str(), detail.c_str());
  } else {
    const std::string second = m->detailLine ? "\"" + detail + "\"" : m->line2;
    std::fprintf(stderr, "vexilo-cli: %s: %s %s %s\n", m->title, m->line1, second.c_str(), m->line3);
  }
  if (!cause.empty()) std::fprintf(stderr, "  %s\n", cause.c_str());
  Draw();
  return engine::MessageButton::OK;
}

engine::OverwriteButton TerminalDialogs::ShowOverwrite(const std::string& path) {
  switch (policy_) {
    case ExistingPolicy::YesToAll: return engine::OverwriteButton::YesForAll;
    case ExistingPolicy::NoToAll: return engine::OverwriteButton::NoForAll;
    case ExistingPolicy::KeepAndReport:
      ClearBar();
      std::fprintf(stderr, "vexilo-cli: %s: \"%s\" %s\n", engine::Text(engine::TextId::OverwriteTitle, language_),
                   path.c_str(), Say("kept").c_str());
      ++keptUnasked;
      Draw();
      return engine::OverwriteButton::No;
    case ExistingPolicy::Ask: break;
  }
  ClearBar();
  const std::string choices = Say("choices");
  std::fprintf(stderr, "%s: %s\n", engine::Text(engine::TextId::OverwriteTitle, language_), path.c_str());
  for (;;) {
    std::fprintf(stderr, "%s %s: ", Say("question").c_str(), choices.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!ReadAnswer(answer)) {
      std::fputc('\n', stderr);
      return engine::OverwriteButton::Break;
    }
    answer = base::TrimBlanks(answer);
    if (answer == "y" || answer == "Y" || answer == "j" || answer == "J") return Done(engine::OverwriteButton::Yes);
    if (answer == "n") return Done(engine::OverwriteButton::No);
    if (answer == "a" || answer == "A") return Done(engine::OverwriteButton::YesForAll);
    if (answer == "N") return Done(engine::OverwriteButton::NoForAll);
    if (answer == "b" || answer == "B") return Done(engine::OverwriteButton::Break);
    std::fprintf(stderr, "%s\n", base::ReplaceAll(base::ReplaceAll(Say("no_answer"), "%1", answer), "%2", choices).c_str());
  }
}

engine::OverwriteButton TerminalDialogs::Done(engine::OverwriteButton button) {
  Draw();
  return button;
}

// A line from the terminal; false at its end or when Ctrl+C interrupts the question.
bool TerminalDialogs::ReadAnswer(std::string& answer) {
  answer.clear();
  for (;;) {
    char c;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) return false;
    if (n <= 0) return !answer.empty();
    if (c == '\n') return true;
    answer += c;
  }
}

int TerminalDialogs::Columns() const {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

void TerminalDialogs::Draw() {
  if (!bar_ || maximum_ <= 0) return;
  const int columns = Columns();
  const int barWidth = 20;
  const int filled = maximum_ > 0 ? position_ * barWidth / maximum_ : 0;
  std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(barWidth - filled), '.') + "] ";
  const int room = columns - 1 - Utf8Length(line);
  if (!path_.empty()) line += engine::ShortenPath(path_, room, Utf8Length, suffix_);
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalDialogs::ClearBar() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace cli
