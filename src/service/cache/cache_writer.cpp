// SPDX-License-Identifier: MIT
#include "service/cache/cache_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/document_head.h"
#include "platform/file_url.h"
#include "render/image.h"
#include "service/cache/thumbnail_file.h"
#include "version.h"

namespace tamsel {
namespace {

constexpr std::string_view software = "tamsel-thumbnail " TAMSEL_VERSION;

CacheResult failure(std::string cause) {
  return {.outcome = CacheOutcome::failed, .cause = std::move(cause)};
}

// The failure entry the thumbnail standard asks for: a 1 x 1 PNG with the
// URI and mtime of the file as it failed. Best effort: the failure itself is
// reported either way, and a missing entry only means trying again next run.
void recordFailure(const std::string& failDirectory, const std::string& name,
                   const std::string& uri, std::int64_t mtime) {
  const std::vector<PngText> text{
      {.key = "Thumb::URI", .value = uri},
      {.key = "Thumb::MTime", .value = std::to_string(mtime)},
      {.key = "Software", .value = std::string(software)},
  };
  const auto image = renderImage(
      1, 1, [](Canvas&) {}, ImageFormat::png, text);
  if (!image || makeThumbnailDirectory(failDirectory) != 0) return;
  writeThumbnailFile(failDirectory, name, *image);
}

}  // namespace

CacheResult writeDocumentThumbnails(DrawerClient& drawer, const std::string& path,
                                    const std::string& uri, std::string_view mimeType,
                                    const std::vector<CacheTarget>& targets,
                                    const std::string& failDirectory, bool force) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return failure(std::strerror(errno));
  const std::string name = thumbnailFileName(uri);
  std::vector<const CacheTarget*> stale;
  for (const CacheTarget& target : targets) {
    if (force || !isFreshThumbnail(target.directory + "/" + name, uri, info.st_mtim.tv_sec)) {
      stale.push_back(&target);
    }
  }
  if (stale.empty()) return {.outcome = CacheOutcome::fresh, .cause = {}};
  const std::string failEntry = failDirectory + "/" + name;
  if (!force && isFreshThumbnail(failEntry, uri, info.st_mtim.tv_sec)) {
    return {.outcome = CacheOutcome::failedEarlier, .cause = {}};
  }

  auto opened = openDocument(path);
  if (const auto* error = std::get_if<std::error_code>(&opened)) {
    recordFailure(failDirectory, name, uri, info.st_mtim.tv_sec);
    return failure(error->message());
  }
  const UniqueFd document = std::move(std::get<UniqueFd>(opened));
  // What was opened is what is drawn, and what the keys describe.
  ::fstat(document.get(), &info);
  const std::int64_t mtime = info.st_mtim.tv_sec;
  DrawRequest request{
      .format = DrawnFormat::png,
      .fileName = lastPathComponent(path),
      .pages = {},
      .pngText = {{"Thumb::URI", uri},
                  {"Thumb::MTime", std::to_string(mtime)},
                  {"Thumb::Size", std::to_string(info.st_size)},
                  {"Thumb::Mimetype", std::string(mimeType)},
                  {"Software", std::string(software)}},
  };
  for (const CacheTarget* target : stale)
    request.pages.push_back({.maximum = target->maximum, .minimum = {}});
  const DrawReply reply = drawer.draw(document.get(), request);
  if (reply.failure != DrawFailure::none) {
    recordFailure(failDirectory, name, uri, mtime);
    switch (reply.failure) {
      case DrawFailure::read:
        return failure(std::strerror(reply.error));
      case DrawFailure::draw:
        return failure("cannot draw the thumbnail");
      case DrawFailure::drawer:
      case DrawFailure::none:
        break;
    }
    return failure(reply.message);
  }
  for (std::size_t i = 0; i < stale.size(); ++i) {
    const CacheTarget& target = *stale[i];
    if (const int error = writeThumbnailFile(target.directory, name, reply.images[i].bytes)) {
      return {
          .outcome = CacheOutcome::unwritable,
          .cause = "cannot write " + target.directory + "/" + name + ": " + std::strerror(error)};
    }
  }
  // A failure recorded for an older version of the file is void now.
  ::unlink(failEntry.c_str());
  return {.outcome = CacheOutcome::made, .cause = {}};
}

}  // namespace tamsel
