// SPDX-License-Identifier: MIT
#include "service/cache/cache_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "render/image.h"
#include "service/cache/thumbnail_file.h"
#include "service/thumbnail_provider.h"
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

CacheResult writeDocumentThumbnails(const std::string& path, const std::string& uri,
                                    std::string_view mimeType,
                                    const std::vector<CacheTarget>& targets,
                                    const std::string& failDirectory, bool force) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return failure(std::strerror(errno));
  const std::string name = thumbnailFileName(uri);
  const std::int64_t mtime = info.st_mtim.tv_sec;
  std::vector<const CacheTarget*> stale;
  for (const CacheTarget& target : targets) {
    if (force || !isFreshThumbnail(target.directory + "/" + name, uri, mtime)) {
      stale.push_back(&target);
    }
  }
  if (stale.empty()) return {.outcome = CacheOutcome::fresh, .cause = {}};
  const std::string failEntry = failDirectory + "/" + name;
  if (!force && isFreshThumbnail(failEntry, uri, mtime)) {
    return {.outcome = CacheOutcome::failedEarlier, .cause = {}};
  }

  // Read and skimmed once, drawn at each size; the single-file thumbnailer's
  // skim and page, so both draw the same pixels.
  FileSkim file = skimFile(path);
  if (file.error) {
    recordFailure(failDirectory, name, uri, mtime);
    return failure(file.error.message());
  }
  const std::vector<PngText> text{
      {.key = "Thumb::URI", .value = uri},
      {.key = "Thumb::MTime", .value = std::to_string(mtime)},
      {.key = "Thumb::Size", .value = std::to_string(info.st_size)},
      {.key = "Thumb::Mimetype", .value = std::string(mimeType)},
      {.key = "Software", .value = std::string(software)},
  };
  for (const CacheTarget* target : stale) {
    const ThumbnailReply reply = replyForSkim(file.skim, target->maximum, {});
    const std::optional<std::string> image = renderReply(reply, ImageFormat::png, text);
    if (!image) {
      recordFailure(failDirectory, name, uri, mtime);
      return failure("cannot draw the thumbnail");
    }
    if (const int error = writeThumbnailFile(target->directory, name, *image)) {
      return {
          .outcome = CacheOutcome::unwritable,
          .cause = "cannot write " + target->directory + "/" + name + ": " + std::strerror(error)};
    }
  }
  // A failure recorded for an older version of the file is void now.
  ::unlink(failEntry.c_str());
  return {.outcome = CacheOutcome::made, .cause = {}};
}

}  // namespace tamsel
