// SPDX-License-Identifier: MIT
// The command-line front end: owns argv, URLs, files, the size rule's inputs,
// atomic output and exit codes. Every failure is one line on stderr and exit
// status 1; OUTPUT is then left as it was. A document that cannot be read is
// such a failure, so that hosts record it as failed instead of caching an
// empty page for it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include "drawer/drawer.h"
#include "drawer/drawer_client.h"
#include "platform/confinement.h"
#include "platform/document_head.h"
#include "platform/file_url.h"
#include "platform/replacement_file.h"
#include "platform/sanitizers.h"
#include "service/cache/document_walk.h"
#include "service/cache/run_cache.h"
#include "service/command_line.h"
#include "service/process_confinement.h"
#include "version.h"

namespace {

using namespace tamsel;

constexpr std::string_view programName = "tamsel-thumbnail";

int fail(const std::string& message) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(programName.size()), programName.data(),
               message.c_str());
  return 1;
}

std::string because(int error) {
  return std::strerror(error);
}

bool writeStandardOutput(std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
}

int cannotRead(const CommandLine& line, const std::error_code& error) {
  return fail("cannot read " + quotedPath(line.input) + ": " + error.message());
}

// A reply that is no image says why, in one line.
int failed(const CommandLine& line, const DrawReply& reply) {
  switch (reply.failure) {
    case DrawFailure::read:
      return cannotRead(line, {reply.error, std::generic_category()});
    case DrawFailure::draw:
      return fail("cannot draw the page for " + quotedPath(line.output));
    case DrawFailure::drawer:
    case DrawFailure::none:
      break;
  }
  return fail("cannot draw " + quotedPath(line.input) + ": " + reply.message);
}

int printSkim(const CommandLine& line, const std::string& path, const UniqueFd& document,
              DrawerClient& drawer) {
  confine(skimConfinement());
  const DrawReply reply = drawer.draw(document.get(), {.format = DrawnFormat::skimJson,
                                                       .fileName = lastPathComponent(path),
                                                       .pages = {},
                                                       .pngText = {}});
  if (reply.failure != DrawFailure::none) return failed(line, reply);
  if (!writeStandardOutput(reply.images[0].bytes + "\n")) {
    return fail("cannot write standard output: " + because(errno));
  }
  return 0;
}

// Why OUTPUT, when it exists, must be left alone: what is no regular file
// (a FIFO, a device, a socket) is not ours to replace, and neither is the
// document itself.
std::optional<std::string> outputProblem(const std::string& output, const UniqueFd& document) {
  struct stat found {};
  struct stat drawn {};
  if (::stat(output.c_str(), &found) != 0 || ::fstat(document.get(), &drawn) != 0) {
    return std::nullopt;
  }
  if (found.st_dev == drawn.st_dev && found.st_ino == drawn.st_ino) {
    return "it is the document itself";
  }
  // A folder is refused where it is claimed, as before.
  if (S_ISDIR(found.st_mode)) return std::nullopt;
  if (const std::error_code problem = fileTypeProblem(found.st_mode)) return problem.message();
  return std::nullopt;
}

int drawThumbnail(const CommandLine& line, const std::string& path, const UniqueFd& document,
                  DrawerClient& drawer) {
  if (const auto problem = outputProblem(line.output, document)) {
    return fail("cannot write " + quotedPath(line.output) + ": " + *problem);
  }
  // Claimed before any drawing, so an unwritable OUTPUT fails fast. An empty
  // file there is the host's own, which it may read back through a handle it
  // holds open: it is filled in place rather than replaced.
  ReplacementFile output(line.output, std::nullopt, EmptyFile::fill);
  if (const int error = output.open()) {
    return fail("cannot write " + quotedPath(line.output) + ": " + because(error));
  }
  // From here on this process holds the document only as a descriptor it
  // never reads.
  confine(thumbnailConfinement(line.output, output.fillsInPlace()));
  const DrawReply reply =
      drawer.draw(document.get(), {.format = outputFormat(line.output),
                                   .fileName = lastPathComponent(path),
                                   .pages = {{.maximum = line.maximum, .minimum = line.minimum}},
                                   .pngText = {}});
  if (reply.failure != DrawFailure::none) return failed(line, reply);
  if (const int error = output.commit(reply.images[0].bytes)) {
    return fail("cannot write " + quotedPath(line.output) + ": " + because(error));
  }
  return 0;
}

// For every user: from the system's configuration and fonts alone, so
// nothing of whoever runs it (root's own fonts.conf, say) is kept.
int keepSystemFontAnswers() {
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
    ::unsetenv(name);
  }
  const std::string error = keepSystemFontAnswersForPages();
  return error.empty() ? 0 : fail("cannot keep font answers: " + error);
}

}  // namespace

int main(int argc, char** argv) {
  const std::span<const char* const> args(argv + 1,
                                          static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
  const auto parsed = parseCommandLine(args);
  if (const auto* error = std::get_if<std::string>(&parsed)) return fail(*error);
  const auto& line = std::get<CommandLine>(parsed);

  switch (line.action) {
    case Action::help:
      return writeStandardOutput(usageText()) ? 0 : 1;
    case Action::version:
      return writeStandardOutput(std::string(programName) + " " TAMSEL_VERSION "\nconfinement: " +
                                 describeConfinement(availableConfinement()) + "\n")
                 ? 0
                 : 1;
    case Action::cache:
      return runCache(line.cache, std::cerr, ::isatty(STDERR_FILENO) == 1,
                      [](const DocumentList&, const std::string& cacheHome) {
                        confine(cacheConfinement(cacheHome, drawerProgramPath()));
                      });
    case Action::keepFontAnswers:
      return keepSystemFontAnswers();
    case Action::skim:
    case Action::thumbnail:
      break;
  }

  // Refused before anything else is done, OUTPUT included.
  const std::optional<std::string> path = inputPath(line.input);
  if (!path) {
    return isOtherURL(line.input)
               ? cannotRead(line, DocumentError::notLocal)
               : fail("cannot read " + quotedPath(line.input) + ": not a local file URL");
  }
  // Started before INPUT and OUTPUT are looked at: the drawer's font set-up,
  // the longest step before a page can be drawn, overlaps that work.
  DrawerClient drawer = DrawerClient::forked(line.action == Action::thumbnail);
  if (const int error = drawer.start()) return fail("cannot start the drawer: " + because(error));
  auto opened = openDocument(*path);
  int status = 1;
  if (const auto* error = std::get_if<std::error_code>(&opened)) {
    status = cannotRead(line, *error);
  } else {
    const UniqueFd document = std::move(std::get<UniqueFd>(opened));
    status = line.action == Action::skim ? printSkim(line, *path, document, drawer)
                                         : drawThumbnail(line, *path, document, drawer);
  }
  // The drawer leaves on its own once its channel closes; this process need
  // not wait for it. Tools that count a process's work as it exits
  // (callgrind) ask for the wait, or the drawer dies with its counts.
  if (std::getenv("TAMSEL_AWAIT_DRAWER")) {
    drawer.finish();
  } else {
    drawer.letGo();
  }
  // Sanitizer builds leave through exit(): LeakSanitizer checks at exit.
  if (status == 0 && !sanitized) {
    // OUTPUT is in place and nothing else is owed to anyone. A normal exit
    // would first free fontconfig's configuration one object at a time, only
    // for the kernel to drop it all at once anyway; the drawer leaves once
    // its channel closes with this process.
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(0);
  }
  return status;
}
