// Line editing for the console service when a person types at a terminal.

#include "sim/services/line_editor.h"

#include <histedit.h>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cwchar>

namespace nk::sim {
namespace {

constexpr wchar_t kEscape = 0x1B;
constexpr wchar_t kEndOfInput = 0x04;  // Ctrl-D: ends input on an empty line
constexpr int kEscapeWaitMs = 40;      // arrow keys send Esc and more bytes at once

std::string gPrompt;

const char* prompt_of(EditLine*) { return gPrompt.c_str(); }

// Reads one character; an Esc that no other byte follows, typed on an empty line, is
// turned into Ctrl-D so that it ends input as the banner promises.
int read_character(EditLine* editor, wchar_t* out) {
  unsigned char bytes[4];
  if (read(STDIN_FILENO, bytes, 1) != 1) return 0;
  int length = bytes[0] < 0x80 ? 1 : bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3 : 4;
  for (int i = 1; i < length; ++i)
    if (read(STDIN_FILENO, bytes + i, 1) != 1) return 0;
  mbstate_t state{};
  wchar_t c;
  if (mbrtowc(&c, reinterpret_cast<char*>(bytes), length, &state) > 4) c = bytes[0];
  if (c == kEscape) {
    pollfd pending{STDIN_FILENO, POLLIN, 0};
    const LineInfoW* line = el_wline(editor);
    if (poll(&pending, 1, kEscapeWaitMs) == 0 && line->lastchar == line->buffer) c = kEndOfInput;
  }
  *out = c;
  return 1;
}

}  // namespace

bool LineEditor::wanted() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

LineEditor::LineEditor()
    : editor_(el_init("nkhost", stdin, stdout, stderr)), history_(history_init()) {
  HistEvent event;
  history(history_, &event, H_SETSIZE, 1000);
  history(history_, &event, H_SETUNIQUE, 1);
  el_set(editor_, EL_EDITOR, "emacs");
  el_set(editor_, EL_PROMPT, prompt_of);
  el_set(editor_, EL_HIST, history, history_);
  el_set(editor_, EL_GETCFN, read_character);
  el_set(editor_, EL_SIGNAL, 1);
  el_source(editor_, nullptr);  // the person's ~/.editrc, as other libedit programs do
}

LineEditor::~LineEditor() {
  el_end(editor_);
  history_end(history_);
}

bool LineEditor::read(const std::string& prompt, std::string& line) {
  gPrompt = prompt;
  int count = 0;
  const char* text = el_gets(editor_, &count);
  if (!text || count <= 0) {
    fputc('\n', stdout);  // the person's terminal continues on a fresh line
    return false;
  }
  line.assign(text, static_cast<size_t>(count));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) {
    HistEvent event;
    history(history_, &event, H_ENTER, line.c_str());
  }
  return true;
}

std::string guest_prompt_text(uint64_t address) {
  std::string text;
  if (address == 0) return text;
  char buffer[200];
  // process_vm_readv reports a bad address instead of faulting.
  iovec local{buffer, sizeof buffer};
  for (size_t want = sizeof buffer; want > 0; want /= 2) {
    local.iov_len = want;
    iovec remote{reinterpret_cast<void*>(address), want};
    ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got > 0) {
      text.assign(buffer, static_cast<size_t>(got));
      size_t end = text.find('\0');
      if (end != std::string::npos) text.resize(end);
      return text;
    }
  }
  return text;
}

}  // namespace nk::sim
