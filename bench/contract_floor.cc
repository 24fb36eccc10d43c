// What the program's contract costs by itself, for lines piped in: the line editor started once,
// each line read by it from a buffer of whole blocks and entered in its history as the program
// enters it, the prompt and the editor's echo, and each reply line written on its own. With
// LIST, the list is also read in full for each line, as the floor reads it (floor.h), which is
// what the contract asks of lines that come one at a time; without, no list is read. The replies
// come from REPLIES, the program's own output for the same lines, so that the same bytes go out.
//
//   contract_floor REPLIES [LIST]   standard input: the typed lines
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "floor.h"

namespace {

char input[1 << 20];
std::size_t begin = 0, end = 0;
bool ended = false;

int buffered_key(FILE*) {
  if (begin == end && !ended) {
    const ssize_t got = read(STDIN_FILENO, input, sizeof input);
    ended = got <= 0;
    begin = 0;
    end = got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  return begin < end ? static_cast<unsigned char>(input[begin++]) : EOF;
}

int key_waiting() { return begin < end ? 1 : 0; }

// The reply lines after each prompt of `output`: what follows the editor's echo, up to the next.
std::vector<std::string> replies_in(const std::string& output) {
  std::vector<std::string> replies;
  const std::string prompt = "word> ";
  for (std::size_t at = output.find(prompt); at != std::string::npos;) {
    const std::size_t echo_end = output.find('\n', at);
    const std::size_t next = output.find(prompt, at + prompt.size());
    if (echo_end == std::string::npos || echo_end > next) break;
    replies.push_back(output.substr(echo_end + 1, next - echo_end - 1));
    at = next;
  }
  return replies;
}

void write_all(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (written <= 0) std::exit(1);
    done += static_cast<std::size_t>(written);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s REPLIES [LIST]\n", argv[0]);
    return 2;
  }
  const char* const list = argc == 3 ? argv[2] : nullptr;
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<std::string> replies =
      replies_in(std::string(std::istreambuf_iterator<char>(file), {}));
  rl_catch_signals = 0;
  rl_getc_function = buffered_key;
  rl_input_available_hook = key_waiting;
  write_all("Please type Ctrl-C to exit this program...\n\n");
  std::string previous;
  for (std::size_t i = 0;; ++i) {
    char* line = readline("word> ");
    std::fflush(stdout);
    if (line == nullptr) break;
    if (previous != line) add_history(line);
    previous = line;
    std::free(line);
    if (list != nullptr && read_list_once(list) != 0) return 1;
    const std::string reply = i < replies.size() ? replies[i] : "";
    for (std::size_t from = 0; from < reply.size();) {
      const std::size_t newline = reply.find('\n', from);
      write_all(reply.substr(from, newline + 1 - from));
      from = newline + 1;
    }
  }
  write_all("\nThank you...\n");
  return 0;
}
