// SPDX-License-Identifier: MIT
// The command-line front end: owns argv, URLs, files, the size rule's inputs,
// atomic output and exit codes. Every failure is one line on stderr and exit
// status 1; OUTPUT is then left as it was. A document that cannot be read is
// such a failure, so that hosts record it as failed instead of caching an
// empty page for it.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "platform/confinement.h"
#include "platform/document_head.h"
#include "platform/file_url.h"
#include "platform/replacement_file.h"
#include "platform/sanitizers.h"
#include "render/font_setup.h"
#include "render/image.h"
#include "service/cache/document_walk.h"
#include "service/cache/run_cache.h"
#include "service/command_line.h"
#include "service/process_confinement.h"
#include "service/skim_json.h"
#include "service/thumbnail_provider.h"
#include "version.h"

namespace {

using namespace tamsel;

constexpr std::string_view programName = "tamsel-thumbnail";

static_assert(pageSideLimit <= maxImageSide,
              "the command line must refuse what the renderer would");

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

int printSkim(const CommandLine& line, const std::string& path) {
  confine(skimConfinement(path));
  const FileSkim document = skimFile(path);
  if (document.error) return cannotRead(line, document.error);
  const std::string json = skimToJson(document.skim) + "\n";
  if (!writeStandardOutput(json)) return fail("cannot write standard output: " + because(errno));
  return 0;
}

int drawThumbnail(const CommandLine& line, const std::string& path) {
  // Claimed before any drawing, so an unwritable OUTPUT fails fast. An empty
  // file there is the host's own, which it may read back through a handle it
  // holds open: it is filled in place rather than replaced.
  ReplacementFile output(line.output, std::nullopt, EmptyFile::fill);
  if (const int error = output.open()) {
    return fail("cannot write " + quotedPath(line.output) + ": " + because(error));
  }
  const std::optional<std::string> url = fileURLFromPath(path);
  if (!url) return fail("cannot read " + quotedPath(line.input) + ": not a usable path");
  // Confined before the document's bytes are looked at. The fonts' folders
  // are known once fontconfig is set up, so the skim starts after that; it
  // is shorter than the font loading it overlaps, so the page is not later.
  confine(thumbnailConfinement(path, line.output, output.fillsInPlace()));

  // Skimming and loading the fonts each take milliseconds and need nothing of
  // each other, so they overlap; the fonts load on this thread, which draws.
  const ImageFormat format = outputFormat(line.output);
  std::optional<ThumbnailReply> reply;
  std::error_code readError;
  std::atomic<bool> skimmed = false;
  auto request = [&] {
    ThumbnailProvider().provideThumbnail(
        {.fileURL = *url, .maximumSize = line.maximum, .minimumSize = line.minimum},
        [&](ThumbnailReply answer, std::error_code error) {
          reply = std::move(answer);
          readError = error;
        });
    skimmed.store(true, std::memory_order_release);
  };
  std::jthread skimmer;
  try {
    skimmer = std::jthread(request);
  } catch (const std::system_error&) {
    request();  // no thread to be had: one after the other, as before
  }
  if (format == ImageFormat::png) {
    // Fonts loaded after the skim is done would be loaded by drawing anyway,
    // and only those its page uses.
    preparePageFonts(thumbnailSize(line.maximum, line.minimum).width,
                     [&] { return skimmed.load(std::memory_order_acquire); });
  } else {
    setUpFontConfig();
  }
  if (skimmer.joinable()) skimmer.join();
  if (readError) return cannotRead(line, readError);

  const std::optional<std::string> image = renderReply(*reply, format);
  if (!image) return fail("cannot draw the page for " + quotedPath(line.output));
  if (const int error = output.commit(*image)) {
    return fail("cannot write " + quotedPath(line.output) + ": " + because(error));
  }
  return 0;
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
                      [](const DocumentList& documents, const std::string& cacheHome) {
                        confine(cacheConfinement(documents, cacheHome));
                      });
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
  if (const std::error_code error = documentProblem(*path)) return cannotRead(line, error);
  if (line.action == Action::skim) return printSkim(line, *path);
  const int status = drawThumbnail(line, *path);
  // Sanitizer builds leave through exit(): LeakSanitizer checks at exit.
  if (status == 0 && !sanitized) {
    // OUTPUT is in place and nothing else is owed to anyone. A normal exit
    // would first free the font map and Pango's and fontconfig's caches one
    // object at a time, only for the kernel to drop them all at once anyway.
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(0);
  }
  return status;
}
